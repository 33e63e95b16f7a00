// SPDX-License-Identifier: GPL-3.0-or-later
// What the spectrum analyser window costs a sound-pressure recording on the virtual card in real time,
// printed for the record:   ctest -R test_analyser_figures -V
// The longest gap between two measurement ticks (250 ms apart at the default settings), the blocks
// the meter analysed against those the card delivered, the blocks lost, and the processor's use.

#include "WindowTestSupport.h"

#include "ui/OknoAnalizatorWidma.h"
#include "ui/OknoGlowna.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <qcustomplot.h>

namespace {

constexpr int Seconds = 10;

} // namespace

class TestAnalyserFigures : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TSettingsStore> Settings; // a first start's settings, so the defaults apply
    std::unique_ptr<TFormaGlowna> Window;

    // A recording at the default settings beside the analyser in the given view (-1: not open).
    void Record(int view, const char* what)
    {
        if (view >= 0) {
            Window->findChild<QAction*>("mmiAnalizatorWidma")->trigger();
            auto* analyser = Window->findChild<TFormaAnalizatorWidma*>("FormaAnalizatorWidma");
            analyser->findChild<QComboBox*>("cbWidok")->setCurrentIndex(view);
            analyser->findChild<QComboBox*>("cbRozmiarFft")->setCurrentIndex(6); // 65536
            QVERIFY(analyser->findChild<QCheckBox*>("cbSpektrogram")->isChecked());
            QTest::qWait(2000);
        }
        TAudioIn& input = Window->AudioIn();
        const TBufferEvent analyse = input.OnBufferFilled;
        long long frames = 0;
        input.OnBufferFilled = [&](float* buffer, int& size) {
            frames += size / 2;
            return analyse(buffer, size);
        };
        auto* tick = Window->findChild<QTimer*>("tmrTimer");
        Window->findChild<QAction*>("actStart")->trigger();
        frames = 0;
        double longestGap = 0;
        QElapsedTimer sinceTick, wall;
        const auto connection = connect(tick, &QTimer::timeout, this, [&] {
            longestGap = std::max(longestGap, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        const double cpuFrom = CpuSeconds();
        wall.start();
        sinceTick.start();
        QTest::qWait(Seconds * 1000);
        const double cpu = 100 * (CpuSeconds() - cpuFrom) / (double(wall.nsecsElapsed()) / 1e9);
        const double delivered = double(wall.nsecsElapsed()) / 1e9 * input.FrameRate();
        disconnect(connection);
        Window->findChild<QAction*>("actStop")->trigger();
        input.OnBufferFilled = analyse;
        QString drawing;
        if (view >= 0)
            for (const char* chart : {"chtWidmo", "chtSpektrogram"})
                drawing += QStringLiteral(", %1 drawn in %2 ms")
                               .arg(QLatin1String(chart))
                               .arg(Window->findChild<QCustomPlot*>(chart)->replotTime(true), 0, 'f', 1);
        qInfo("%s: longest tick gap %.1f ms (ticks every %d ms), %.0f of %.0f frames analysed, %llu lost, "
              "processor %.2f %% of one core%s",
              what, longestGap, Window->State().ChartTimeRefresh, double(frames), delivered,
              static_cast<unsigned long long>(input.Xruns()), cpu, qPrintable(drawing));
        QCOMPARE(input.Xruns(), std::uint64_t(0));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
    }
    void init()
    {
        Window = OpenFirstStartWindow(WorkDir, Settings);
        QVERIFY(Window);
    }
    void cleanup()
    {
        Window.reset();
        Settings.reset();
    }

    void withoutTheAnalyser() { Record(-1, "recording alone"); }
    void besideThirdOctaveBands() { Record(1, "beside 1/3-octave bands and their spectrogram"); }
    void besideALargeFftAnalyser() { Record(5, "beside a 65536-point FFT spectrum and its spectrogram"); }
};

QTEST_MAIN(TestAnalyserFigures)
#include "test_analyser_figures.moc"
