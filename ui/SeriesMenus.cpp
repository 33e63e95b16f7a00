// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SeriesMenus.h"

#include "results/Report.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

namespace {

struct TMenuDescription
{
    const char* Name; // after the "mmi"/"pmi" prefix
    const char* Caption;
    bool Shortcuts;                  // F5..F12 on the menu bar
    Qt::KeyboardModifiers Modifiers; // held with them
};

// In TSeriesMenu order.
constexpr std::array<TMenuDescription, SeriesMenuCount> Descriptions{{
    {"AktywnaSeria", "Aktywna seria", true, Qt::NoModifier},
    {"PokazRaport", "Pokaż raport", false, Qt::NoModifier},
    {"PokazSerie", "Pokaż/ukryj serię", true, Qt::ShiftModifier},
    {"UsunSerie", "Usuń serię", true, Qt::ControlModifier},
}};

QAction* NewItem(QMenu* menu, const QString& name, const QString& caption)
{
    auto* item = new QAction(caption, menu);
    item->setObjectName(name);
    menu->addAction(item);
    return item;
}

} // namespace

TSeriesMenus::TSeriesMenus(TSeriesStore& store, TMeasurementState& state, QWidget* window)
    : QObject(window), Store(store), State(state), Window(window)
{
    actDodajSerie = new QAction(QStringLiteral("Dodaj serię"), window);
    actDodajSerie->setObjectName("actDodajSerie");
    actDodajSerie->setShortcut(QKeySequence(Qt::Key_Insert));
    connect(actDodajSerie, &QAction::triggered, &Store, &TSeriesStore::Add);
    actUsunWszystkie = new QAction(QStringLiteral("Usuń wszystkie"), window);
    actUsunWszystkie->setObjectName("actUsunWszystkie");
    actUsunWszystkie->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    connect(actUsunWszystkie, &QAction::triggered, &Store, &TSeriesStore::DeleteAll);

    Build(Main, false);
    Build(Popup, true);
    connect(&Store, &TSeriesStore::MenusChanged, this, &TSeriesMenus::Mirror);
    Mirror();
}

void TSeriesMenus::Build(TMenuSet& set, bool popup)
{
    const QString prefix = popup ? QStringLiteral("pmi") : QStringLiteral("mmi");
    for (int m = 0; m < SeriesMenuCount; ++m) {
        const TMenuDescription& description = Descriptions[static_cast<std::size_t>(m)];
        auto* menu = new QMenu(QString::fromUtf8(description.Caption), Window);
        menu->setObjectName(prefix + QLatin1String(description.Name));
        set.Menus[static_cast<std::size_t>(m)] = menu;
        for (int slot = 0; slot < ResultSeriesCount; ++slot) {
            QAction* item = NewItem(menu, menu->objectName() + QString::number(slot + 1), QString());
            if (description.Shortcuts && !popup)
                item->setShortcut(QKeySequence(description.Modifiers | Qt::Key(Qt::Key_F5 + slot)));
            set.Items[static_cast<std::size_t>(m)][static_cast<std::size_t>(slot)] = item;
        }
    }

    auto items = [&set](TSeriesMenu menu) -> auto&
    {
        return set.Items[static_cast<std::size_t>(menu)];
    };
    auto* activeGroup = new QActionGroup(this);
    for (int slot = 0; slot < ResultSeriesCount; ++slot) {
        const auto at = static_cast<std::size_t>(slot);
        items(TSeriesMenu::AktywnaSeria)[at]->setCheckable(true);
        activeGroup->addAction(items(TSeriesMenu::AktywnaSeria)[at]);
        items(TSeriesMenu::PokazSerie)[at]->setCheckable(true);
        connect(items(TSeriesMenu::AktywnaSeria)[at], &QAction::triggered, this,
                [this, slot] { Store.SetActive(slot); });
        connect(items(TSeriesMenu::PokazRaport)[at], &QAction::triggered, this,
                [this, slot] { ShowReport(slot); });
        // Only the menu bar's show/hide re-scales the chart; the pop-up menu's leaves the view as it is.
        connect(items(TSeriesMenu::PokazSerie)[at], &QAction::triggered, this, [this, slot, popup] {
            Store.ShowHide(slot);
            if (!popup)
                emit RescaleRequested();
        });
        connect(items(TSeriesMenu::UsunSerie)[at], &QAction::triggered, this,
                [this, slot] { Store.Delete(slot); });
    }

    QMenu* report = set.Menus[static_cast<std::size_t>(TSeriesMenu::PokazRaport)];
    QAction* left = NewItem(report, prefix + QStringLiteral("RaportKanalLewy"), QStringLiteral("Kanał lewy"));
    QAction* right =
        NewItem(report, prefix + QStringLiteral("RaportKanalPrawy"), QStringLiteral("Kanał prawy"));
    connect(left, &QAction::triggered, this, [this] { ShowReport(LeftChannelSeries); });
    connect(right, &QAction::triggered, this, [this] { ShowReport(RightChannelSeries); });
    set.PokazujRaport = NewItem(report, prefix + QStringLiteral("PokazujRaport"),
                                QStringLiteral("Pokazuj raport po pomiarze"));
    set.PokazujRaport->setCheckable(true);
    set.PokazujRaport->setChecked(State.Preferences.ShowRaport);
    connect(set.PokazujRaport, &QAction::triggered, this, [this] { mmiPokazujRaportClick(true); });

    set.WyczyscSeries = new QAction(QStringLiteral("Wyczyść serie"), Window);
    set.WyczyscSeries->setObjectName(prefix + QStringLiteral("WyczyscSeries"));
    set.WyczyscSeries->setVisible(false);
    connect(set.WyczyscSeries, &QAction::triggered, &Store, &TSeriesStore::ClearChannelSeries);
}

void TSeriesMenus::AddTo(const TMenuSet& set, QMenu* menu)
{
    auto sub = [&set](TSeriesMenu m) { return set.Menus[static_cast<std::size_t>(m)]->menuAction(); };
    menu->addAction(sub(TSeriesMenu::AktywnaSeria));
    menu->addAction(sub(TSeriesMenu::PokazRaport));
    menu->addSeparator()->setVisible(false);
    menu->addAction(sub(TSeriesMenu::PokazSerie));
    menu->addSeparator();
    menu->addAction(actDodajSerie);
    menu->addAction(sub(TSeriesMenu::UsunSerie));
    menu->addAction(actUsunWszystkie);
    menu->addAction(set.WyczyscSeries);
}

void TSeriesMenus::AddToEditMenu(QMenu* menu)
{
    AddTo(Main, menu);
}

void TSeriesMenus::AddToPopupMenu(QMenu* menu)
{
    AddTo(Popup, menu);
}

void TSeriesMenus::LockForSweep(bool locked)
{
    Locked = locked;
    Mirror();
}

void TSeriesMenus::Mirror()
{
    actDodajSerie->setEnabled(!Locked);
    actUsunWszystkie->setEnabled(!Locked);
    for (TMenuSet* set : {&Main, &Popup}) {
        for (int m = 0; m < SeriesMenuCount; ++m) {
            const auto menu = static_cast<TSeriesMenu>(m);
            const bool lockable = menu == TSeriesMenu::AktywnaSeria || menu == TSeriesMenu::UsunSerie;
            const bool enabled = Store.MenusEnabled() && !(Locked && lockable);
            set->Menus[static_cast<std::size_t>(m)]->setEnabled(enabled);
            for (int slot = 0; slot < ResultSeriesCount; ++slot) {
                const TSeriesMenuItem& state = Store.Item(menu, slot);
                QAction* item = set->Items[static_cast<std::size_t>(m)][static_cast<std::size_t>(slot)];
                item->setVisible(state.Visible);
                item->setEnabled(state.Enabled); // a disabled sub-menu silences its items' keys too
                item->setChecked(state.Checked);
                item->setText(state.Caption);
            }
        }
    }
}

void TSeriesMenus::ShowReport(int series)
{
    if (!Report::HasReport(State.MeasurementKind, series))
        return;
    const TChartSeriesData& points = Store.Points(series);
    QString text = Report::Text(State.MeasurementKind, series, Store.Slot(series).SlotPeakLevel,
                                points.MaxY(), points.MinY()) +
                   Report::StatisticsText(State, series);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    Window);
    box.setObjectName("RaportBox");
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TSeriesMenus::mmiPokazujRaportClick(bool fromMenu)
{
    if (fromMenu)
        State.Preferences.ShowRaport = !State.Preferences.ShowRaport;
    Main.PokazujRaport->setChecked(State.Preferences.ShowRaport);
    Popup.PokazujRaport->setChecked(State.Preferences.ShowRaport);
}
