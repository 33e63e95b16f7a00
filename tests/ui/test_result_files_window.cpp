// SPDX-License-Identifier: GPL-3.0-or-later
// The window's file commands driven as a user drives them: the save and open dialogs, the extension
// and overwrite rules, the save selection, the recent files, the command line, the closing prompt with
// a save that fails and with one during a recording, the queue dump, the recovery of interrupted
// recordings, a failing journal and none at all.

#include "WindowTestSupport.h"
#include "results/ResultFileSupport.h"

#include "audio/DeviceServices.h"
#include "common/NumberFormat.h"
#include "results/RecordingJournal.h"
#include "results/ResultFile.h"
#include "settings/KeyTable.h"
#include "ui/ChartView.h"
#include "ui/OknoGlowna.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

using TAnswer = std::function<void(QWidget*)>;

// Answers the modal windows that the code under test opens, one answer per window, in order, and keeps
// what each showed.
class TModalAnswers
{
public:
    explicit TModalAnswers(std::vector<TAnswer> answers) : Answers(std::move(answers))
    {
        QObject::connect(&Poll, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal == Last || Next == Answers.size())
                return;
            Last = modal;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                Texts << box->text();
            else if (auto* label = modal->findChild<QLabel*>("pnlDialog"))
                Texts << label->text();
            else
                Texts << modal->objectName();
            Answers[Next++](modal);
        });
        Poll.start(5);
    }
    bool AllUsed() const { return Next == Answers.size(); }
    QStringList Texts;

private:
    std::vector<TAnswer> Answers;
    std::size_t Next = 0;
    QPointer<QWidget> Last;
    QTimer Poll;
};

TAnswer SaveAs(const QString& path, int filter = 0)
{
    return [path, filter](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        dialog->selectNameFilter(dialog->nameFilters().at(filter));
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
    };
}

TAnswer Press(const QString& caption)
{
    return [caption](QWidget* modal) {
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>())
            if (button->text() == caption) {
                button->click();
                return;
            }
        QFAIL(qPrintable("no button " + caption));
    };
}

const TAnswer Cancel = [](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); };

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestResultFilesWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    std::unique_ptr<TFormaGlowna> Window;

    QString Path(const QString& name) const { return Folder.filePath(name); }
    QAction* Action(const char* name) { return FindControl<QAction>(*Window, name); }
    void NewWindow(const QStringList& arguments = {"tonvix"})
    {
        Window = std::make_unique<TFormaGlowna>(arguments);
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }
    void Acquire(int ticks)
    {
        for (int i = 0; i < ticks; ++i)
            for (double value : {i * 0.25, -40.0 - i, -50.0 + i})
                Window->AcquisitionQueue().Enqueue(value);
        Window->State().ResultsSaved = false;
    }
    // Runs the action with the answers given; every answer must be used.
    void Run(QAction* action, std::vector<TAnswer> answers)
    {
        TModalAnswers modal(std::move(answers));
        action->trigger();
        QVERIFY(modal.AllUsed());
    }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        QVERIFY(QDir::setCurrent(Folder.path()));
    }
    void init() { NumberFormat::SetDecimalSeparator(','); }
    void cleanup()
    {
        if (Window) {
            Window->State().Preferences.PromptOnClose = false;
            Window->AcquisitionQueue().Clear();
        }
        Window.reset();
        NumberFormat::SetDecimalSeparator(QChar());
        // No journal a test leaves is offered to the next one.
        QDir journals(TRecordingJournal::DefaultFolder());
        for (const QString& journal : journals.entryList({"nagranie-*"}, QDir::Files | QDir::System))
            QVERIFY(journals.remove(journal));
    }

    void saveAndOpenARecording()
    {
        NewWindow();
        Acquire(3);
        Run(Action("actPlikZapisz"), {SaveAs(Path("pomiar"))});
        QVERIFY(QFile::exists(Path("pomiar.lev"))); // the extension is added
        QVERIFY(Window->AcquisitionQueue().Empty());
        QVERIFY(Window->State().ResultsSaved);
        QVERIFY(!FindControl<QToolButton>(*Window, "tbnKosz")->isEnabled());
        QCOMPARE(Window->CurrentFileName(), Path("pomiar.lev"));
        QAction* first = Action("mmi0");
        QVERIFY(first->isVisible());
        QCOMPARE(first->text(), QString("1 pomiar.lev")); // in the working folder: the name alone

        // An extension typed in capitals stays; an existing file is replaced only when the user says so.
        Acquire(1);
        Run(Action("actPlikZapisz"), {SaveAs(Path("DRUGI.LEV"))});
        QVERIFY(QFile::exists(Path("DRUGI.LEV")));
        const QByteArray earlier = Contents(Path("pomiar.lev"));
        Acquire(2);
        TModalAnswers keep({SaveAs(Path("pomiar.lev")), Press("&Nie")});
        Action("actPlikZapisz")->trigger();
        QCOMPARE_SHOWN(keep, 1, "Plik " + Path("pomiar.lev") + " już istnieje.\nCzy chcesz go zastąpić?");
        QCOMPARE(Contents(Path("pomiar.lev")), earlier);
        QCOMPARE(Window->AcquisitionQueue().Count(), std::size_t(6));
        QCOMPARE(Action("mmi0")->text(), QString("1 DRUGI.LEV"));
        QCOMPARE(Action("mmi1")->text(), QString("2 pomiar.lev"));

        // Opened, the recording is on the two channel series over its whole time.
        Action("actPlikNowy")->trigger();
        Run(Action("actPlikOtworz"), {SaveAs(Path("pomiar.lev"))});
        QCOMPARE(Window->ChartData().Series(LeftChannelSeries).Count(), 3);
        QCOMPARE(Window->ChartData().Series(RightChannelSeries).Y(2), -48.0);
        auto* chart = FindControl<TChartView>(*Window, "chtWykres");
        QCOMPARE(chart->BottomRange().lower, 0.0);
        QCOMPARE(chart->BottomRange().upper, 0.5);
        QVERIFY(Window->State().TimeAutoScale); // the user's setting is back
        QCOMPARE(Action("mmi0")->text(), QString("1 pomiar.lev"));
        QVERIFY(!Action("mmi2")->isVisible());
    }

    void frequencySaveAsksForTheSeries()
    {
        NewWindow();
        Action("actPomiarCharakterystyk")->trigger();
        TSeriesStore& series = Window->SeriesStore();
        series.Slot(0) = SeriesSlot{44100, 0, 0.125, true, 0};
        series.SetSeriesName(0, "Głośnik");
        Window->ChartData().Append(0, 100, -12.5);
        Window->ChartData().Append(0, 1000, -6);
        QVERIFY(series.Add()); // slot 2, empty
        QVERIFY(series.Add()); // slot 3, empty and hidden
        series.ShowHide(2);
        FindControl<TChartView>(*Window, "chtWykres")->SetLegendVisible(true); // names are written with it

        QStringList captions;
        bool thirdChecked = true, fourthEnabled = true;
        const TAnswer look = [&](QWidget* dialog) {
            for (int slot = 0; slot < 4; ++slot)
                captions << dialog->findChild<QCheckBox*>(QString("cbSeria%1").arg(slot))->text();
            thirdChecked = dialog->findChild<QCheckBox*>("cbSeria2")->isChecked();
            fourthEnabled = dialog->findChild<QCheckBox*>("cbSeria3")->isEnabled();
        };
        Run(Action("actPlikZapisz"), {SaveAs(Path("charakterystyka")), [&](QWidget* dialog) {
                                          look(dialog);
                                          Press("&OK")(dialog);
                                      }});
        QCOMPARE(captions, (QStringList{"Seria 1 (wykorzystana)", "Seria 2 (pusta)",
                                        "Seria 3 (pusta) (ukryta)", "Seria 4"}));
        QVERIFY(!thirdChecked);
        QVERIFY(!fourthEnabled);
        const QStringList lines = QString::fromUtf8(Contents(Path("charakterystyka.lev"))).split("\r\n");
        QCOMPARE(lines.at(2), QString("                 S E R I A  1                 "));
        QCOMPARE(lines.size(), 9); // six header lines, two points, the last line end

        // Cancelled selection: nothing is written and nothing is chosen.
        Run(Action("actPlikZapisz"), {SaveAs(Path("anulowana")), Press("&Anuluj")});
        QVERIFY(!QFile::exists(Path("anulowana.lev")));
        QCOMPARE(Action("actWybierzDoZapisu")->data().toInt(), 1);
        for (bool chosen : series.SlotChosenForSave())
            QVERIFY(!chosen);

        // Read back into a fresh window: the slot, its name and conditions, its points.
        NewWindow();
        Run(Action("actPlikOtworz"), {SaveAs(Path("charakterystyka.lev"))});
        QCOMPARE(Window->State().MeasurementKind, TMeasurementKind::FrequencyCharacteristic);
        QCOMPARE(Window->SeriesStore().SeriesName(0), QString("Głośnik"));
        QVERIFY(Window->SeriesStore().Slot(0).SlotMeasured);
        QCOMPARE(Window->SeriesStore().Slot(0).SlotAveragingTime, 0.125);
        QCOMPARE(Window->ChartData().Series(0).Count(), 2);
        QCOMPARE(Window->SeriesStore().ActiveSeries(), 0);
    }

    // "&Tak" in the closing prompt goes on only with the results in place: a cancelled or failed save
    // keeps the program open with everything unsaved still there.
    // "Eksportuj...": the chosen series as CSV or as one FRD file each; an export is no save.
    void exportWritesTheChosenSeries()
    {
        NewWindow();
        Action("actPomiarCharakterystyk")->trigger();
        TSeriesStore& series = Window->SeriesStore();
        QVERIFY(series.Add()); // slot 2
        for (int slot : {0, 1}) {
            series.Slot(slot) = SeriesSlot{48000, 0, 1, true, 0};
            Window->ChartData().Append(slot, 100, -12.5 - slot);
        }
        Window->State().ResultsSaved = false;
        Run(Action("actPlikEksportuj"), {SaveAs(Path("eksport"), 1), Press("&OK")});
        QVERIFY(Contents(Path("eksport_1.frd")).contains("\r\n100 -12.5 0\r\n"));
        QVERIFY(Contents(Path("eksport_2.frd")).contains("\r\n100 -13.5 0\r\n"));
        TModalAnswers again({SaveAs(Path("eksport"), 1), Press("&OK"), Press("&Nie")});
        Action("actPlikEksportuj")->trigger();
        QCOMPARE_SHOWN(again, 2,
                       "Pliki " + Path("eksport_1.frd") + ", " + Path("eksport_2.frd") +
                           " już istnieją.\nCzy chcesz je zastąpić?");
        Run(Action("actPlikEksportuj"), {SaveAs(Path("eksport"), 0), Press("&OK")});
        QVERIFY(Contents(Path("eksport.csv")).contains("\r\n100;-12,5;100;-13,5\r\n"));
        QVERIFY(!Window->State().ResultsSaved);
        QCOMPARE(Window->CurrentFileName(), QString(TSeriesStore::UntitledFileName));

        // A recording exports its acquired values, which stay for a save.
        Action("actPomiarCisnienia")->trigger();
        Run(Action("actPlikEksportuj"), {Press("OK")}); // nothing acquired: said, nothing asked
        Acquire(2);
        Run(Action("actPlikEksportuj"), {SaveAs(Path("nagranie.csv"))});
        QCOMPARE(QString::fromUtf8(Contents(Path("nagranie.csv"))).count("\r\n"), 3);
        QCOMPARE(Window->AcquisitionQueue().Count(), std::size_t(6));
    }

    void closingPromptYesNeedsACommittedSave()
    {
        NewWindow();
        Window->State().Preferences.PromptOnClose = true;
        Acquire(3000);
        {
            TModalAnswers cancelled({Press("&Tak"), Cancel});
            QVERIFY(!Window->close());
            QVERIFY(cancelled.AllUsed());
        }
        QVERIFY(Window->isVisible());
        QVERIFY(!Window->State().ResultsSaved);
        QCOMPARE(Window->AcquisitionQueue().Count(), std::size_t(9000));

        std::signal(SIGXFSZ, SIG_IGN);
        rlimit original{};
        getrlimit(RLIMIT_FSIZE, &original);
        rlimit small = original;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        TModalAnswers failed({Press("&Tak"), SaveAs(Path("za-duzy")), Press("OK")});
        const bool closed = Window->close();
        setrlimit(RLIMIT_FSIZE, &original);
        QVERIFY(!closed);
        QCOMPARE_SHOWN(failed, 2, "Nie można zapisać pliku " + Path("za-duzy.lev") + ": plik jest za duży.");
        QVERIFY(!QFile::exists(Path("za-duzy.lev")));
        QVERIFY(!Window->State().ResultsSaved);
        QCOMPARE(Window->AcquisitionQueue().Count(), std::size_t(9000));

        TModalAnswers saved({Press("&Tak"), SaveAs(Path("zamkniecie"))});
        QVERIFY(Window->close());
        QVERIFY(QFile::exists(Path("zamkniecie.lev")));
        QVERIFY(Window->AcquisitionQueue().Empty());
    }

    void commandLineOpensAFile()
    {
        const QString file = Path("z wiersza polecen.lev");
        QVERIFY(QFile::copy(QStringLiteral(TONVIX_FIXTURES "/legacy-1250-frequency.lev"), file));
        NewWindow({"tonvix", "/o", Path("z"), "wiersza", "polecen.lev"}); // cut at blanks by a shell
        QCOMPARE(Window->CurrentFileName(), file);
        QCOMPARE(Window->ChartData().Series(0).Count(), 4);
        QCOMPARE(Window->SeriesStore().SeriesName(2), QString("Mikrofon pomiarowy"));
        QCOMPARE(Action("mmi0")->text(), "1 " + file);

        NewWindow({"tonvix", file}); // as a desktop's "Open with" passes it
        QCOMPARE(Window->ChartData().Series(2).Count(), 2);

        TModalAnswers missing({Press("OK")});
        NewWindow({"tonvix", "/o", Path("nie ma.lev")});
        QCOMPARE(missing.Texts.value(0),
                 "Nie można odczytać pliku " + Path("nie ma.lev") + ": plik lub folder nie istnieje.");
    }

    void queueDumpAndRelease()
    {
        NewWindow();
        Acquire(2);
        FindControl<QPushButton>(*Window, "btnSave")->click();
        QVERIFY(QFile::exists(DefaultWorkFolder() + "/kolejka.txt")); // its lines: the core's tests
        QVERIFY(Window->AcquisitionQueue().Empty());
        Acquire(1);
        FindControl<QPushButton>(*Window, "btnRelease")->click();
        QVERIFY(Window->AcquisitionQueue().Empty());
    }

    // Every journal left by programs killed during a recording is offered at the start, one after
    // another, however far from the first place: Esc leaves one for the next start, "Usuń wyniki"
    // removes one, Enter opens one (its values come back on the chart and in the queue, unsaved, and go
    // with the next release), and one that cannot be taken over stays exactly as it was.
    void interruptedRecordingsAreOfferedOneAfterAnother()
    {
        const QString folder = TRecordingJournal::DefaultFolder();
        QVERIFY(QDir().mkpath(folder));
        const auto place = [&](int number) { return folder + QString("/nagranie-%1.lev").arg(number); };
        for (int number : {2, 4, 5}) {
            QFile journal(place(number));
            QVERIFY(journal.open(QIODevice::WriteOnly));
            journal.write(ResultFile::SoundPressureHeader(QDateTime::currentDateTime(), {1, 44100}).toUtf8() +
                          ResultFile::SoundPressureLine(0.25, -40, -41).toUtf8() +
                          ResultFile::SoundPressureLine(0.5, -42, -43).toUtf8() + "   0,750 -4,4");
        }
        const QByteArray later = Contents(place(2));
        // A journal the program may not write to: root writes any plain file whatever its permissions,
        // but not a kernel attribute.
        QVERIFY(QFile::link("/sys/devices/system/cpu/possible", place(3)));
        const TAnswer enter = [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); };
        const TAnswer escape = [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); };
        TModalAnswers answers({escape, enter, Press("OK"), Press("&Usuń wyniki"), enter});
        NewWindow();
        QVERIFY(answers.AllUsed());
        QVERIFY2(!answers.Texts.isEmpty(), "no offer shown");
        QVERIFY(answers.Texts.at(0).startsWith("Poprzednia praca programu zakończyła się w czasie pomiaru"));
        QCOMPARE_SHOWN(answers, 2,
                       "Nie można dopisywać do kopii nagrania " + place(3) +
                           ": brak uprawnień. Kopia zostaje na dysku bez zmian; to plik "
                           "wyników, który można skopiować albo otworzyć poleceniem „Otwórz”.");
        QCOMPARE(Contents(place(2)), later);
        QVERIFY(QFileInfo(place(3)).isSymLink());
        QVERIFY(!QFile::exists(place(4)));

        QCOMPARE(Window->ChartData().Series(LeftChannelSeries).Count(), 2);
        QCOMPARE(Window->AcquisitionQueue().Count(), std::size_t(6));
        QVERIFY(!Window->State().ResultsSaved);
        QVERIFY(FindControl<QToolButton>(*Window, "tbnKosz")->isEnabled());
        QVERIFY(Contents(place(5)).endsWith(ResultFile::SoundPressureLine(0.5, -42, -43).toUtf8()));
        // Saved as the journal says it was measured (1 s, 44100 Hz), whatever is in force now.
        Window->State().AveragingTime = 0.035;
        Run(Action("actPlikZapisz"), {SaveAs(Path("odzyskane"))});
        QVERIFY(Contents(Path("odzyskane.lev")).contains("Czas uśr.: 1,000s, Fp:44100Hz"));
        FindControl<QToolButton>(*Window, "tbnKosz")->click();
        QVERIFY(!QFile::exists(place(5)));
        QVERIFY(QFile::exists(place(2)));
    }

    // Anything measured after the last save is unsaved: a save during a recording takes what came until
    // then, and the closing prompt asks for what came after it. The two files hold every reading once.
    void aSaveDuringARecordingLeavesTheLaterReadingsUnsaved()
    {
        NewWindow();
        Window->State().Preferences.ShowRaport = false;
        Window->State().ChartTimeRefresh = 50;
        Window->State().MeasurementDelay = 50;
        FindControl<QCheckBox>(*Window, "cbAkwizycja")->click();
        Action("actStart")->trigger();
        QTRY_VERIFY(Window->AcquisitionQueue().Count() >= 9);
        Run(Action("actPlikZapisz"), {SaveAs(Path("w-trakcie"))});
        QTRY_VERIFY(Window->AcquisitionQueue().Count() >= 9);
        QVERIFY(!Window->State().ResultsSaved);
        Action("actStop")->trigger();
        const int readings = Window->ChartData().Series(LeftChannelSeries).Count();
        Window->State().Preferences.PromptOnClose = true;
        TModalAnswers answers({Press("&Tak"), SaveAs(Path("po-zapisie"))});
        QVERIFY(Window->close());
        QCOMPARE_SHOWN(answers, 0, "Zapisać wyniki pomiarów przed zamknięciem programu?");
        TRecordingSink before, after;
        QCOMPARE(ReadBytes(Contents(Path("w-trakcie.lev")), before), ResultFile::TReadOutcome::Read);
        QCOMPARE(ReadBytes(Contents(Path("po-zapisie.lev")), after), ResultFile::TReadOutcome::Read);
        QCOMPARE(static_cast<int>(before.Ticks.size() + after.Ticks.size()), readings);
        QVERIFY(before.Ticks.back()[0] < after.Ticks.front()[0]);
    }

    // A recording that would keep its values without a journal (the state folder cannot be made) asks
    // first, saying why; "Nie" leaves it unstarted.
    void aRecordingWithoutAJournalAsksFirst()
    {
        const QString folder = TRecordingJournal::DefaultFolder();
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const auto restore = qScopeGuard([&] { QFile::remove(folder); });
        NewWindow();
        Window->State().ChartTimeRefresh = 50;
        Window->State().MeasurementDelay = 50;
        FindControl<QCheckBox>(*Window, "cbAkwizycja")->click();
        Run(Action("actStart"), {Press("&Nie")});
        QCOMPARE(FindControl<QToolButton>(*Window, "btnStart")->defaultAction(), Action("actStart"));
        TModalAnswers yes({Press("&Tak")});
        Action("actStart")->trigger();
        QCOMPARE_SHOWN(yes, 0,
                       "Nie można założyć kopii nagrania w folderze " + folder +
                           ": plik lub folder o tej nazwie już istnieje.\nBez tej kopii awaria programu albo "
                           "zanik zasilania przed zapisem wyników zabierze całe nagranie.\nRozpocząć "
                           "akwizycję mimo to?");
        QTRY_VERIFY(Window->AcquisitionQueue().Count() >= 3);
        Action("actStop")->trigger();
    }

    // A journal that cannot be written is reported once, after the tick that found it fails: the ticks
    // that run while the message is shown never come between one tick's two channel points.
    void aFailingJournalIsReportedOnceOutsideTheTick()
    {
        const QString journal = TRecordingJournal::DefaultFolder() + "/nagranie-1.lev";
        QVERIFY(QDir().mkpath(TRecordingJournal::DefaultFolder()));
        QVERIFY(QFile::link("/dev/full", journal));
        NewWindow();
        Window->State().Preferences.ShowRaport = false;
        Window->State().ChartTimeRefresh = 50;
        Window->State().MeasurementDelay = 100;
        QStringList shown;
        QTimer poll; // each message stays a while, as a user reads it, with the recording going on
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->property("seen").isNull()) {
                box->setProperty("seen", true);
                shown << box->text();
                QTimer::singleShot(400, box, &QMessageBox::accept);
            }
        });
        poll.start(5);
        FindControl<QCheckBox>(*Window, "cbAkwizycja")->click();
        Action("actStart")->trigger();
        QTRY_COMPARE(shown.size(), 1);
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        QTest::qWait(300);
        Action("actStop")->trigger();
        QCOMPARE(shown, QStringList("Nie można zapisać kopii nagrania w pliku " + journal +
                                    ": brak miejsca na dysku. Nagranie trwa dalej w pamięci."));
        const TChartSeriesData& left = Window->ChartData().Series(LeftChannelSeries);
        const TChartSeriesData& right = Window->ChartData().Series(RightChannelSeries);
        QVERIFY(left.Count() > 10);
        QCOMPARE(right.Count(), left.Count());
        for (int i = 0; i < left.Count(); ++i)
            QCOMPARE(right.X(i), left.X(i));
    }
};

QTEST_MAIN(TestResultFilesWindow)
#include "test_result_files_window.moc"
