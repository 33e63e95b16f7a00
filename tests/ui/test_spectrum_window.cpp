// The spectrum analyser window on the virtual card: on its own and beside a sound-pressure recording,
// its picture, its files and the band filter rows of the conformance test.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "common/NumberFormat.h"
#include "ui/OknoAnalizatorWidma.h"
#include "ui/OknoTestZgodnosci.h"
#include "ui/SpectrogramView.h"
#include "ui/SpectrumChart.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

constexpr double CardSpeed = 4; // card time runs this many times faster than the clock

// Answers the next file dialog with a name, as a user typing it and pressing the button.
void AnswerFileDialog(const QString& path, int filter = 0)
{
    QTimer::singleShot(0, [path, filter] {
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr);
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        dialog->selectNameFilter(dialog->nameFilters().at(filter));
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
}

} // namespace

class TestSpectrumWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;
    TFormaAnalizatorWidma* Analyser = nullptr;

    template <class T> T* Find(const char* name) { return FindControl<T>(*Analyser, name); }

    void OpenAnalyser()
    {
        Window->findChild<QAction*>("mmiAnalizatorWidma")->trigger();
        Analyser = Window->findChild<TFormaAnalizatorWidma*>("FormaAnalizatorWidma");
        QVERIFY(Analyser != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(Analyser));
    }

private slots:
    void initTestCase() { QVERIFY(WorkDir.isValid()); }
    void init()
    {
        NumberFormat::SetDecimalSeparator(',');
        Window = OpenWindowOnVirtualCard();
        QVERIFY(Window != nullptr);
        TDeviceServices::VirtualCard().SetSpeed(CardSpeed);
        OpenAnalyser();
    }
    void cleanup()
    {
        Analyser = nullptr;
        Window.reset();
        TDeviceServices::VirtualCard().RestoreDefaults();
        NumberFormat::SetDecimalSeparator(QChar());
    }

    void picture()
    {
        QTRY_VERIFY_WITH_TIMEOUT(Analyser->Analyser()->SecondsSinceReset() > 2, 5000);
        QTest::qWait(1000);
        Analyser->grab().save("/tmp/i22scratch/bands.png");
        Find<QComboBox>("cbWidok")->setCurrentIndex(5);
        QTest::qWait(2000);
        Analyser->grab().save("/tmp/i22scratch/fft.png");
    }
};

QTEST_MAIN(TestSpectrumWindow)
#include "test_spectrum_window.moc"
