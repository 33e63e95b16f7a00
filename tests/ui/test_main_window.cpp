// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven as a user drives it, offscreen, finding its controls by name.

#include "StandInPrograms.h"
#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/Mixer.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "settings/KeyTable.h"
#include "settings/SettingsStore.h"
#include "ui/ChartView.h"
#include "ui/OknoDialog.h"
#include "ui/OknoGlowna.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <functional>
#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;
    QSize FirstSize; // a first start's window, with no size stored

    template <class T> T* Find(const char* name) { return FindControl<T>(*Window, name); }
    QAction* Action(const char* name) { return Find<QAction>(name); }
    void NewWindow(const QStringList& arguments = {"tonvix"})
    {
        Window = std::make_unique<TFormaGlowna>(arguments);
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path())); // the results folder is made in the current folder
        NewWindow();
        FirstSize = Window->size();
        cleanup();
    }
    void init() { NumberFormat::SetDecimalSeparator(','); }
    void cleanup()
    {
        if (Window) // tests leave nothing unsaved behind, so closing never prompts
            Window->State().Preferences.PromptOnClose = false;
        Window.reset();
        NumberFormat::SetDecimalSeparator(QChar());
    }

    void startUpTextsAndDefaults_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << QChar(',');
        QTest::newRow("point") << QChar('.');
    }
    void startUpTextsAndDefaults()
    {
        QFETCH(QChar, separator);
        NumberFormat::SetDecimalSeparator(separator);
        NewWindow();
        QCOMPARE(Window->windowTitle(), QString("Tonvix ")); // no file named yet, and no path shown
        QCOMPARE(Window->CurrentFileName(), QString("BezNazwy"));
        QCOMPARE(Window->StatusPanel(4),
                 QString()); // the sound-pressure kind empties it after the slots register
        QCOMPARE(Window->minimumSize(), QSize(600, 440));
        QVERIFY(Window->width() >= 600 && Window->height() >= 440);

        const QString readout = QString(" 00") + separator + "0dB";
        QCOMPARE(Find<QLabel>("lblWartoscL")->text(), readout);
        QCOMPARE(Find<QLabel>("lblWartoscP")->text(), readout);
        QVERIFY(Find<QLabel>("lblWartoscL")->alignment() & Qt::AlignRight);
        QCOMPARE(Find<QLabel>("lblWartoscL")->font().pixelSize(), 29);
        QVERIFY(Find<QLabel>("lblWartoscL")->font().fixedPitch());
        // The widest read-out, the silence floor, fits the panel.
        const QLabel* left = Find<QLabel>("lblWartoscL");
        QVERIFY(left->fontMetrics().horizontalAdvance("-200" + QString(separator) + "0dB") <= left->width());
        QCOMPARE(Find<QLabel>("pnlCzas")->text(), QString("Czas: 00:00:00s"));
        QVERIFY(Find<QWidget>("pnlPanelPrawy")->width() >= 120);

        auto* averaging = Find<QComboBox>("cbCzasUsredniania");
        QCOMPARE(averaging->count(), 5);
        QCOMPARE(averaging->itemText(2), QString("I  (0,035s)"));
        QVERIFY(Find<QRadioButton>("rbKanalL")->isChecked());
        QCOMPARE(Find<QToolButton>("btnStart")->defaultAction(), Action("actStart"));
        QVERIFY(!Find<QPushButton>("btnPauza")->isEnabled());

        // The numeric entries take the separator in force and nothing else.
        QVERIFY(Window->IsNumericKey(separator));
        QVERIFY(!Window->IsNumericKey(separator == ',' ? '.' : ','));
        QVERIFY(Window->IsNumericKey('\b'));
        QVERIFY(!Window->IsNumericKey('-'));
        QVERIFY(Window->IsSignedNumericKey('-'));
        QCOMPARE(Find<QLineEdit>("edtStartFreq")->text(), QString("100"));
        QCOMPARE(Find<QLineEdit>("edtLiczbaPunktow")->text(), QString("100"));

        QCOMPARE(Window->StatusPanel(0), QString("Nie skalibrowany"));
        QVERIFY(Window->StatusPanel(1).endsWith(" Hz"));
        QCOMPARE(Window->WorkFolder(), QDir::currentPath() + "/Wyniki Pomiarów");
        QVERIFY(QDir(Window->WorkFolder()).exists());
    }

    void actionsCarryTheirCaptionsAndShortcuts()
    {
        NewWindow();
        const struct
        {
            const char* Name;
            const char* Caption;
            QKeySequence Shortcut;
        } actions[] = {
            {"actPlikNowy", "&Nowe pomiary", QKeySequence(Qt::CTRL | Qt::Key_N)},
            {"actPlikOtworz", "&Otwórz", QKeySequence(Qt::CTRL | Qt::Key_O)},
            {"actPlikZapisz", "&Zapisz", QKeySequence(Qt::CTRL | Qt::Key_S)},
            {"actDrukuj", "&Drukuj", QKeySequence(Qt::CTRL | Qt::Key_P)},
            {"actEdycjaKopiuj", "&Kopiuj", QKeySequence(Qt::CTRL | Qt::Key_C)},
            {"actStart", "&Start", QKeySequence(Qt::Key_F2)},
            {"actTrybPracyShift", "", QKeySequence(Qt::SHIFT | Qt::Key_F3)},
            {"mmiPowiekszenie", "Powiększenie", QKeySequence(Qt::CTRL | Qt::Key_I)},
            {"mmiAktualnaWielkosc", "Aktualna wielkość", QKeySequence(Qt::CTRL | Qt::Key_Y)},
            {"mmiZerujGenerator", "Zeruj czas", QKeySequence(Qt::CTRL | Qt::Key_F2)},
        };
        for (const auto& expected : actions) {
            QAction* action = Action(expected.Name);
            QCOMPARE(action->text(), QString(expected.Caption));
            QCOMPARE(action->shortcut(), expected.Shortcut);
        }
        QVERIFY(!Action("actPlikWyslij")->isEnabled());
        QVERIFY(!Action("actPlikWyslij")->isVisible());
        QVERIFY(!Action("actPlikZapiszJako")->isVisible());
        QVERIFY(!Action("mmi0")->isVisible());
        QVERIFY(!Find<QToolButton>("tbnWyslij")->isVisible()); // hidden with its action
        QVERIFY(!Find<QToolButton>("tbnDrukuj")->isVisible());
        QVERIFY(Find<QToolButton>("tbnZapisz")->isVisible());
        QCOMPARE(Find<QToolButton>("tbnKonfiguracja")->toolTip(), QString("Konfiguracja programu"));
        QVERIFY(!Find<QToolButton>("tbnKonfiguracja")->icon().isNull()); // bundled picture, no theme needed
        QCOMPARE(Find<QToolButton>("tbnNowy")->defaultAction(), Action("actPlikNowy"));
        QCOMPARE(Find<QToolButton>("tbnOtworz")->menu(), Find<QMenu>("pmiOtworz"));
        // The tool bar can be dragged off and docks back only at the top.
        auto* toolBar = Find<QToolBar>("tlbPasekNarzedzi");
        QVERIFY(toolBar->isMovable() && toolBar->isFloatable());
        QCOMPARE(toolBar->allowedAreas(), Qt::TopToolBarArea);
        QCOMPARE(Window->toolBarArea(toolBar), Qt::TopToolBarArea);

        // The drop-down of "Otwórz" follows the recent-file items just before it opens.
        Action("mmi2")->setText("&3 wyniki.lev");
        Action("mmi2")->setVisible(true);
        auto* recent = Find<QMenu>("pmiOtworz");
        recent->popup(Window->mapToGlobal(QPoint(20, 20)));
        QTRY_VERIFY(recent->isVisible());
        QVERIFY(Action("pmiOtworz2")->isVisible());
        QCOMPARE(Action("pmiOtworz2")->text(), QString("&3 wyniki.lev"));
        QVERIFY(!Action("pmiOtworz0")->isVisible());
        recent->close();
    }

    void chartAndItsMenus()
    {
        NewWindow();
        auto* chart = Find<TChartView>("chtWykres");
        QCOMPARE(chart->xAxis->label(), QString("Czas [s]"));
        // The series menus sit in the Edit menu and, without shortcuts, in the chart's pop-up menu.
        const auto captions = [this](const char* menu) {
            QStringList texts;
            for (QAction* item : Find<QMenu>(menu)->actions())
                texts << item->text();
            return texts;
        };
        const QStringList edit = captions("mmiEdycja"), popup = captions("pmiWykres");
        QCOMPARE(edit.mid(0, 4), QStringList({"Wyt&nij", "&Kopiuj", "Wkl&ej", "Kopiuj wykres"}));
        QCOMPARE(popup.first(), QString("Kopiuj wykres"));
        for (const char* series : {"Aktywna seria", "Dodaj serię", "Usuń wszystkie"}) {
            QVERIFY(edit.contains(series));
            QVERIFY(popup.contains(series));
        }

        // The mouse read-out reaches status panel 3.
        const QPoint inside = chart->axisRect()->rect().center();
        QTest::mouseMove(chart, inside);
        QTRY_VERIFY(Window->StatusPanel(3).endsWith("s"));
        QVERIFY(Window->StatusPanel(3).contains("dB "));

        Action("actPomiarCharakterystyk")->trigger();
        QCOMPARE(chart->xAxis->label(), QString("Częstotliwość [Hz]"));
        QTest::mouseMove(chart, inside + QPoint(1, 1));
        QTRY_VERIFY(Window->StatusPanel(3).endsWith("Hz"));
    }

    void scalingCommandShiftsChosenSeries()
    {
        NewWindow();
        Action("actPomiarCharakterystyk")->trigger();
        Window->ChartData().Append(0, 1000, -20);
        Window->ChartData().SetVisible(0, true);
        TModalAnswer shift([](QWidget* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>("edtSeria0");
            QVERIFY(edit != nullptr && edit->isEnabled());
            edit->setText("5");
            static_cast<QDialog*>(dialog)->accept();
        });
        Find<QToolButton>("tbnKosz")->click();
        QVERIFY(shift.Seen);
        QCOMPARE(Window->ChartData().Series(0).Y(0), -15.0);
        QVERIFY(!Window->State().ResultsSaved); // rescaled series are unsaved results
    }

    void statusPanelsKeepTheirWidthsOnResize()
    {
        NewWindow();
        auto* panel0 = Find<QLabel>("stbPanel0");
        const int before = panel0->width();
        int widths[TFormaGlowna::StatusPanelCount - 1];
        for (int panel = 1; panel < TFormaGlowna::StatusPanelCount; ++panel)
            widths[panel - 1] =
                Find<QLabel>(QByteArray("stbPanel" + QByteArray::number(panel)).constData())->width();
        for (const QSize size : {QSize(900, 600), QSize(640, 480), QSize(1200, 500)}) {
            Window->resize(size);
            QTRY_COMPARE(Window->size(), size);
            QTRY_COMPARE(panel0->width(), before + size.width() - FirstSize.width());
            for (int panel = 1; panel < TFormaGlowna::StatusPanelCount; ++panel)
                QCOMPARE(
                    Find<QLabel>(QByteArray("stbPanel" + QByteArray::number(panel)).constData())->width(),
                    widths[panel - 1]);
            for (int panel = 1; panel < TFormaGlowna::StatusPanelCount;
                 ++panel) { // side by side, all in view
                const QByteArray left = "stbPanel" + QByteArray::number(panel - 1);
                const QByteArray right = "stbPanel" + QByteArray::number(panel);
                QVERIFY(Find<QLabel>(left.constData())->geometry().right() <
                        Find<QLabel>(right.constData())->geometry().left());
            }
            QVERIFY(Find<QLabel>("stbPanel4")->geometry().right() < Window->statusBar()->width());
        }
        // A long message in panel 0 never widens the window.
        Window->SetStatusPanel(0, QString(400, 'x'));
        QVERIFY2(Window->minimumSizeHint().width() <= FirstSize.width(),
                 qPrintable(QString::number(Window->minimumSizeHint().width())));
    }

    // At the first size every caption, control and status text reads whole, in both kinds, with the
    // longest texts the status panels show.
    void firstScreenReadsWhole()
    {
        TSettingsStore store(WorkDir.filePath("whole.ini"));
        for (const bool frequency : {false, true}) {
            store.WriteBool("Analysis", "Kind", frequency);
            NewWindow();
            QCOMPARE(Window->size(), FirstSize);
            const QStringList longest[TFormaGlowna::StatusPanelCount] = {
                {"Nie skalibrowany", "Skalibrowany (kanał lewy i prawy)"},
                {"48000 Hz"},
                {"1311 mV"},
                {"-100,0dB 20000,0Hz", "-100,0dB 3600,000s"},
                {"Zapis danych do pamięci", "Aktywna seria: 4 i 8"}};
            for (int panel = 0; panel < TFormaGlowna::StatusPanelCount; ++panel)
                for (const QString& text : longest[panel]) {
                    Window->SetStatusPanel(panel, text);
                    ReadsWhole(*Find<QLabel>(QByteArray("stbPanel" + QByteArray::number(panel)).constData()));
                }
            for (const QLabel* label : Window->findChildren<QLabel*>())
                if (label->isVisible())
                    ReadsWhole(*label);
            for (const QAbstractButton* button : Window->findChildren<QAbstractButton*>())
                if (button->isVisible() && !button->text().isEmpty())
                    QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
            Window->State().Preferences.PromptOnClose = false;
            Window.reset();
        }
    }
    static void ReadsWhole(const QLabel& label)
    {
        const QFontMetrics metrics = label.fontMetrics();
        const int indent = label.indent() >= 0      ? label.indent()
                           : label.frameWidth() > 0 ? metrics.horizontalAdvance('x') / 2
                                                    : 0;
        const int room = label.contentsRect().width() - indent;
        const QString text = label.text();
        const QStringList lines = label.wordWrap() ? text.split(' ', Qt::SkipEmptyParts)
                                                   : text.split('\n'); // words on lines of their own
        for (const QString& line : lines)
            QVERIFY2(
                metrics.horizontalAdvance(line) <= room,
                qPrintable(
                    QString("%1: %2 px in %3").arg(line).arg(metrics.horizontalAdvance(line)).arg(room)));
        if (label.wordWrap())
            QVERIFY2(label.heightForWidth(label.width()) <= label.height(), qPrintable(text));
    }

    void kindSwitchBothWays()
    {
        NewWindow();
        Window->State().Amplitude = 25000;
        Window->SetStatusPanel(4, "Zapis danych do pamięci");
        QAction* pressure = Action("actPomiarCisnienia");
        QAction* frequency = Action("actPomiarCharakterystyk");
        auto* kosz = Find<QToolButton>("tbnKosz");

        frequency->trigger();
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::FrequencyCharacteristic);
        QVERIFY(frequency->isChecked() && !pressure->isChecked());
        QCOMPARE(Action("mmiZerujGenerator")->text(), QString("Zeruj generator"));
        QVERIFY(Find<QWidget>("pnlPanelDolny")->isVisible());
        QVERIFY(Find<QWidget>("pbPasekPostepu")->isVisible());
        QVERIFY(!Find<QWidget>("btnPauza")->isVisible());
        QVERIFY(!Find<QWidget>("cbAkwizycja")->isVisible());
        QVERIFY(kosz->isEnabled() && Action("mmiKosz")->isEnabled());
        QCOMPARE(kosz->toolTip(), QString("Skalowanie"));
        QCOMPARE(Action("mmiKosz")->text(), QString("Skalowanie"));
        QCOMPARE(Window->StatusPanel(2), QString("1000 mV"));
        QCOMPARE(pressure->shortcut(), QKeySequence(Qt::Key_F4));
        QVERIFY(frequency->shortcut().isEmpty());
        QVERIFY(!Window->ChartData().Visible(LeftChannelSeries));
        QVERIFY(!Window->ChartData().Visible(RightChannelSeries));
        QCOMPARE(Window->StatusPanel(4), QString("Aktywna seria: 1"));
        Find<QRadioButton>("rbKanalLR")->click(); // slots pair up in this kind
        QCOMPARE(Window->StatusPanel(4), QString("Aktywna seria: 1 i 5"));
        Find<QRadioButton>("rbKanalL")->click(); // the pair splits; the highest slot becomes active
        QCOMPARE(Window->StatusPanel(4), QString("Aktywna seria: 5"));

        Window->State().TimeCalibrationL = 1.5;
        pressure->trigger();
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::SoundPressure);
        QVERIFY(pressure->isChecked() && !frequency->isChecked());
        QCOMPARE(Action("mmiZerujGenerator")->text(), QString("Zeruj czas"));
        QVERIFY(!Find<QWidget>("pnlPanelDolny")->isVisible());
        QVERIFY(!Find<QWidget>("pbPasekPostepu")->isVisible());
        QVERIFY(Find<QWidget>("btnPauza")->isVisible());
        QVERIFY(Find<QWidget>("cbAkwizycja")->isVisible());
        QVERIFY(!kosz->isEnabled() && !Action("mmiKosz")->isEnabled());
        QCOMPARE(kosz->toolTip(), QString("Zwolnienie pamięci"));
        QCOMPARE(Find<QLabel>("pnlCzas")->text(), QString("Czas: 00:00:00s"));
        QCOMPARE(Window->StatusPanel(0), QString("Skalibrowany (kanał lewy)"));
        QVERIFY(Window->StatusPanel(2).isEmpty());
        QVERIFY(Window->StatusPanel(4).isEmpty());
        QCOMPARE(frequency->shortcut(), QKeySequence(Qt::Key_F4));
        QVERIFY(pressure->shortcut().isEmpty());
        QVERIFY(Window->ChartData().Visible(LeftChannelSeries));
        QVERIFY(!Window->ChartData().Visible(RightChannelSeries));

        // Both channels chosen while measuring sound pressure: the slots are paired on the way back.
        Find<QRadioButton>("rbKanalLR")->click();
        frequency->trigger();
        QVERIFY(Window->SeriesStore().PairMode());
        QCOMPARE(Window->StatusPanel(4), QString("Aktywna seria: 1 i 5"));
    }

    void kindSwitchPromptsOnlyWhenAskedByTheUser()
    {
        NewWindow();
        Window->State().Preferences.PromptOnClose = true;
        // The program's own switch (as at start-up) never asks.
        QVERIFY(Window->QuerySaveResults(Window.get(), true));

        {
            TModalAnswer refuse([](QWidget* dialog) { Click(dialog, "btnNie"); });
            Action("actPomiarCharakterystyk")->trigger();
            QVERIFY(refuse.Seen);
            QCOMPARE(refuse.Text, QString("Zmienić rodzaj pomiaru?"));
        }
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::SoundPressure);
        QVERIFY(Action("actPomiarCisnienia")->isChecked()); // the check mark follows the kind, not the click

        Window->State().ResultsSaved = false;
        {
            TModalAnswer discard([](QWidget* dialog) { Click(dialog, "btnNie"); });
            Action("actPomiarCharakterystyk")->trigger();
            QCOMPARE(discard.Text, QString("Zapisać wyniki pomiarów przed zmianą rodzaju pomiaru?"));
        }
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::FrequencyCharacteristic);
        QVERIFY(Window->State().ResultsSaved);

        // Choosing the kind in force again neither asks nor clears the measured series.
        Window->State().ResultsSaved = false;
        Window->ChartData().Append(0, 1000, -20);
        TModalAnswer none([](QWidget* dialog) { Click(dialog, "btnNie"); });
        Action("actPomiarCharakterystyk")->trigger();
        QVERIFY(!none.Seen);
        QCOMPARE(Window->ChartData().Series(0).Count(), 1);
        QVERIFY(Action("actPomiarCharakterystyk")->isChecked());
    }

    void closingPrompts()
    {
        // "PromptOnClose" off: closes at once even with unsaved results.
        NewWindow();
        Window->State().ResultsSaved = false;
        QVERIFY(Window->close());

        // Nothing unsaved: two buttons; the close box of the prompt lets the program close.
        NewWindow();
        Window->State().Preferences.PromptOnClose = true;
        QSize promptSize;
        bool hasCancel = true;
        TModalAnswer closeBox([&](QWidget* dialog) {
            promptSize = dialog->size();
            hasCancel = dialog->findChild<QPushButton*>("btnAnuluj") != nullptr;
            dialog->close();
        });
        QVERIFY(Window->close());
        QCOMPARE(closeBox.Text, QString("Zakończyć pracę z programem?"));
        QVERIFY(!hasCancel);
        QCOMPARE(promptSize, QSize(297 - 80, 76));

        // Nothing unsaved: "&Nie" keeps the program.
        NewWindow();
        Window->State().Preferences.PromptOnClose = true;
        {
            TModalAnswer no([](QWidget* dialog) { Click(dialog, "btnNie"); });
            QVERIFY(!Window->close());
        }

        // Unsaved: "&Anuluj" keeps the program open and the results unsaved; "&Nie" closes.
        Window->State().ResultsSaved = false;
        Window->AcquisitionQueue().Enqueue(1.0);
        {
            TModalAnswer cancel([](QWidget* dialog) { Click(dialog, "btnAnuluj"); });
            QVERIFY(!Window->close());
            QCOMPARE(cancel.Text, QString("Zapisać wyniki pomiarów przed zamknięciem programu?"));
        }
        QVERIFY(Window->isVisible());
        QVERIFY(!Window->State().ResultsSaved);
        QCOMPARE(Window->AcquisitionQueue().Count(), std::size_t(1)); // kept for saving
        {
            TModalAnswer no([](QWidget* dialog) { Click(dialog, "btnNie"); });
            QVERIFY(Window->close());
        }
        QVERIFY(Window->State().ResultsSaved);
        QVERIFY(Window->AcquisitionQueue().Empty()); // "&Nie" discards the acquired values

        // "Za&kończ" closes as the close box does. ("&Tak" saves first: see the result files' tests.)
        NewWindow();
        Window->State().Preferences.PromptOnClose = true;
        Window->State().ResultsSaved = false;
        {
            TModalAnswer no([](QWidget* dialog) { Click(dialog, "btnNie"); });
            Action("actPlikZakoncz")->trigger();
            QVERIFY(no.Seen);
        }
        QVERIFY(!Window->isVisible());
        QVERIFY(Window->State().ResultsSaved);
    }

    void questionBoxGeometry()
    {
        NewWindow();
        TFormaDialog full("Zapisać?", true, Window.get());
        QCOMPARE(full.size(), QSize(297, 76));
        QCOMPARE(full.windowTitle(), QString("Tonvix"));
        const char* const names[] = {"btnTak", "btnNie", "btnAnuluj"};
        const int lefts[] = {39, 119, 199};
        const char* const captions[] = {"&Tak", "&Nie", "&Anuluj"};
        for (int i = 0; i < 3; ++i) {
            auto* button = full.findChild<QPushButton*>(names[i]);
            QVERIFY(button != nullptr);
            QCOMPARE(button->geometry().left(), lefts[i]);
            QCOMPARE(button->size(), QSize(60, 20));
            QCOMPARE(button->text(), QString(captions[i]));
        }
        TFormaDialog twoButtons("Zakończyć?", false, Window.get());
        QCOMPARE(twoButtons.width(), 217);
        QVERIFY(twoButtons.findChild<QPushButton*>("btnAnuluj") == nullptr);
    }

    void channelModeKeys()
    {
        NewWindow();
        auto mode = [this] { return Window->State().ChannelMode; };
        QTest::keyClick(Window.get(), Qt::Key_F3);
        QCOMPARE(mode(), TChannelMode::Right);
        QVERIFY(Find<QRadioButton>("rbKanalR")->isChecked());
        QVERIFY(!Find<QLabel>("lblWartoscL")->isEnabled());
        QVERIFY(Find<QLabel>("lblWartoscP")->isEnabled());
        QTest::keyClick(Window.get(), Qt::Key_F3);
        QCOMPARE(mode(), TChannelMode::Both);
        QVERIFY(!Find<QCheckBox>("cbKompensacja")->isVisible());
        QVERIFY(!Action("mmiKompensacja")->isVisible());
        QTest::keyClick(Window.get(), Qt::Key_F3); // from "Kanał L i R" back to "Kanał L"
        QCOMPARE(mode(), TChannelMode::Left);
        QVERIFY(Find<QCheckBox>("cbKompensacja")->isVisible());
        QVERIFY(Window->ChartData().Visible(LeftChannelSeries));
        QVERIFY(!Window->ChartData().Visible(RightChannelSeries));

        QTest::keyClick(Window.get(), Qt::Key_F3, Qt::ShiftModifier); // from "Kanał L" to "Kanał L i R"
        QCOMPARE(mode(), TChannelMode::Both);
        QVERIFY(Window->ChartData().Visible(RightChannelSeries));
        QTest::keyClick(Window.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(mode(), TChannelMode::Right);
    }

    void compensationFollowsTheCheckBoxAndTheModes()
    {
        NewWindow();
        auto* box = Find<QCheckBox>("cbKompensacja");
        QAction* item = Action("mmiKompensacja");
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(item->isChecked());
        QVERIFY(Window->State().Compensation);
        item->trigger(); // the menu item unchecks itself and the box
        QVERIFY(!box->isChecked());
        QVERIFY(!Window->State().Compensation);
        item->trigger();
        QVERIFY(Window->State().Compensation);
        Find<QRadioButton>("rbKanalLR")->click(); // both channels: no compensation, though still checked
        QVERIFY(!Window->State().Compensation);
        QVERIFY(item->isChecked());
        Find<QRadioButton>("rbKanalR")->click();
        QVERIFY(Window->State().Compensation);
    }

    void f4StepsTheAveragingListAndNeverTheKind()
    {
        NewWindow();
        auto* averaging = Find<QComboBox>("cbCzasUsredniania");
        const int expected[] = {1, 2, 0};
        for (int next : expected) {
            QTest::keyClick(Window.get(), Qt::Key_F4);
            QCOMPARE(averaging->currentIndex(), next);
        }
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::SoundPressure);
        for (int fixed : {3, 4}) { // "Inny" and "Brak" stay
            averaging->setCurrentIndex(fixed);
            QTest::keyClick(Window.get(), Qt::Key_F4);
            QCOMPARE(averaging->currentIndex(), fixed);
        }
        // With the "Pomiar" menu open, F4 reaches the kind that shows it.
        auto* menu = Find<QMenu>("mmiPomiar");
        menu->popup(Window->mapToGlobal(QPoint(10, 10)));
        QTRY_VERIFY(QApplication::activePopupWidget() == menu);
        QTest::keyClick(menu, Qt::Key_F4);
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::FrequencyCharacteristic);
        QVERIFY(!menu->isVisible());
        QCOMPARE(averaging->currentIndex(), 4);
    }

    void startFrequencyRefusesLettersAndMinus_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << QChar(',');
        QTest::newRow("point") << QChar('.');
    }
    void startFrequencyRefusesLettersAndMinus()
    {
        QFETCH(QChar, separator);
        NumberFormat::SetDecimalSeparator(separator);
        NewWindow();
        auto* edit = Find<QLineEdit>("edtStartFreq");
        edit->clear();
        edit->setFocus();
        const QChar other = separator == ',' ? '.' : ',';
        QTest::keyClicks(edit, QString("1a2-3") + other + separator + "5e");
        QCOMPARE(edit->text(), QString("123") + separator + "5");
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString("123") + separator);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier); // editing keys still work
        QTest::keyClick(edit, Qt::Key_Delete);
        QVERIFY(edit->text().isEmpty());
    }

    void settingsWrittenAtCloseComeBack()
    {
        const QString file = WorkDir.filePath("ustawienia.ini");
        {
            TSettingsStore store(file);
            NewWindow();
            QCOMPARE(Window->StatusPanel(1), QString("48000 Hz")); // a first start's frame rate
            Action("actPomiarCharakterystyk")->trigger();
            Find<QRadioButton>("rbKanalR")->click();
            Find<QCheckBox>("cbKompensacja")->click();
            Find<QComboBox>("cbCzasUsredniania")->setCurrentIndex(4);
            Window->resize(700, 500);
            Window->move(30, 40);
            QTRY_COMPARE(Window->size(), QSize(700, 500));
            Window.reset();
        }
        TSettingsStore store(file);
        NewWindow();
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::FrequencyCharacteristic);
        QVERIFY(Action("actPomiarCharakterystyk")->isChecked());
        QVERIFY(Find<QWidget>("pnlPanelDolny")->isVisible());
        QVERIFY(Find<QRadioButton>("rbKanalR")->isChecked());
        QCOMPARE(Window->State().ChannelMode, TChannelMode::Right);
        QVERIFY(Window->State().Compensation);
        QCOMPARE(Find<QComboBox>("cbCzasUsredniania")->currentIndex(), 4);
        QCOMPARE(Window->size(), QSize(700, 500));
        QCOMPARE(Window->pos(), QPoint(30, 40));
    }

    void storedKindIsAppliedWithoutAPrompt()
    {
        TSettingsStore store(WorkDir.filePath("pytaj.ini"));
        store.WriteBool("Preferences", "PromptOnClose", true);
        store.WriteBool("Analysis", "Kind", true);
        store.WriteInteger("Position", "WindowState", 7); // an unknown state leaves the window alone
        TModalAnswer none([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
        NewWindow();
        QVERIFY(!none.Seen);
        QVERIFY(Window->State().Preferences.PromptOnClose);
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::FrequencyCharacteristic);
        QCOMPARE(Window->windowState(), Qt::WindowNoState);
        QCOMPARE(Window->size(), FirstSize); // the same first size in either kind
    }

    void aPlaceOnAMonitorThatIsGoneCentresTheWindow()
    {
        TSettingsStore store(WorkDir.filePath("monitor.ini"));
        store.WriteInteger("Position", "Left", 5000);
        store.WriteInteger("Position", "Top", -3000);
        NewWindow();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(Window->size(), FirstSize);
        QCOMPARE(Window->pos(), QPoint(area.x() + qRound((area.width() - FirstSize.width()) / 2.0),
                                       area.y() + qRound((area.height() - FirstSize.height()) / 2.0)));
    }

    void f2StartsAndStopsARecording()
    {
        NewWindow();
        Window->State().MeasurementDelay = 20;
        auto* start = Find<QToolButton>("btnStart");
        QTest::keyClick(Window.get(), Qt::Key_F2);
        QTRY_VERIFY(Window->AudioIn().Running());
        QCOMPARE(start->defaultAction(), Action("actStop"));
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar"));
        QVERIFY(!Action("actPomiarCharakterystyk")->isEnabled()); // no kind change while measuring
        QTRY_VERIFY(Window->ChartData().Series(LeftChannelSeries).Count() > 0); // ticks reach the chart
        QTest::keyClick(Window.get(), Qt::Key_F2);
        QVERIFY(!Window->AudioIn().Running());
        QCOMPARE(start->defaultAction(), Action("actStart"));
        QCOMPARE(Action("actStart")->shortcut(), QKeySequence(Qt::Key_F2));
        QVERIFY(Action("actStop")->shortcut().isEmpty());
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
        QVERIFY(Action("actPomiarCharakterystyk")->isEnabled());
    }

    void aFirstStartMakesTheDocumentsResultsFolder()
    {
        TSettingsStore store(WorkDir.filePath("pierwszy.ini"));
        NewWindow();
        QCOMPARE(Window->WorkFolder(), DefaultWorkFolder());
        QVERIFY(QDir(DefaultWorkFolder()).exists());
    }

    void workFolderThatCannotBeMade()
    {
        QTemporaryDir blocked;
        QVERIFY(QDir::setCurrent(blocked.path()));
        QFile obstacle(blocked.path() + "/Wyniki Pomiarów"); // a file where the folder should be
        QVERIFY(obstacle.open(QIODevice::WriteOnly));
        obstacle.close();
        TModalAnswer ok([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
        NewWindow();
        QVERIFY(QDir::setCurrent(WorkDir.path()));
        QCOMPARE(ok.Text, "Nie można utworzyć " + blocked.path() + "/Wyniki Pomiarów");
        // The window opens and the steps after the folder still ran: digits are typed, and a
        // recording is timed by the real counter.
        QVERIFY(Window->isVisible());
        QVERIFY(Window->IsNumericKey('5'));
        QCOMPARE(Window->State().CounterFrequency, ProgramClock().CounterFrequency());
    }

    void mixerAndMailReportWhatCouldNotStart()
    {
        NewWindow();
        QCOMPARE(Find<tMsMixerSystem>("Mikser")->Count(), tMsMixerSystem().Count());
        const auto expectMessage = [&](const std::function<void()>& command, const QString& text) {
            TStandInPrograms programs;
            programs.Add("xdg-email", 1);
            TModalAnswer ok([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
            command();
            QTRY_VERIFY(ok.Seen);
            QCOMPARE(ok.Text, text);
        };
        expectMessage([&] { Find<QToolButton>("tbnMikser")->click(); },
                      "Could not execute system information!");
        // The send action stays hidden and disabled, but its handler works.
        expectMessage([&] { QMetaObject::invokeMethod(Window.get(), "actPlikWyslijExecute"); },
                      "Podczas wysyłania poczty wystąpił błąd.");
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
