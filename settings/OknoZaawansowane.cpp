// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OknoZaawansowane.h"

#include "common/NumberFormat.h"
#include "settings/KeyFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* NewEdit(const char* name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaximumWidth(70);
    return edit;
}

} // namespace

TFormaZaawansowane::TFormaZaawansowane(const TAdvancedSettings& inForce, int frameRate, TConfirmation confirm,
                                       QWidget* parent)
    : QDialog(parent), InForce(inForce), FrameRate(frameRate), Confirm(std::move(confirm))
{
    setObjectName(QStringLiteral("TFormaZaawansowane"));
    setWindowTitle(QStringLiteral("Ustawienia zaawansowane"));

    auto* lblOstrzeznie =
        new QLabel(QStringLiteral("Poniższe parametry należy zmieniać ostrożnie!!! Niektóre "
                                  "zmiany mogą pociągnąć za sobą nieprzewidziane konsekwencje!!!"),
                   this);
    lblOstrzeznie->setObjectName(QStringLiteral("lblOstrzeznie"));
    lblOstrzeznie->setAlignment(Qt::AlignCenter);
    lblOstrzeznie->setWordWrap(true);

    auto* grid = new QGridLayout;
    int row = 0;
    const auto sizeRow = [&](const QString& caption, const char* samplesName, const char* durationName,
                             QLineEdit*& samples, QLineEdit*& duration) {
        auto* label = new QLabel(caption, this);
        auto* equals = new QLabel(QStringLiteral("próbki ="), this);
        auto* unit = new QLabel(QStringLiteral("ms"), this);
        samples = NewEdit(samplesName, this);
        duration = NewEdit(durationName, this);
        duration->setReadOnly(true);
        duration->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(label, row, 0);
        grid->addWidget(samples, row, 1);
        grid->addWidget(equals, row, 2);
        grid->addWidget(duration, row, 3);
        grid->addWidget(unit, row, 4);
        SizeControls << label << samples << equals << duration << unit;
        ++row;
    };
    sizeRow(QStringLiteral("Wielkość bufora wejściowego"), "edtBuforWejsciowy", "edtBuforWejsciowyT",
            edtBuforWejsciowy, edtBuforWejsciowyT);
    sizeRow(QStringLiteral("Wielkość bufora wyjściowego"), "edtBuforWyjsciowy", "edtBuforWyjsciowyT",
            edtBuforWyjsciowy, edtBuforWyjsciowyT);

    edtOpoznieniePomiaru = NewEdit("edtOpoznieniePomiaru", this);
    grid->addWidget(new QLabel(QStringLiteral("Czas opóźnienia pomiaru"), this), row, 0);
    grid->addWidget(edtOpoznieniePomiaru, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("ms"), this), row++, 2);

    cbAutoBuffSize = new QCheckBox(QStringLiteral("Automatycznie ustalaj wielkość buforów"), this);
    cbAutoBuffSize->setObjectName(QStringLiteral("cbAutoBuffSize"));
    grid->addWidget(cbAutoBuffSize, row++, 0, 1, 5);

    lblCzasUsLin = new QLabel(QStringLiteral("Czas uśredniania liniowego: 1/"), this);
    edtCzasUsLin = NewEdit("edtCzasUsLin", this);
    grid->addWidget(lblCzasUsLin, row, 0);
    grid->addWidget(edtCzasUsLin, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("s"), this), row++, 2);

    edtNachylenie = NewEdit("edtNachylenie", this);
    grid->addWidget(new QLabel(QStringLiteral("Wzór opisujący napięcie wyjściowe:    U[mV] = A[p]/"), this),
                    row, 0);
    grid->addWidget(edtNachylenie, row++, 1);

    cbFormatProbek = new QComboBox(this);
    cbFormatProbek->setObjectName(QStringLiteral("cbFormatProbek"));
    cbFormatProbek->addItems({QStringLiteral("16 bitów"), QStringLiteral("32 bity zmiennoprzecinkowe")});
    auto* lblFormatProbek = new QLabel(QStringLiteral("Format próbek"), this);
    lblFormatProbek->setBuddy(cbFormatProbek);
    grid->addWidget(lblFormatProbek, row, 0);
    grid->addWidget(cbFormatProbek, row++, 1, 1, 4);

    auto* btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    auto* btnAnuluj = new QPushButton(QStringLiteral("&Anuluj"), this);
    btnAnuluj->setObjectName(QStringLiteral("btnAnuluj"));
    // Enter anywhere runs the confirmation, even with "&Anuluj" focused as the dialog opens.
    for (QPushButton* button : {btnOK, btnAnuluj})
        button->setAutoDefault(false);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TFormaZaawansowane::accept);
    connect(btnAnuluj, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnAnuluj);

    auto* column = new QVBoxLayout(this);
    column->addWidget(lblOstrzeznie);
    column->addLayout(grid);
    column->addLayout(buttons);

    for (QLineEdit* edit :
         {edtBuforWejsciowy, edtBuforWyjsciowy, edtOpoznieniePomiaru, edtCzasUsLin, edtNachylenie}) {
        TKeyFilter::Install(edit, TKeyFilter::Digits);
        edit->installEventFilter(this);
    }
    connect(edtBuforWejsciowy, &QLineEdit::textChanged, this,
            [this] { ShowDuration(edtBuforWejsciowy, edtBuforWejsciowyT); });
    connect(edtBuforWyjsciowy, &QLineEdit::textChanged, this,
            [this] { ShowDuration(edtBuforWyjsciowy, edtBuforWyjsciowyT); });
    // With the automatic size the blocks follow N as they will when it is applied.
    connect(edtCzasUsLin, &QLineEdit::textChanged, this, [this] {
        if (cbAutoBuffSize->isChecked() && Number(edtCzasUsLin) > 0)
            cbAutoBuffSizeClick();
    });
    connect(cbAutoBuffSize, &QCheckBox::clicked, this, &TFormaZaawansowane::cbAutoBuffSizeClick);

    edtBuforWejsciowy->setText(NumberFormat::Integer(InForce.InputSamples));
    edtBuforWyjsciowy->setText(NumberFormat::Integer(InForce.OutputSamples));
    edtOpoznieniePomiaru->setText(NumberFormat::Integer(InForce.MeasurementDelay));
    edtCzasUsLin->setText(NumberFormat::Integer(InForce.LowFreqLimit));
    edtNachylenie->setText(NumberFormat::Integer(InForce.AmplitudeConst));
    cbAutoBuffSize->setChecked(InForce.AutoBlockSize);
    cbFormatProbek->setCurrentIndex(InForce.SampleFormat == TSampleFormat::Integer ? 0 : 1);
    cbAutoBuffSizeClick();
    setFixedSize(sizeHint());
    btnAnuluj->setFocus();
}

void TFormaZaawansowane::cbAutoBuffSizeClick()
{
    const bool automatic = cbAutoBuffSize->isChecked();
    for (QWidget* control : SizeControls)
        control->setEnabled(!automatic);
    lblCzasUsLin->setEnabled(automatic);
    edtCzasUsLin->setEnabled(automatic);
    if (automatic) {
        const QString samples = NumberFormat::Integer(AutomaticBlockSamples(
            FrameRate, Number(edtCzasUsLin) > 0 ? Number(edtCzasUsLin) : InForce.LowFreqLimit));
        edtBuforWejsciowy->setText(samples);
        edtBuforWyjsciowy->setText(samples);
    }
}

void TFormaZaawansowane::ShowDuration(QLineEdit* samples, QLineEdit* duration)
{
    if (!samples->text().isEmpty())
        duration->setText(BlockDurationText(Number(samples), FrameRate));
}

int TFormaZaawansowane::Number(const QLineEdit* edit) const
{
    const std::optional<long long> value = NumberFormat::ParseInteger(edit->text());
    return value && *value >= 0 && *value <= 1'000'000'000 ? static_cast<int>(*value) : 0;
}

void TFormaZaawansowane::Restore(QLineEdit* edit)
{
    const bool empty = edit->text().trimmed().isEmpty();
    const bool zero = !empty && Number(edit) == 0;
    int previous;
    if (edit == edtOpoznieniePomiaru) {
        if (!empty)
            return; // a delay of 0 is a choice
        previous = InForce.MeasurementDelay;
    } else if (!empty && !zero) {
        return;
    } else if (edit == edtCzasUsLin) {
        previous = InForce.LowFreqLimit;
    } else if (edit == edtBuforWejsciowy) {
        previous = InForce.InputSamples;
    } else if (edit == edtBuforWyjsciowy) {
        previous = InForce.OutputSamples;
    } else {
        previous = InForce.AmplitudeConst;
    }
    edit->setText(NumberFormat::Integer(previous));
}

TAdvancedSettings TFormaZaawansowane::Values() const
{
    return {Number(edtBuforWejsciowy),
            Number(edtBuforWyjsciowy),
            Number(edtOpoznieniePomiaru),
            cbAutoBuffSize->isChecked(),
            Number(edtCzasUsLin),
            Number(edtNachylenie),
            cbFormatProbek->currentIndex() == 0 ? TSampleFormat::Integer : TSampleFormat::Float};
}

void TFormaZaawansowane::accept()
{
    // Enter reaches here without leaving the edit: what leaving would restore is restored first.
    for (QLineEdit* edit :
         {edtBuforWejsciowy, edtBuforWyjsciowy, edtOpoznieniePomiaru, edtCzasUsLin, edtNachylenie})
        Restore(edit);
    // A size the settings could not keep is refused, and the dialog stays open for it to be mended.
    if (!cbAutoBuffSize->isChecked())
        for (QLineEdit* size : {edtBuforWejsciowy, edtBuforWyjsciowy})
            if (NumberFormat::ParseInteger(size->text()).value_or(0) > MaxBlockSamples) {
                QMessageBox::warning(this, QStringLiteral("Tonvix"),
                                     QStringLiteral("Wielkość bufora nie może przekraczać ") +
                                         NumberFormat::Integer(MaxBlockSamples) + QStringLiteral(" próbek."));
                size->setFocus();
                size->selectAll();
                return;
            }
    if (Confirm && Confirm(this))
        QDialog::accept();
    else
        reject();
}

void TFormaZaawansowane::showEvent(QShowEvent* event)
{
    if (parentWidget() != nullptr) // centred on the window it was opened from
        move(parentWidget()->window()->geometry().center() - rect().center());
    QDialog::showEvent(event);
}

bool TFormaZaawansowane::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut)
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            Restore(edit);
    return QDialog::eventFilter(watched, event);
}
