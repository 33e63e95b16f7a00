// SPDX-License-Identifier: GPL-3.0-or-later
// "Opcje programu": filling, the field checks, the buttons, panels and pictures, and what OK gives
// back (the pages are built in OknoOpcjeWykresuStrony.cpp).

#include "ui/OknoOpcjeWykresu.h"

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"
#include "results/MicrophoneCalibrationFile.h"
#include "settings/AdvancedSettings.h"
#include "settings/OknoZaawansowane.h"
#include "ui/ChartView.h"
#include "ui/OknoDialog.h"
#include "ui/OknoFormatSerii.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString DefaultDevice = QStringLiteral("Urządzenie domyślne");
constexpr int MinimumPoints = 3;

QString Text(double value)
{
    return NumberFormat::General(value);
}

QString Text(int value)
{
    return NumberFormat::Integer(value);
}

std::optional<double> Real(const QLineEdit* edit)
{
    return NumberFormat::ParseNumber(edit->text());
}

std::optional<int> Whole(const QLineEdit* edit)
{
    const std::optional<long long> value = NumberFormat::ParseInteger(edit->text());
    if (!value || *value < 0 || *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

void SetEnabled(const QList<QWidget*>& controls, bool enabled)
{
    for (QWidget* control : controls)
        control->setEnabled(enabled);
}

} // namespace

// ---- Filling and enabling

void TFormaOpcjeWykresu::Fill()
{
    const qsizetype rate = FrameRates.indexOf(Text(InForce.FrameRate));
    cbCzestotliwoscProbkowania->setCurrentIndex(rate >= 0 ? static_cast<int>(rate) : 0);
    cbKorekcja->setCurrentIndex(static_cast<int>(InForce.Weighting));
    cbKorekcja->setEnabled(!WeightingLocked());
    edtAmplituda->setText(Text(InForce.AmplitudeMv));
    FillDevices();

    edtZmianaCzestotliwosci->setText(Text(InForce.PointTime));
    edtOdswiezanieWykresu->setText(Text(InForce.ChartTimeRefresh));
    edtOdswiezanieWyswietlacza->setText(Text(InForce.DisplayTimeRefresh));
    MinInterval = ::MinRefreshInterval(Input, Output);
    ShowMinRefreshInterval();

    edtKalStartFreq->setText(Text(InForce.CalibrationStartFreq));
    edtKalStopFreq->setText(Text(InForce.CalibrationStopFreq));
    edtKalLiczbaPunktow->setText(Text(InForce.CalibrationPointsCount));
    edtKalZmianaCzestotliwosci->setText(Text(InForce.CalibrationTime));
    for (std::size_t channel = 0; channel < 2; ++channel)
        edtPlikKalibracjiMikrofonu[channel]->setText(InForce.MicrophoneFiles[channel]);

    cbPokazSciezke->setChecked(InForce.ShowPath);
    edtNadmiarCzestotliwosci->setText(Text(InForce.FreqExcessPercent));
    edtnadmiarPoziomu->setText(Text(InForce.LevelExcessDb));
    edtKatalogRoboczy->setText(InForce.WorkDir);
    cbMinimalizuj->setChecked(InForce.MinimizeOnMeasurment);
    cbPytaj->setChecked(InForce.PromptOnClose);

    edtCzasHistorii->setText(Text(InForce.ChartTimeScope));
    (InForce.TimeAutoScale ? rbZmienna : rbStala)->setChecked(true);
    edtMinX->setText(Text(InForce.TimeScaleMinimum));
    edtMaxX->setText(Text(InForce.TimeScaleMaximum));
    (InForce.TimeAutoLevelScale ? rbAutoPoziom1 : rbStalyPoziom1)->setChecked(true);
    edtPoziomMin1->setText(Text(InForce.TimeLevelScaleMinimum));
    edtPoziomMax1->setText(Text(InForce.TimeLevelScaleMaximum));

    const std::array<QRadioButton*, 3> rules = {rbDopasujDoMinMax, rbDopasujDoGeneratora, rbUstawNaStale};
    rules[static_cast<std::size_t>(std::clamp(InForce.FreqAutoScale, 0, 2))]->setChecked(true);
    edtMin->setText(Text(InForce.FreqScaleMinimum));
    edtMax->setText(Text(InForce.FreqScaleMaximum));
    (InForce.FreqAutoLevelScale ? rbAutoPoziom2 : rbStalyPoziom2)->setChecked(true);
    edtPoziomMin2->setText(Text(InForce.FreqLevelScaleMinimum));
    edtPoziomMax2->setText(Text(InForce.FreqLevelScaleMaximum));
    cbMetodaPomiaru->setCurrentIndex(InForce.Detection.Synchronous() ? 1 : 0);
    cbKanalOdniesienia->setCurrentIndex(static_cast<int>(InForce.Detection.Reference));
    edtPasmoOd->setText(Text(InForce.Detection.BandLow));
    edtPasmoDo->setText(Text(InForce.Detection.BandHigh));
    edtCzasUstalania->setText(Text(InForce.Detection.LongestSettling / 1000.0));

    memNazwaWykresu->setPlainText(InForce.ChartName);
    ChartNameFont = InForce.ChartNameFont;
    cbPokazNazwe->setChecked(InForce.ShowChartName);
    edtOpisX->setText(InForce.BottomTitle);
    edtOpisY->setText(InForce.LeftTitle);
    BottomTitleFont = InForce.BottomTitleFont;
    LeftTitleFont = InForce.LeftTitleFont;
    cbRysujKrzyz->setChecked(InForce.ShowCross);
    cbLogarytmiczna->setChecked(InForce.BottomAxisLogarithmic);

    cbPokazLegende->setChecked(InForce.ShowLegend);
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        edtSeria[static_cast<std::size_t>(slot)]->setText(
            InForce.SeriesNames[static_cast<std::size_t>(slot)]);
    cbPokazujKanal->setChecked(InForce.ShowCanal);
    cbPokazujCzestotliwosc->setChecked(InForce.ShowFrameRate);
    cbPokazujCzasUsredniania->setChecked(InForce.ShowAverageTime);

    Formats = InForce.Series;
    for (int series = 0; series < ChartSeriesCount; ++series)
        DrawSample(series);
    UpdateEnabling();
}

// The default device first, then every device by its description; a chosen device that is absent
// stays on the list, marked, so that the choice is not lost while it is unplugged.
void TFormaOpcjeWykresu::FillDevices()
{
    const TDeviceLists devices = TDeviceServices::AllDevices();
    const auto fill = [&](QComboBox* list, TWaveDirection direction, const QByteArray& inForce) {
        const QByteArray chosen = list->count() > 0 ? list->currentData().toByteArray() : inForce;
        const QSignalBlocker quiet(list);
        list->clear();
        list->addItem(DefaultDevice, QByteArray());
        for (const TDeviceEntry& device : devices.Of(direction))
            list->addItem(device.Description, device.Name);
        int index = list->findData(chosen);
        if (index < 0) {
            list->addItem(QString::fromUtf8(chosen) + QStringLiteral(" (niedostępne)"), chosen);
            index = list->count() - 1;
        }
        list->setCurrentIndex(index);
    };
    fill(cbUrzadzenieWejsciowe, TWaveDirection::Input, InForce.InputDevice);
    fill(cbUrzadzenieWyjsciowe, TWaveDirection::Output, InForce.OutputDevice);
}

void TFormaOpcjeWykresu::ShowMinRefreshInterval()
{
    const QString text = QStringLiteral("ms (min. ") + Text(MinInterval) + QStringLiteral("ms)");
    lblMS2->setText(text);
    lblMS3->setText(text);
}

void TFormaOpcjeWykresu::UpdateEnabling()
{
    SetEnabled(ZmiennaControls, rbZmienna->isChecked());
    SetEnabled(StalaControls, rbStala->isChecked());
    SetEnabled(StalyPoziom1Controls, rbStalyPoziom1->isChecked());
    SetEnabled(UstawNaStaleControls, rbUstawNaStale->isChecked());
    SetEnabled(StalyPoziom2Controls, rbStalyPoziom2->isChecked());
    SetEnabled(DetekcjaControls, cbMetodaPomiaru->currentIndex() == 1);
    for (QLineEdit* name : edtSeria)
        name->setEnabled(cbPokazLegende->isChecked());
    memNazwaWykresu->setEnabled(cbPokazNazwe->isChecked());
}

void TFormaOpcjeWykresu::SetPage(const QString& page)
{
    auto* tab = pgcOpcjeWykresu->findChild<QWidget*>(page);
    const int index = tab ? pgcOpcjeWykresu->indexOf(tab) : -1;
    pgcOpcjeWykresu->setCurrentIndex(std::max(index, 0));
}

// ---- Field checks

int TFormaOpcjeWykresu::SelectedFrameRate() const
{
    return FrameRates.value(cbCzestotliwoscProbkowania->currentIndex()).toInt();
}

// The rate in force after OK: the one chosen, unless the input runs and keeps its own.
double TFormaOpcjeWykresu::HalfFrameRate() const
{
    return (Input.Running() ? Input.FrameRate() : SelectedFrameRate()) / 2;
}

bool TFormaOpcjeWykresu::WeightingLocked() const
{
    return Input.Running() || State.RecordingPaused;
}

void TFormaOpcjeWykresu::CheckOnLeaving(QLineEdit* edit)
{
    const auto set = [edit](const QString& value) {
        if (edit->text() != value)
            edit->setText(value);
    };
    // A refresh or step interval: 0 is allowed (one tick per block), anything else not below the minimum.
    const auto interval = [&](int inForce, bool zeroAllowed) {
        const std::optional<int> value = Whole(edit);
        if (!value)
            set(Text(inForce));
        else if ((*value != 0 || !zeroAllowed) && *value < MinInterval)
            set(Text(MinInterval));
    };
    const auto atLeastOne = [&](int inForce) {
        const std::optional<int> value = Whole(edit);
        if (!value)
            set(Text(inForce));
        else if (*value == 0)
            set(QStringLiteral("1"));
    };
    const auto frequency = [&](double inForce) {
        const std::optional<double> value = Real(edit);
        if (!value)
            set(Text(inForce));
        else if (*value > HalfFrameRate())
            set(Text(static_cast<int>(HalfFrameRate())));
    };
    const auto number = [&](double inForce) {
        if (!Real(edit))
            set(Text(inForce));
    };
    // A margin goes no further than its up-down.
    const auto margin = [&](const QSpinBox* upDown, int inForce) {
        const std::optional<int> value = Whole(edit);
        if (!value)
            set(Text(inForce));
        else if (*value > upDown->maximum())
            set(Text(upDown->maximum()));
    };

    if (edit == edtAmplituda && !Whole(edit))
        set(Text(InForce.AmplitudeMv));
    else if (edit == edtZmianaCzestotliwosci)
        interval(InForce.PointTime, true);
    else if (edit == edtOdswiezanieWykresu)
        interval(InForce.ChartTimeRefresh, true);
    else if (edit == edtKalZmianaCzestotliwosci)
        interval(InForce.CalibrationTime, false);
    else if (edit == edtOdswiezanieWyswietlacza)
        atLeastOne(InForce.DisplayTimeRefresh);
    else if (edit == edtCzasHistorii)
        atLeastOne(InForce.ChartTimeScope);
    else if (edit == edtKalStartFreq)
        frequency(InForce.CalibrationStartFreq);
    else if (edit == edtKalStopFreq)
        frequency(InForce.CalibrationStopFreq);
    else if (edit == edtKalLiczbaPunktow) {
        const std::optional<int> value = Whole(edit);
        if (!value)
            set(Text(InForce.CalibrationPointsCount));
        else if (*value < MinimumPoints)
            set(Text(MinimumPoints));
    } else if (edit == edtNadmiarCzestotliwosci)
        margin(udNadmiarCzestotliwosci, InForce.FreqExcessPercent);
    else if (edit == edtnadmiarPoziomu)
        margin(udNadmiarPoziomu, InForce.LevelExcessDb);
    else if (edit == edtMinX)
        number(InForce.TimeScaleMinimum);
    else if (edit == edtMaxX)
        number(InForce.TimeScaleMaximum);
    else if (edit == edtMin)
        number(InForce.FreqScaleMinimum);
    else if (edit == edtMax)
        number(InForce.FreqScaleMaximum);
    else if (edit == edtPoziomMin1)
        number(InForce.TimeLevelScaleMinimum);
    else if (edit == edtPoziomMax1)
        number(InForce.TimeLevelScaleMaximum);
    else if (edit == edtPoziomMin2)
        number(InForce.FreqLevelScaleMinimum);
    else if (edit == edtPoziomMax2)
        number(InForce.FreqLevelScaleMaximum);
    else if (edit == edtPasmoOd)
        frequency(InForce.Detection.BandLow);
    else if (edit == edtPasmoDo)
        frequency(InForce.Detection.BandHigh);
    else if (edit == edtCzasUstalania) {
        const std::optional<double> seconds = Real(edit);
        const double shortest = TDetectionSettings::ShortestSettlingLimit / 1000.0;
        const double longest = TDetectionSettings::LongestSettlingLimit / 1000.0;
        if (!seconds)
            set(Text(InForce.Detection.LongestSettling / 1000.0));
        else if (*seconds < shortest || *seconds > longest)
            set(Text(std::clamp(*seconds, shortest, longest)));
    }
}

// On every change of a limit: a pair that would be inverted takes the edited limit to the other's value.
void TFormaOpcjeWykresu::CheckPair(QLineEdit* edited, QLineEdit* minimum, QLineEdit* maximum)
{
    const std::optional<double> low = Real(minimum), high = Real(maximum);
    if (low && high && *high < *low)
        edited->setText((edited == minimum ? maximum : minimum)->text());
}

// ---- Buttons, panels and pictures

void TFormaOpcjeWykresu::btnZaawansowaneClick()
{
    // The sizes and durations are reckoned at the rate chosen here; the components change only when
    // the advanced values are applied, and their rate only with this dialog's OK.
    const int frameRate = Input.Running() ? Input.FrameRate() : SelectedFrameRate();
    const auto confirm = [](QWidget* dialog) {
        TFormaDialog question(QStringLiteral("Czy na pewno chcesz zatwierdzić zmiany?"), true, dialog);
        question.findChild<QPushButton*>(QStringLiteral("btnAnuluj"))
            ->setText(QStringLiteral("N&ie wiem..."));
        auto* no = question.findChild<QPushButton*>(QStringLiteral("btnNie"));
        no->setDefault(true); // Enter answers what has the focus
        no->setFocus();
        return question.Ask() == TFormaDialog::Tak;
    };
    TFormaZaawansowane advanced(CurrentAdvancedSettings(State, Input, Output), frameRate, confirm, this);
    if (advanced.exec() != QDialog::Accepted)
        return;
    ApplyAdvancedSettings(advanced.Values(), State, Input, Output);
    MinInterval = ::MinRefreshInterval(Input, Output);
    ShowMinRefreshInterval();
    for (QLineEdit* edit : {edtOdswiezanieWykresu, edtZmianaCzestotliwosci})
        CheckOnLeaving(edit);
}

void TFormaOpcjeWykresu::ChooseColour(int series)
{
    TSeriesFormat& format = Formats[static_cast<std::size_t>(series)];
    const QColor chosen = QColorDialog::getColor(ColourFromBgr(format.Colour), this);
    if (!chosen.isValid())
        return;
    format.Colour = BgrFromColour(chosen);
    DrawSample(series);
}

void TFormaOpcjeWykresu::ChooseFormat(int series)
{
    TSeriesFormat& format = Formats[static_cast<std::size_t>(series)];
    TFormaFormatSerii dialog(series, format.Style, format.Width, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    format.Style = dialog.Style();
    format.Width = dialog.Width();
    DrawSample(series);
}

// The sample: a black line with the series' style and width; beside it the panel in its colour.
void TFormaOpcjeWykresu::DrawSample(int series)
{
    const TSeriesFormat& format = Formats[static_cast<std::size_t>(series)];
    QPixmap picture(SampleWidth, SampleHeight);
    picture.fill(palette().color(QPalette::Button));
    QPainter painter(&picture);
    painter.setPen(QPen(Qt::black, std::max(format.Width, 1), format.Style));
    painter.drawLine(0, SampleHeight / 2, SampleWidth - 1, SampleHeight / 2);
    painter.end();
    imgSeria[static_cast<std::size_t>(series)]->setPixmap(picture);
    QFrame* panel = pnlSeria[static_cast<std::size_t>(series)];
    QPalette colours = panel->palette();
    colours.setColor(QPalette::Window, ColourFromBgr(format.Colour));
    panel->setPalette(colours);
}

void TFormaOpcjeWykresu::ChooseFont(QFont& font)
{
    bool chosen = false;
    const QFont picked = QFontDialog::getFont(&chosen, font, this);
    if (chosen)
        font = picked;
}

void TFormaOpcjeWykresu::ChooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Wybierz katalog roboczy:"),
                                                             edtKatalogRoboczy->text());
    if (!folder.isEmpty())
        edtKatalogRoboczy->setText(folder);
}

void TFormaOpcjeWykresu::ChooseMicrophoneFile(int channel)
{
    QLineEdit* edit = edtPlikKalibracjiMikrofonu[static_cast<std::size_t>(channel)];
    const QString earlier = edit->text();
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Wybierz plik kalibracji mikrofonu"), QFileInfo(earlier).absolutePath(),
        QStringLiteral("Pliki kalibracji (*.txt *.cal *.frd);;Wszystkie pliki (*)"));
    if (file.isEmpty())
        return;
    edit->setText(file);
    if (!MicrophoneFileReads(channel))
        edit->setText(earlier);
}

bool TFormaOpcjeWykresu::MicrophoneFileReads(int channel)
{
    const QString file = edtPlikKalibracjiMikrofonu[static_cast<std::size_t>(channel)]->text().trimmed();
    if (file.isEmpty() || file == InForce.MicrophoneFiles[static_cast<std::size_t>(channel)])
        return true;
    QString failure;
    if (ReadMicrophoneCalibration(file, failure))
        return true;
    QMessageBox::warning(this, QStringLiteral("Tonvix"), failure);
    return false;
}

// ---- The timer check

void TFormaOpcjeWykresu::StartTimerCheck()
{
    if (tmrKontrolaDokladnosci->isActive())
        return;
    QMessageBox::information(this, QStringLiteral("Tonvix"),
                             QStringLiteral("QueryPerformanceFrequency: ") +
                                 Text(static_cast<double>(ProgramClock().CounterFrequency())) +
                                 QStringLiteral(" Hz"));
    TimerCheckStart = ProgramClock().Counter();
    tmrKontrolaDokladnosci->start();
}

void TFormaOpcjeWykresu::tmrKontrolaDokladnosciTimer()
{
    const std::int64_t elapsed = ProgramClock().Counter() - TimerCheckStart;
    tmrKontrolaDokladnosci->stop();
    const double milliseconds =
        static_cast<double>(elapsed) / static_cast<double>(ProgramClock().CounterFrequency()) * 1000.0;
    QMessageBox::information(this, QStringLiteral("Tonvix"),
                             QStringLiteral("Czas odmierzony przez TTimer (TTimer.Interval = 2000ms): ") +
                                 NumberFormat::Fixed(milliseconds, 10, 4) + QStringLiteral(" ms"));
}

// ---- Events

bool TFormaOpcjeWykresu::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusOut:
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            CheckOnLeaving(edit);
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == pnlKontrolaDokladnosci) {
            StartTimerCheck();
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        for (int series = 0; series < ChartSeriesCount; ++series) {
            if (watched == pnlSeria[static_cast<std::size_t>(series)]) {
                ChooseColour(series);
                return true;
            }
            if (watched == imgSeria[static_cast<std::size_t>(series)]) {
                ChooseFormat(series);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- What OK gives back

void TFormaOpcjeWykresu::accept()
{
    if (auto* edit = qobject_cast<QLineEdit*>(focusWidget()))
        CheckOnLeaving(edit);
    // A calibration file typed in is refused here, the dialog staying open for it to be mended.
    for (int channel = 0; channel < 2; ++channel) {
        if (!MicrophoneFileReads(channel)) {
            pgcOpcjeWykresu->setCurrentWidget(
                pgcOpcjeWykresu->findChild<QWidget*>(QStringLiteral("tabKalibracja")));
            edtPlikKalibracjiMikrofonu[static_cast<std::size_t>(channel)]->setFocus();
            return;
        }
    }
    QDialog::accept();
}

TOpcjeProgramu TFormaOpcjeWykresu::Values() const
{
    TOpcjeProgramu values = InForce;
    const auto whole = [](const QLineEdit* edit, int otherwise) { return Whole(edit).value_or(otherwise); };
    const auto real = [](const QLineEdit* edit, double otherwise) { return Real(edit).value_or(otherwise); };

    values.FrameRate = SelectedFrameRate();
    values.AmplitudeMv = std::min(whole(edtAmplituda, InForce.AmplitudeMv), InForce.MaxAmplitudeMv);
    values.Weighting = WeightingLocked() ? InForce.Weighting : WeightingFromItem(cbKorekcja->currentIndex());
    for (std::size_t channel = 0; channel < 2; ++channel)
        values.MicrophoneFiles[channel] = edtPlikKalibracjiMikrofonu[channel]->text().trimmed();
    values.InputDevice = cbUrzadzenieWejsciowe->currentData().toByteArray();
    values.OutputDevice = cbUrzadzenieWyjsciowe->currentData().toByteArray();

    values.PointTime = whole(edtZmianaCzestotliwosci, InForce.PointTime);
    values.ChartTimeRefresh = whole(edtOdswiezanieWykresu, InForce.ChartTimeRefresh);
    values.DisplayTimeRefresh = std::max(whole(edtOdswiezanieWyswietlacza, InForce.DisplayTimeRefresh), 1);

    values.CalibrationStartFreq = real(edtKalStartFreq, InForce.CalibrationStartFreq);
    values.CalibrationStopFreq = real(edtKalStopFreq, InForce.CalibrationStopFreq);
    values.CalibrationPointsCount = whole(edtKalLiczbaPunktow, InForce.CalibrationPointsCount);
    values.CalibrationTime = whole(edtKalZmianaCzestotliwosci, InForce.CalibrationTime);

    values.ShowPath = cbPokazSciezke->isChecked();
    values.FreqExcessPercent = std::min(whole(edtNadmiarCzestotliwosci, InForce.FreqExcessPercent),
                                        udNadmiarCzestotliwosci->maximum());
    values.LevelExcessDb =
        std::min(whole(edtnadmiarPoziomu, InForce.LevelExcessDb), udNadmiarPoziomu->maximum());
    values.WorkDir = edtKatalogRoboczy->text();
    values.MinimizeOnMeasurment = cbMinimalizuj->isChecked();
    values.PromptOnClose = cbPytaj->isChecked();

    values.ChartTimeScope = std::max(whole(edtCzasHistorii, InForce.ChartTimeScope), 1);
    values.TimeAutoScale = rbZmienna->isChecked();
    values.TimeScaleMinimum = real(edtMinX, InForce.TimeScaleMinimum);
    values.TimeScaleMaximum = real(edtMaxX, InForce.TimeScaleMaximum);
    values.TimeAutoLevelScale = rbAutoPoziom1->isChecked();
    values.TimeLevelScaleMinimum = real(edtPoziomMin1, InForce.TimeLevelScaleMinimum);
    values.TimeLevelScaleMaximum = real(edtPoziomMax1, InForce.TimeLevelScaleMaximum);

    values.FreqAutoScale = rbDopasujDoMinMax->isChecked() ? 0 : rbDopasujDoGeneratora->isChecked() ? 1 : 2;
    values.FreqScaleMinimum = real(edtMin, InForce.FreqScaleMinimum);
    values.FreqScaleMaximum = real(edtMax, InForce.FreqScaleMaximum);
    values.FreqAutoLevelScale = rbAutoPoziom2->isChecked();
    values.FreqLevelScaleMinimum = real(edtPoziomMin2, InForce.FreqLevelScaleMinimum);
    values.FreqLevelScaleMaximum = real(edtPoziomMax2, InForce.FreqLevelScaleMaximum);
    TDetectionSettings& detection = values.Detection;
    detection.Method =
        cbMetodaPomiaru->currentIndex() == 1 ? TSweepMethod::Synchronous : TSweepMethod::AveragedLevel;
    detection.Reference = static_cast<TReferenceChannel>(cbKanalOdniesienia->currentIndex());
    detection.BandLow = real(edtPasmoOd, InForce.Detection.BandLow);
    detection.BandHigh = std::max(real(edtPasmoDo, InForce.Detection.BandHigh), detection.BandLow);
    detection.LongestSettling = static_cast<int>(std::clamp(
        std::lround(real(edtCzasUstalania, InForce.Detection.LongestSettling / 1000.0) * 1000),
        long{TDetectionSettings::ShortestSettlingLimit}, long{TDetectionSettings::LongestSettlingLimit}));

    values.ChartName = memNazwaWykresu->toPlainText();
    values.ChartNameFont = ChartNameFont;
    values.ShowChartName = cbPokazNazwe->isChecked();
    values.BottomTitle = edtOpisX->text();
    values.BottomTitleFont = BottomTitleFont;
    values.LeftTitle = edtOpisY->text();
    values.LeftTitleFont = LeftTitleFont;
    values.ShowCross = cbRysujKrzyz->isChecked();
    values.BottomAxisLogarithmic = cbLogarytmiczna->isChecked();

    values.ShowLegend = cbPokazLegende->isChecked();
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        values.SeriesNames[static_cast<std::size_t>(slot)] =
            edtSeria[static_cast<std::size_t>(slot)]->text().left(MaxNameLength);
    values.ShowCanal = cbPokazujKanal->isChecked();
    values.ShowFrameRate = cbPokazujCzestotliwosc->isChecked();
    values.ShowAverageTime = cbPokazujCzasUsredniania->isChecked();

    values.Series = Formats;
    return values;
}
