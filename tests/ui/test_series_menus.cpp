// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTestSupport.h"

#include "common/NumberFormat.h"
#include "ui/OknoWybierzSerie.h"
#include "ui/SeriesMenus.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// The series menus in a window of their own, as the main window holds them.
struct TFixture
{
    TMeasurementState State;
    TChartModel Chart;
    TSeriesStore Store{State, Chart};
    QMainWindow Window;
    QMenu* Edit = Window.menuBar()->addMenu(QStringLiteral("&Edycja"));
    QMenu Popup;
    TSeriesMenus Menus{Store, State, &Window};

    TFixture()
    {
        Menus.AddToEditMenu(Edit);
        Menus.AddToPopupMenu(&Popup);
        Window.resize(640, 480);
    }
    QAction* Action(const QString& name) const
    {
        auto* action = Window.findChild<QAction*>(name);
        if (action == nullptr)
            qFatal("no action %s", qPrintable(name));
        return action;
    }
    QMenu* Menu(const QString& name) const { return Window.findChild<QMenu*>(name); }
};

} // namespace

class TestSeriesMenus : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }
    void MenusHoldTheItemsInOrder();
    void ShortcutsOnlyOnTheMenuBar();
    void ItemsFollowTheStore();
    void KeysReachOnlyExistingSlots();
    void SweepLockHoldsThroughStoreChanges();
    void OnlyMenuBarShowHideAsksForRescale();
    void ReportBoxOnlyWhereTheKindHasOne();
    void AutomaticReportPreference();
    void ChooserItemTexts();
    void ChooserGrowsAndAdds();
    void ChooserOkPreparesTheSlot();
    void ChooserSitsBesideStartButton();
};

void TestSeriesMenus::MenusHoldTheItemsInOrder()
{
    TFixture f;
    QStringList edit;
    for (QAction* item : f.Edit->actions())
        edit << (item->isSeparator() ? QString::fromLatin1(item->isVisible() ? "-" : "(-)") : item->text());
    QCOMPARE(edit, QStringList({"Aktywna seria", "Pokaż raport", "(-)", "Pokaż/ukryj serię", "-",
                                "Dodaj serię", "Usuń serię", "Usuń wszystkie", "Wyczyść serie"}));
    QVERIFY(!f.Action("mmiWyczyscSeries")->isVisible());
    QCOMPARE(f.Popup.actions().size(), f.Edit->actions().size());
    QCOMPARE(f.Popup.actions().at(0)->menu(), f.Menu("pmiAktywnaSeria"));

    QStringList report;
    for (QAction* item : f.Menu("mmiPokazRaport")->actions())
        report << item->text();
    QCOMPARE(report.mid(8), QStringList({"Kanał lewy", "Kanał prawy", "Pokazuj raport po pomiarze"}));
    QCOMPARE(f.Action("mmiPokazSerie4")->text(), QStringLiteral("Ukryj serię &4"));
    QCOMPARE(f.Action("pmiUsunSerie8")->text(), QStringLiteral("Seria &8"));
    // Before the slots are registered the sub-menus are disabled and their items hidden.
    for (const char* name : {"mmiAktywnaSeria", "pmiPokazRaport", "mmiPokazSerie", "pmiUsunSerie"})
        QVERIFY2(!f.Menu(name)->isEnabled(), name);
    QVERIFY(!f.Action("mmiAktywnaSeria1")->isVisible());
}

void TestSeriesMenus::ShortcutsOnlyOnTheMenuBar()
{
    TFixture f;
    for (int n = 1; n <= 8; ++n) {
        const auto key = Qt::Key(Qt::Key_F4 + n);
        QCOMPARE(f.Action(QStringLiteral("mmiAktywnaSeria%1").arg(n))->shortcut(), QKeySequence(key));
        QCOMPARE(f.Action(QStringLiteral("mmiPokazSerie%1").arg(n))->shortcut(),
                 QKeySequence(Qt::SHIFT | key));
        QCOMPARE(f.Action(QStringLiteral("mmiUsunSerie%1").arg(n))->shortcut(), QKeySequence(Qt::CTRL | key));
        QVERIFY(f.Action(QStringLiteral("mmiPokazRaport%1").arg(n))->shortcut().isEmpty());
        for (const char* menu : {"pmiAktywnaSeria", "pmiPokazSerie", "pmiUsunSerie"})
            QVERIFY(f.Action(QStringLiteral("%1%2").arg(menu).arg(n))->shortcut().isEmpty());
    }
    QCOMPARE(f.Action("actDodajSerie")->shortcut(), QKeySequence(Qt::Key_Insert));
    QCOMPARE(f.Action("actUsunWszystkie")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
}

void TestSeriesMenus::ItemsFollowTheStore()
{
    TFixture f;
    f.Store.Register();
    for (const char* prefix : {"mmi", "pmi"}) {
        const QString p = QString::fromLatin1(prefix);
        QVERIFY(f.Menu(p + "AktywnaSeria")->isEnabled());
        QVERIFY(f.Action(p + "AktywnaSeria1")->isVisible());
        QVERIFY(f.Action(p + "AktywnaSeria1")->isChecked());
        QVERIFY(!f.Action(p + "UsunSerie2")->isVisible());
    }
    f.Action("actDodajSerie")->trigger();
    QVERIFY(f.Action("pmiAktywnaSeria2")->isChecked());
    QVERIFY(!f.Action("pmiAktywnaSeria1")->isChecked());
    QCOMPARE(f.Store.ActiveSeries(), 1);

    f.Action("pmiAktywnaSeria1")->trigger();
    QCOMPARE(f.Store.ActiveSeries(), 0);
    QVERIFY(f.Action("mmiAktywnaSeria1")->isChecked());

    f.Action("pmiUsunSerie2")->trigger();
    QVERIFY(!f.Action("mmiAktywnaSeria2")->isVisible());
    f.Action("actUsunWszystkie")->trigger();
    QVERIFY(!f.Menu("mmiAktywnaSeria")->isEnabled());
    QVERIFY(!f.Menu("pmiPokazRaport")->isEnabled());
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Brak serii"));
}

void TestSeriesMenus::KeysReachOnlyExistingSlots()
{
    TFixture f;
    f.Store.Register();
    f.Window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.Window));

    QTest::keyClick(&f.Window, Qt::Key_Insert);
    QCOMPARE(f.Store.ActiveSeries(), 1);
    QTest::keyClick(&f.Window, Qt::Key_F5);
    QCOMPARE(f.Store.ActiveSeries(), 0);
    QTest::keyClick(&f.Window, Qt::Key_F8); // slot 4 does not exist
    QCOMPARE(f.Store.ActiveSeries(), 0);

    QSignalSpy rescale(&f.Menus, &TSeriesMenus::RescaleRequested);
    QTest::keyClick(&f.Window, Qt::Key_F6, Qt::ShiftModifier);
    QVERIFY(!f.Chart.Visible(1));
    QCOMPARE(f.Action("mmiPokazSerie2")->text(), QStringLiteral("Pokaż serię 2"));
    QCOMPARE(rescale.count(), 1);

    QTest::keyClick(&f.Window, Qt::Key_F6, Qt::ControlModifier);
    QVERIFY(!f.Store.SlotInUse(1));
    QTest::keyClick(&f.Window, Qt::Key_F6, Qt::ControlModifier); // its item is hidden now
    QVERIFY(f.Store.SlotInUse(0));
    QTest::keyClick(&f.Window, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.Store.ActiveSeries(), -1);
}

void TestSeriesMenus::SweepLockHoldsThroughStoreChanges()
{
    TFixture f;
    f.Store.Register();
    f.Store.Add();
    f.Window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.Window));
    f.Menus.LockForSweep(true);
    QTest::keyClick(&f.Window, Qt::Key_F5);
    QTest::keyClick(&f.Window, Qt::Key_F6, Qt::ControlModifier);
    QTest::keyClick(&f.Window, Qt::Key_Insert);
    QTest::keyClick(&f.Window, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.Store.ActiveSeries(), 1);
    QVERIFY(f.Store.SlotInUse(1));
    QVERIFY(!f.Store.SlotInUse(2));

    // Showing and hiding stays available, and its change of the menus keeps the lock.
    QTest::keyClick(&f.Window, Qt::Key_F5, Qt::ShiftModifier);
    QVERIFY(!f.Chart.Visible(0));
    for (const char* name : {"mmiAktywnaSeria", "pmiAktywnaSeria", "mmiUsunSerie", "pmiUsunSerie"})
        QVERIFY2(!f.Menu(name)->isEnabled(), name);
    QVERIFY(f.Menu("pmiPokazSerie")->isEnabled());
    QVERIFY(!f.Action("actDodajSerie")->isEnabled());

    f.Menus.LockForSweep(false);
    QTest::keyClick(&f.Window, Qt::Key_F5);
    QCOMPARE(f.Store.ActiveSeries(), 0);
    QVERIFY(f.Menu("mmiUsunSerie")->isEnabled());
}

void TestSeriesMenus::OnlyMenuBarShowHideAsksForRescale()
{
    TFixture f;
    f.Store.Register();
    QSignalSpy rescale(&f.Menus, &TSeriesMenus::RescaleRequested);
    f.Action("pmiPokazSerie1")->trigger();
    QVERIFY(!f.Chart.Visible(0));
    QVERIFY(f.Action("mmiPokazSerie1")->isChecked());
    QCOMPARE(f.Action("mmiPokazSerie1")->text(), QStringLiteral("Pokaż serię 1"));
    QCOMPARE(rescale.count(), 0);
    f.Action("mmiPokazSerie1")->trigger();
    QVERIFY(f.Chart.Visible(0));
    QVERIFY(!f.Action("pmiPokazSerie1")->isChecked());
    QCOMPARE(rescale.count(), 1);
}

void TestSeriesMenus::ReportBoxOnlyWhereTheKindHasOne()
{
    NumberFormat::SetDecimalSeparator(QChar(','));
    TFixture f;
    f.Store.Register();
    f.Chart.Append(LeftChannelSeries, 0, -20.25);
    f.Chart.Append(LeftChannelSeries, 1, -60);
    f.Store.Slot(LeftChannelSeries).SlotPeakLevel = -12.5;
    QString text, title;
    int buttons = 0;
    QMessageBox::Icon icon = QMessageBox::Warning;
    TModalCloser closer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->accept();
    });

    f.State.MeasurementKind = TMeasurementKind::SoundPressure;
    f.Action("mmiPokazRaport1")->trigger();
    QCOMPARE(closer.Handled, 0);
    f.Action("pmiRaportKanalLewy")->trigger();
    QCOMPARE(closer.Handled, 1);
    QCOMPARE(text, QStringLiteral("Kanał lewy:\nWartość szczytowa:           -12,50dB\n"
                                  "Maksimum charakterystyki: -20,25dB\nMinimum charakterystyki:    -60,00dB\n"
                                  "Różnica poziomów:              39,75dB"));
    QCOMPARE(title, QApplication::applicationDisplayName());
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, 1);

    f.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
    f.Action("mmiPokazRaport1")->trigger();
    QCOMPARE(closer.Handled, 2);
    QCOMPARE(text.count(QChar('\n')), 3);
    QVERIFY(text.startsWith(QStringLiteral("Wartość szczytowa:")));
}

void TestSeriesMenus::AutomaticReportPreference()
{
    TFixture f;
    f.Store.Register();
    f.Action("mmiPokazujRaport")->trigger();
    QVERIFY(f.State.Preferences.ShowRaport);
    QVERIFY(f.Action("pmiPokazujRaport")->isChecked());
    f.Action("pmiPokazujRaport")->trigger();
    QVERIFY(!f.State.Preferences.ShowRaport);
    QVERIFY(!f.Action("mmiPokazujRaport")->isChecked());

    // The window's creation applies a loaded value without inverting it.
    f.State.Preferences.ShowRaport = true;
    f.Menus.mmiPokazujRaportClick(false);
    QVERIFY(f.State.Preferences.ShowRaport);
    QVERIFY(f.Action("mmiPokazujRaport")->isChecked());
    QVERIFY(f.Action("pmiPokazujRaport")->isChecked());
}

void TestSeriesMenus::ChooserItemTexts()
{
    TFixture f;
    f.Store.Register();
    f.Store.Add();
    f.Store.Slot(1).SlotMeasured = true;
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 0), QStringLiteral("Seria 1: pusta"));
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 1), QStringLiteral("Seria 2: wykorzystana"));
    f.Store.ShowHide(0);
    f.Store.ShowHide(1);
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 0), QStringLiteral("Seria 1: pusta, ukryta"));
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 1), QStringLiteral("Seria 2: wykorzystana, ukryta"));

    f.State.ChannelMode = TChannelMode::Both;
    f.Store.SyncPairing();
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 0), QStringLiteral("Seria 1 i 5: puste, ukryte"));
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 1), QStringLiteral("Seria 2 i 6: wykorzystane, ukryte"));
    f.Store.ShowAll();
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 0), QStringLiteral("Seria 1 i 5: puste"));
    QCOMPARE(TFormaWybierzSerie::ItemText(f.Store, 1), QStringLiteral("Seria 2 i 6: wykorzystane"));
}

void TestSeriesMenus::ChooserGrowsAndAdds()
{
    TFixture f;
    f.Store.SetSlotInUse(2, true);
    f.Store.SetSlotInUse(5, true);
    f.Store.Register();
    TFormaWybierzSerie form(f.Store, &f.Window);
    QCOMPARE(form.ItemCount(), 3);
    QCOMPARE(form.height(), TFormaWybierzSerie::BaseHeight + 3 * TFormaWybierzSerie::ItemHeight);
    QVERIFY(form.findChild<QRadioButton*>("rbSeria1")->isChecked());

    QTest::mouseClick(form.findChild<QPushButton*>("btnDodaj"), Qt::LeftButton);
    QCOMPARE(form.ItemCount(), 4);
    QCOMPARE(form.height(), TFormaWybierzSerie::BaseHeight + 4 * TFormaWybierzSerie::ItemHeight);
    // The new slot is the active one and is offered preselected.
    QVERIFY(form.findChild<QRadioButton*>("rbSeria2")->isChecked());

    // With both channels one item stands for a pair.
    f.State.ChannelMode = TChannelMode::Both;
    f.Store.SyncPairing();
    TFormaWybierzSerie pairs(f.Store, &f.Window);
    QCOMPARE(pairs.ItemCount(), 3);
    QCOMPARE(pairs.findChild<QRadioButton*>("rbSeria2")->text(), QStringLiteral("Seria 2 i 6: puste"));
}

void TestSeriesMenus::ChooserOkPreparesTheSlot()
{
    TFixture f;
    f.Store.SetSlotInUse(2, true);
    f.Store.Register();
    f.Chart.Append(2, 100, -10);
    f.Store.ShowHide(2);
    TFormaWybierzSerie form(f.Store, &f.Window);
    form.findChild<QRadioButton*>("rbSeria3")->setChecked(true);
    form.show();
    QTest::keyClick(&form, Qt::Key_Return);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(f.Store.ActiveSeries(), 2);
    QVERIFY(f.Chart.Series(2).Empty());
    QVERIFY(f.Chart.Visible(2));

    TFormaWybierzSerie cancelled(f.Store, &f.Window);
    cancelled.findChild<QRadioButton*>("rbSeria1")->setChecked(true);
    cancelled.show();
    QTest::keyClick(&cancelled, Qt::Key_Escape);
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
    QCOMPARE(f.Store.ActiveSeries(), 2);
}

void TestSeriesMenus::ChooserSitsBesideStartButton()
{
    TFixture f;
    f.Store.Register();
    auto* start = new QPushButton(QStringLiteral("&Start"), &f.Window);
    start->setGeometry(500, 300, 100, 30);
    f.Window.move(50, 40);
    f.Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.Window));
    QRect placed;
    TModalCloser closer([&](QWidget* modal) {
        placed = modal->frameGeometry();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    QVERIFY(!TFormaWybierzSerie::Choose(f.Store, &f.Window, start));
    QCOMPARE(closer.Handled, 1);
    QCOMPARE(placed.right(), f.Window.frameGeometry().right());
    QCOMPARE(placed.bottom(), start->mapToGlobal(QPoint(0, start->height() - 1)).y());
}

QTEST_MAIN(TestSeriesMenus)
#include "test_series_menus.moc"
