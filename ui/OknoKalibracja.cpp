// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoKalibracja.h"

#include <QButtonGroup>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

TFormaKalibracja::TFormaKalibracja(TMeasurementKind kind, const TCalibrationRequest& last, QWidget* parent)
    : QDialog(parent), Kind(kind)
{
    setObjectName(QStringLiteral("TFormaKalibracja"));
    setWindowTitle(QStringLiteral("Kalibracja"));

    rgSposobKalibracji1 = new QGroupBox(QStringLiteral("Pomiar ciśnienia akustycznego"), this);
    rgSposobKalibracji1->setObjectName(QStringLiteral("rgSposobKalibracji1"));
    auto* pressure = new QGridLayout(rgSposobKalibracji1);
    auto* reference = new QRadioButton(QStringLiteral("Poziom odniesienia"), rgSposobKalibracji1);
    reference->setChecked(true);
    edtPoziomOdniesienia = new QDoubleSpinBox(this);
    edtPoziomOdniesienia->setObjectName(QStringLiteral("edtPoziomOdniesienia"));
    edtPoziomOdniesienia->setDecimals(1);
    edtPoziomOdniesienia->setRange(0, 150);
    edtPoziomOdniesienia->setSingleStep(0.1);
    edtPoziomOdniesienia->setValue(last.ReferenceLevel);
    edtPoziomOdniesienia->installEventFilter(this);
    edtPoziomOdniesienia->findChild<QLineEdit*>()->installEventFilter(this);
    auto* referenceUnit = new QLabel(QStringLiteral("dB"), rgSposobKalibracji1);
    // The calibrator's tone is measured unweighted, so its stated level holds for every weighting.
    auto* unweighted = new QLabel(QStringLiteral("Kalibrator mierzony jest bez korekcji (Z), niezależnie "
                                                 "od wybranej korekcji częstotliwościowej."),
                                  rgSposobKalibracji1);
    unweighted->setObjectName(QStringLiteral("lblKalibratorZ"));
    unweighted->setWordWrap(true);
    pressure->addWidget(reference, 0, 0);
    pressure->addWidget(edtPoziomOdniesienia, 0, 1);
    pressure->addWidget(referenceUnit, 0, 2);
    pressure->addWidget(unweighted, 1, 0, 1, 3);

    rgSposobKalibracji2 = new QGroupBox(QStringLiteral("Pomiar charakterystyk częstotliwościowych"), this);
    rgSposobKalibracji2->setObjectName(QStringLiteral("rgSposobKalibracji2"));
    auto* frequency = new QGridLayout(rgSposobKalibracji2);
    SposobKalibracji2 = new QButtonGroup(this);
    const QString items[] = {QStringLiteral("Ustaw 0dB dla częstotliwości"),
                             QStringLiteral("Znajdź maksimum i ustaw jako")};
    for (int item = 0; item < 2; ++item) {
        auto* button = new QRadioButton(items[item], rgSposobKalibracji2);
        button->setObjectName(QStringLiteral("rbSposobKalibracji2_%1").arg(item));
        button->setChecked(item == (last.Procedure == TCalibrationProcedure::FindMaximum ? 1 : 0));
        SposobKalibracji2->addButton(button, item);
        frequency->addWidget(button, item, 0);
    }
    edtCzestotliwoscOdnieseienia = NewValueEdit("edtCzestotliwoscOdnieseienia", 20, 20000,
                                                static_cast<int>(std::lround(last.Frequency)), 10);
    edtPoziomMaksimum = NewValueEdit("edtPoziomMaksimum", -150, 150, last.TargetLevel);
    auto* frequencyUnit = new QLabel(QStringLiteral("Hz"), rgSposobKalibracji2);
    auto* targetUnit = new QLabel(QStringLiteral("dB"), rgSposobKalibracji2);
    frequency->addWidget(edtCzestotliwoscOdnieseienia, 0, 1);
    frequency->addWidget(frequencyUnit, 0, 2);
    frequency->addWidget(edtPoziomMaksimum, 1, 1);
    frequency->addWidget(targetUnit, 1, 2);

    // Each kind offers its own procedures only.
    const bool pressureKind = kind == TMeasurementKind::SoundPressure;
    for (QWidget* control : std::initializer_list<QWidget*>{rgSposobKalibracji1, edtPoziomOdniesienia,
                                                            referenceUnit, unweighted})
        control->setEnabled(pressureKind);
    for (QWidget* control : std::initializer_list<QWidget*>{rgSposobKalibracji2, edtCzestotliwoscOdnieseienia,
                                                            edtPoziomMaksimum, frequencyUnit, targetUnit})
        control->setEnabled(!pressureKind);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const QString& caption, TResult result) {
        auto* push = new QPushButton(caption, this);
        push->setObjectName(QString::fromLatin1(name));
        push->setAutoDefault(false);
        connect(push, &QPushButton::clicked, this, [this, result] { done(result); });
        buttons->addWidget(push);
        return push;
    };
    button("btnWykonaj", QStringLiteral("&Wykonaj"), Wykonaj)->setDefault(true);
    button("btnReset", QStringLiteral("&Reset"), Reset);
    button("btnAnuluj", QStringLiteral("&Anuluj"), Anuluj);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rgSposobKalibracji1);
    layout->addWidget(rgSposobKalibracji2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QSpinBox* TFormaKalibracja::NewValueEdit(const char* name, int minimum, int maximum, int value, int step)
{
    auto* edit = new QSpinBox(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setRange(minimum, maximum);
    edit->setSingleStep(step);
    edit->setValue(value);
    edit->findChild<QLineEdit*>()->installEventFilter(this);
    return edit;
}

// Digits and backspace only, and the decimal separator in the reference level; a negative target is
// reached with the arrows. Enter in an edit reaches the default button, "&Wykonaj".
bool TFormaKalibracja::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool command = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        const bool reference =
            watched == edtPoziomOdniesienia || watched == edtPoziomOdniesienia->findChild<QLineEdit*>();
        const bool separator = reference && !text.isEmpty() &&
                               text.front() == edtPoziomOdniesienia->locale().decimalPoint().front();
        if (!command && !separator && !text.isEmpty() && text.front().isPrint() && !text.front().isDigit())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

TCalibrationRequest TFormaKalibracja::Request() const
{
    TCalibrationRequest request;
    if (Kind == TMeasurementKind::SoundPressure) {
        request.Procedure = TCalibrationProcedure::ReferenceLevel;
    } else {
        request.Procedure = SposobKalibracji2->checkedId() == 1 ? TCalibrationProcedure::FindMaximum
                                                                : TCalibrationProcedure::ZeroAtFrequency;
    }
    request.ReferenceLevel = edtPoziomOdniesienia->value();
    request.Frequency = edtCzestotliwoscOdnieseienia->value();
    request.TargetLevel = edtPoziomMaksimum->value();
    return request;
}
