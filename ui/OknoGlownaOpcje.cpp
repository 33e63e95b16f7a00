// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's options: the routes into "Opcje programu", the apply step after its OK, and the
// averaging-time dialog of the item "Inny".

#include "ui/OknoGlowna.h"

#include "common/NumberFormat.h"
#include "measure/RecordingControl.h"
#include "measure/SineGenerator.h"
#include "settings/AdvancedSettings.h"
#include "settings/OknoCzasUsredniania.h"
#include "ui/ChartView.h"
#include "ui/OknoOpcjeWykresu.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

// Every route ends here with the page it opens: the configuration and chart-options actions and tool
// buttons, the double-clicks on the right panel, the status bar and the parts of the chart.
void TFormaGlowna::ShowOptions(const QString& page)
{
    TFormaOpcjeWykresu dialog(CurrentOptions(), Measurement, audAudioIn, audAudioOut, this);
    connect(&dialog, &TFormaOpcjeWykresu::MikserRequested, this, &TFormaGlowna::mmiMikserClick);
    QCoreApplication::processEvents(); // what is pending is handled before the dialog takes over
    dialog.SetPage(page);
    if (dialog.exec() == QDialog::Accepted)
        ApplyOptions(dialog.Values());
}

TOpcjeProgramu TFormaGlowna::CurrentOptions() const
{
    const TPreferences& preferences = Measurement.Preferences;
    TOpcjeProgramu options;
    options.FrameRate = audAudioIn.FrameRate();
    options.AmplitudeMv = AmplitudeMillivolts(Measurement);
    options.MaxAmplitudeMv = Measurement.MaxAmplitude;
    options.Weighting = Measurement.FrequencyWeighting;
    options.InputDevice = audAudioIn.DeviceName();
    options.OutputDevice = audAudioOut.DeviceName();

    options.PointTime = Measurement.PointTime;
    options.ChartTimeRefresh = Measurement.ChartTimeRefresh;
    options.DisplayTimeRefresh = static_cast<int>(Measurement.DisplayTimeRefresh);

    options.CalibrationStartFreq = Measurement.CalibrationStartFreq;
    options.CalibrationStopFreq = Measurement.CalibrationStopFreq;
    options.CalibrationPointsCount = Measurement.CalibrationPointsCount;
    options.CalibrationTime = Measurement.CalibrationTime;
    options.MicrophoneFiles = Measurement.MicrophoneFiles;

    options.ShowPath = preferences.ShowPath;
    options.FreqExcessPercent = static_cast<int>(std::lround(Measurement.FreqExcess * 100));
    options.LevelExcessDb = static_cast<int>(std::lround(Measurement.LevelExcess));
    options.WorkDir = DialogFolder;
    options.MinimizeOnMeasurment = preferences.MinimizeOnMeasurment;
    options.PromptOnClose = preferences.PromptOnClose;

    options.ChartTimeScope = static_cast<int>(Measurement.ChartTimeScope);
    options.TimeAutoScale = Measurement.TimeAutoScale;
    options.TimeScaleMinimum = Measurement.TimeScaleMinimum;
    options.TimeScaleMaximum = Measurement.TimeScaleMaximum;
    options.TimeAutoLevelScale = Measurement.TimeAutoLevelScale;
    options.TimeLevelScaleMinimum = Measurement.TimeLevelScaleMinimum;
    options.TimeLevelScaleMaximum = Measurement.TimeLevelScaleMaximum;

    options.FreqAutoScale = Measurement.FreqAutoScale;
    options.FreqScaleMinimum = Measurement.FreqScaleMinimum;
    options.FreqScaleMaximum = Measurement.FreqScaleMaximum;
    options.FreqAutoLevelScale = Measurement.FreqAutoLevelScale;
    options.FreqLevelScaleMinimum = Measurement.FreqLevelScaleMinimum;
    options.FreqLevelScaleMaximum = Measurement.FreqLevelScaleMaximum;
    options.Detection = Measurement.Detection;

    options.ChartName = chtWykres->FootText();
    options.ChartNameFont = chtWykres->FootFont();
    options.ShowChartName = chtWykres->FootVisible();
    options.BottomTitle = chtWykres->xAxis->label();
    options.BottomTitleFont = chtWykres->xAxis->labelFont();
    options.LeftTitle = chtWykres->yAxis->label();
    options.LeftTitleFont = chtWykres->yAxis->labelFont();
    options.ShowCross = preferences.ShowCross;
    options.BottomAxisLogarithmic = Measurement.BottomAxisLogarithmic;

    // The preference, not the legend as shown: the sound-pressure kind hides the legend whatever the
    // preference says, and an OK there must not turn the preference off.
    options.ShowLegend = preferences.ShowLegend;
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        options.SeriesNames[static_cast<std::size_t>(slot)] = Series.SeriesName(slot);
    options.ShowCanal = preferences.ShowCanal;
    options.ShowFrameRate = preferences.ShowFrameRate;
    options.ShowAverageTime = preferences.ShowAverageTime;

    for (int series = 0; series < ChartSeriesCount; ++series)
        options.Series[static_cast<std::size_t>(series)] = chtWykres->SeriesFormat(series);
    return options;
}

// The options as the dialog left them reach the running program, in this order.
void TFormaGlowna::ApplyOptions(const TOpcjeProgramu& options)
{
    const bool pressure = Measurement.MeasurementKind == TMeasurementKind::SoundPressure;
    TPreferences& preferences = Measurement.Preferences;

    // 1. The devices and their format, only while the input is not running: an open device keeps the
    //    format and blocks it was opened with.
    if (!InputRunning()) {
        audAudioIn.SetFrameRate(options.FrameRate);
        audAudioOut.SetFrameRate(options.FrameRate);
        SetStatusPanel(1, NumberFormat::Integer(audAudioIn.FrameRate()) + " Hz");
        if (Measurement.AutoBuforSize)
            ApplyAutomaticBlockSizes(audAudioIn, audAudioOut, Measurement.LowFreqLimit);
        audAudioIn.SetDeviceName(options.InputDevice);
        audAudioOut.SetDeviceName(options.OutputDevice);
        ShowDevices(false);
        Sweep->FrameRateChanged(); // the sweep's frequencies against the new half rate
    }

    // 2. Refresh and step intervals.
    Measurement.ChartTimeRefresh = options.ChartTimeRefresh;
    Measurement.DisplayTimeRefresh = static_cast<unsigned>(std::max(options.DisplayTimeRefresh, 1));
    Measurement.PointTime = options.PointTime;

    // 3. The generator amplitude, kept in sample units (U[mV] = A[p] / K, the slope K in force).
    const long long amplitude = static_cast<long long>(options.AmplitudeMv) * Measurement.AmplitudeConst;
    Measurement.Amplitude = static_cast<std::int32_t>(
        std::clamp<long long>(amplitude, 0, std::numeric_limits<std::int32_t>::max()));
    if (!pressure) // status panel 2 shows the amplitude in the frequency kind only
        SetStatusPanel(2, NumberFormat::Integer(AmplitudeMillivolts(Measurement)) + " mV");

    // 4. The calibration sweep.
    Measurement.CalibrationStartFreq = options.CalibrationStartFreq;
    Measurement.CalibrationStopFreq = options.CalibrationStopFreq;
    Measurement.CalibrationPointsCount = options.CalibrationPointsCount;
    Measurement.CalibrationTime = options.CalibrationTime;
    // The measurement microphones' calibration files (read again: a file may have changed on disk).
    Measurement.MicrophoneFiles = options.MicrophoneFiles;
    LoadMicrophoneFiles();

    // 5. The margins of the automatic scales: the page shows per cent, the value is a fraction.
    Measurement.FreqExcess = options.FreqExcessPercent / 100.0;
    Measurement.LevelExcess = options.LevelExcessDb;

    // 6. The path in the title.
    preferences.ShowPath = options.ShowPath;
    setWindowTitle(TSeriesStore::WindowTitle(FileName, preferences.ShowPath));

    // 7. Hiding the series during a sweep, the work folder of both file dialogs, the prompts.
    preferences.MinimizeOnMeasurment = options.MinimizeOnMeasurment;
    DialogFolder = options.WorkDir;
    preferences.PromptOnClose = options.PromptOnClose;

    // 8. The frequency axis' scale (the time axis is never logarithmic) and the cross-hair.
    Measurement.BottomAxisLogarithmic = options.BottomAxisLogarithmic;
    if (!pressure)
        chtWykres->SetBottomLogarithmic(Measurement.BottomAxisLogarithmic);
    preferences.ShowCross = options.ShowCross;

    // 9. The chart's texts and their fonts.
    chtWykres->SetFoot(options.ChartName, options.ChartNameFont, options.ShowChartName);
    chtWykres->SetBottomTitle(options.BottomTitle);
    chtWykres->xAxis->setLabelFont(options.BottomTitleFont);
    chtWykres->yAxis->setLabel(options.LeftTitle);
    chtWykres->yAxis->setLabelFont(options.LeftTitleFont);

    // 10. The legend and what its rows show.
    preferences.ShowLegend = options.ShowLegend;
    preferences.ShowCanal = options.ShowCanal;
    preferences.ShowFrameRate = options.ShowFrameRate;
    preferences.ShowAverageTime = options.ShowAverageTime;
    chtWykres->SetPreferences(preferences);
    chtWykres->SetLegendVisible(!pressure && preferences.ShowLegend); // a recording shows none

    // 11. The names of the eight series.
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        Series.SetSeriesName(slot, options.SeriesNames[static_cast<std::size_t>(slot)]);

    // 12. Colours, styles and widths of all ten series; the settings keep them from here.
    Stored.Series = options.Series;
    for (int series = 0; series < ChartSeriesCount; ++series) {
        const TSeriesFormat& format = Stored.Series[static_cast<std::size_t>(series)];
        chtWykres->SetSeriesPen(series, format.Colour, format.Style, format.Width);
    }

    // 13. The axes of the sound-pressure kind; fixed limits change only with the rule that uses them.
    Measurement.ChartTimeScope = static_cast<unsigned>(std::max(options.ChartTimeScope, 1));
    Measurement.TimeAutoScale = options.TimeAutoScale;
    if (!options.TimeAutoScale) {
        Measurement.TimeScaleMinimum = options.TimeScaleMinimum;
        Measurement.TimeScaleMaximum = options.TimeScaleMaximum;
    }
    Measurement.TimeAutoLevelScale = options.TimeAutoLevelScale;
    if (!options.TimeAutoLevelScale) {
        Measurement.TimeLevelScaleMinimum = options.TimeLevelScaleMinimum;
        Measurement.TimeLevelScaleMaximum = options.TimeLevelScaleMaximum;
    }

    // 14. The axes of the frequency-characteristic kind.
    Measurement.FreqAutoScale = options.FreqAutoScale;
    if (options.FreqAutoScale == 2) {
        Measurement.FreqScaleMinimum = options.FreqScaleMinimum;
        Measurement.FreqScaleMaximum = options.FreqScaleMaximum;
    }
    Measurement.FreqAutoLevelScale = options.FreqAutoLevelScale;
    if (!options.FreqAutoLevelScale) {
        Measurement.FreqLevelScaleMinimum = options.FreqLevelScaleMinimum;
        Measurement.FreqLevelScaleMaximum = options.FreqLevelScaleMaximum;
    }
    Measurement.Detection = options.Detection;
    UpdateCompensation();

    // 15. The axes of the kind in force, and the sweep's estimated time for the new point time.
    SetUpAxes(false);
    Sweep->ShowEstimatedTime();

    // 16. A running recording ticks at the new interval. A sweep's points follow its input frames, and
    //     a calibration, whose input runs too, has a timer of its own: a tick there would put points
    //     into a series.
    if (pressure && Recording->InProgress() && InputRunning())
        SetTickInterval(Measurement.ChartTimeRefresh);

    // The frequency weighting, after the level axis' title so that its unit follows.
    SetFrequencyWeighting(options.Weighting);
}

// "Inny": the dialog stands with its top right corner at the top of the right panel, at the window's
// right edge.
bool TFormaGlowna::AskAveragingTime(double& seconds)
{
    const QPoint topRight(frameGeometry().right(), pnlPanelPrawy->mapToGlobal(QPoint(0, 0)).y());
    TFormaCzasUsredniania dialog(seconds, topRight, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    seconds = dialog.Seconds();
    return true;
}
