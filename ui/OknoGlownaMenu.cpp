// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's actions, menus and tool bar.

#include "ui/OknoGlowna.h"

#include "ui/ChartView.h"
#include "ui/SeriesMenus.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <utility>

namespace {

// A theme icon where the desktop has one, the bundled picture otherwise.
QIcon ThemeIcon(const char* themeName, const char* bundled)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), QIcon(QStringLiteral(":/ikony/") + bundled));
}

} // namespace

QAction* TFormaGlowna::NewAction(const char* name, const QString& caption, const QKeySequence& shortcut)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    return action;
}

void TFormaGlowna::CreateActions()
{
    actPlikNowy = NewAction("actPlikNowy", "&Nowe pomiary", QKeySequence(Qt::CTRL | Qt::Key_N));
    actPlikNowy->setToolTip("Nowe pomiary");
    actPlikNowy->setIcon(ThemeIcon("document-new", "nowy.svg"));
    actPlikOtworz = NewAction("actPlikOtworz", "&Otwórz", QKeySequence(Qt::CTRL | Qt::Key_O));
    actPlikOtworz->setIcon(ThemeIcon("document-open", "otworz.svg"));
    actPlikZapisz = NewAction("actPlikZapisz", "&Zapisz", QKeySequence(Qt::CTRL | Qt::Key_S));
    actPlikZapisz->setIcon(ThemeIcon("document-save", "zapisz.svg"));
    actPlikZapiszJako = NewAction("actPlikZapiszJako", "Z&apisz jako...");
    actPlikZapiszJako->setVisible(false);
    actPlikWyslij = NewAction("actPlikWyslij", "&Wyślij");
    actPlikWyslij->setIcon(ThemeIcon("mail-send", "wyslij.svg"));
    actPlikWyslij->setEnabled(false);
    actPlikWyslij->setVisible(false);
    actPlikZakoncz = NewAction("actPlikZakoncz", "Za&kończ");
    actPlikZakoncz->setToolTip("Koniec");
    actPlikZakoncz->setIcon(ThemeIcon("application-exit", "zakoncz.svg"));
    actDrukuj = NewAction("actDrukuj", "&Drukuj", QKeySequence(Qt::CTRL | Qt::Key_P));
    actDrukuj->setIcon(ThemeIcon("document-print", "drukuj.svg"));

    actEdycjaWytnij = NewAction("actEdycjaWytnij", "Wyt&nij", QKeySequence(Qt::CTRL | Qt::Key_X));
    actEdycjaWytnij->setIcon(ThemeIcon("edit-cut", "wytnij.svg"));
    actEdycjaKopiuj = NewAction("actEdycjaKopiuj", "&Kopiuj", QKeySequence(Qt::CTRL | Qt::Key_C));
    actEdycjaKopiuj->setIcon(ThemeIcon("edit-copy", "kopiuj.svg"));
    actEdycjaWklej = NewAction("actEdycjaWklej", "Wkl&ej", QKeySequence(Qt::CTRL | Qt::Key_V));
    actEdycjaWklej->setIcon(ThemeIcon("edit-paste", "wklej.svg"));
    actPomocPodrecznik = NewAction("actPomocPodrecznik", "&Podręcznik", QKeySequence(Qt::Key_F1));
    actPomocPodrecznik->setIcon(QIcon::fromTheme("help-contents"));
    actPomocO = NewAction("actPomocO", "&O...");

    // F4 is the shortcut of the averaging step and of whichever kind action is not current. Two
    // window-wide shortcuts on one key would both stay silent, so a key press in the window reaches
    // the averaging step (actCzasUsreniania). The kind actions keep F4 as a widget-context shortcut,
    // which the "Pomiar" menu shows; a press of F4 while that menu is open selects the kind.
    actPomiarCisnienia = NewAction("actPomiarCisnienia", "Pomiar ciśnienia akustycznego");
    actPomiarCharakterystyk =
        NewAction("actPomiarCharakterystyk", "Pomiar charakterystyki częstotliwościowej");
    for (QAction* kind : {actPomiarCisnienia, actPomiarCharakterystyk}) {
        kind->setCheckable(true);
        kind->setShortcutContext(Qt::WidgetShortcut);
    }
    actPomiarCharakterystyk->setChecked(true);
    KindGroup = new QActionGroup(this);
    KindGroup->addAction(actPomiarCisnienia);
    KindGroup->addAction(actPomiarCharakterystyk);

    actKonfiguracja = NewAction("actKonfiguracja", "Konfiguracja");
    actOpcjeWykresu = NewAction("actOpcjeWykresu", "&Opcje wykresu");
    actStart = NewAction("actStart", "&Start", QKeySequence(Qt::Key_F2));
    actStop = NewAction("actStop", "&Stop");
    actTrybPracy = NewAction("actTrybPracy", QString(), QKeySequence(Qt::Key_F3));
    actTrybPracyShift = NewAction("actTrybPracyShift", QString(), QKeySequence(Qt::SHIFT | Qt::Key_F3));
    actCzasUsreniania = NewAction("actCzasUsreniania", QString(), QKeySequence(Qt::Key_F4));
    actKalibracja = NewAction("actKalibracja", QString());
    actKalibracjaStop = NewAction("actKalibracjaStop", QString());
    actAktywacja = NewAction("actAktywacja", QString());
    actWybierzSerie = NewAction("actWybierzSerie", QString());
    actWybierzDoZapisu = NewAction("actWybierzDoZapisu", QString());
    // Keys without a menu item: the actions belong to the window, which makes their shortcuts live.
    // They stay "visible" in Qt's sense, because a hidden QAction ignores its shortcut.
    addActions({actTrybPracy, actTrybPracyShift, actCzasUsreniania});
}

void TFormaGlowna::CreateMenus()
{
    QMenuBar* mmMenuGlowne = menuBar();
    mmMenuGlowne->setObjectName("mmMenuGlowne");
    auto newMenu = [&](const char* name, const QString& caption) {
        QMenu* menu = mmMenuGlowne->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    auto newItem = [&](QMenu* menu, const char* name, const QString& caption,
                       const QKeySequence& shortcut = {}) {
        QAction* item = NewAction(name, caption, shortcut);
        menu->addAction(item);
        return item;
    };

    mmiPlik = newMenu("mmiPlik", "&Plik");
    mmiPlik->addActions({actPlikNowy, actPlikOtworz, actPlikZapisz, actPlikZapiszJako});
    mmiPlik->addSeparator();
    mmiPlik->addAction(actDrukuj);
    SeparatorPrzedWyslij = mmiPlik->addSeparator();
    SeparatorPrzedWyslij->setVisible(false);
    mmiPlik->addAction(actPlikWyslij);
    mmiPlik->addSeparator();
    pmiOtworz = new QMenu(this);
    pmiOtworz->setObjectName("pmiOtworz");
    for (int entry = 0; entry < 8; ++entry) {
        const QByteArray name = "mmi" + QByteArray::number(entry);
        mmiOstatnie[entry] = newItem(mmiPlik, name.constData(), QString());
        mmiOstatnie[entry]->setVisible(false);
        pmiOstatnie[entry] = new QAction(pmiOtworz);
        pmiOstatnie[entry]->setObjectName(QStringLiteral("pmiOtworz%1").arg(entry));
        pmiOstatnie[entry]->setVisible(false);
        pmiOtworz->addAction(pmiOstatnie[entry]);
        for (QAction* item : {mmiOstatnie[entry], pmiOstatnie[entry]})
            connect(item, &QAction::triggered, this, [this, entry] { mmiOstatniPlikClick(entry); });
    }
    SeparatorPrzedZakoncz = mmiPlik->addSeparator();
    SeparatorPrzedZakoncz->setVisible(false);
    mmiPlik->addAction(actPlikZakoncz);

    mmiEdycja = newMenu("mmiEdycja", "&Edycja");
    mmiEdycja->addActions({actEdycjaWytnij, actEdycjaKopiuj, actEdycjaWklej});
    mmiKopiujWykres = newItem(mmiEdycja, "mmiKopiujWykres", "Kopiuj wykres");
    mmiEdycja->addSeparator();
    SeriesMenus = std::make_unique<TSeriesMenus>(Series, Measurement, this);
    SeriesMenus->AddToEditMenu(mmiEdycja);

    mmiWidok = newMenu("mmiWidok", "Widok");
    mmiPowiekszenie =
        newItem(mmiWidok, "mmiPowiekszenie", "Powiększenie", QKeySequence(Qt::CTRL | Qt::Key_I));
    mmiPowiekszenie->setIcon(QIcon::fromTheme("zoom-in"));
    mmiPomniejszenie =
        newItem(mmiWidok, "mmiPomniejszenie", "Pomniejszenie", QKeySequence(Qt::CTRL | Qt::Key_U));
    mmiPomniejszenie->setIcon(QIcon::fromTheme("zoom-out"));
    mmiWidok->addSeparator();
    mmiAktualnaWielkosc =
        newItem(mmiWidok, "mmiAktualnaWielkosc", "Aktualna wielkość", QKeySequence(Qt::CTRL | Qt::Key_Y));
    mmiAktualnaWielkosc->setIcon(QIcon::fromTheme("zoom-original"));
    mmiWidok->addSeparator();
    mmiStatystyki = newItem(mmiWidok, "mmiStatystyki", "Statystyki pomiaru");
    mmiAnalizatorWidma = newItem(mmiWidok, "mmiAnalizatorWidma", "Analizator widma");
    mmiWidok->addSeparator();
    const std::array<std::pair<const char*, const char*>, 6> details{{
        {"mmiFaza", "Faza"},
        {"mmiFazaRozwinieta", "Faza rozwinięta"},
        {"mmiH2", "Harmoniczna H2"},
        {"mmiH3", "Harmoniczna H3"},
        {"mmiThd", "THD"},
        {"mmiZnieksztalceniaWProcentach", "Zniekształcenia w %"},
    }};
    for (std::size_t item = 0; item < details.size(); ++item) {
        mmiSzczegoly[item] = newItem(mmiWidok, details[item].first, QString::fromUtf8(details[item].second));
        mmiSzczegoly[item]->setCheckable(true);
    }

    mmiPomiar = newMenu("mmiPomiar", "Pomiar");
    mmiPomiar->installEventFilter(this);
    mmiPomiar->addActions({actPomiarCisnienia, actPomiarCharakterystyk});
    mmiPomiar->addSeparator();
    mmiPomiar->addAction(actStart); // mmiPomiarStart: the item shows actStart or actStop
    mmiZerujGenerator =
        newItem(mmiPomiar, "mmiZerujGenerator", "Zeruj generator", QKeySequence(Qt::CTRL | Qt::Key_F2));
    mmiPomiar->addSeparator();
    mmiOdpowiedzImpulsowa = newItem(mmiPomiar, "mmiOdpowiedzImpulsowa", "Odpowiedź impulsowa");
    mmiFunkcjaPrzenoszenia = newItem(mmiPomiar, "mmiFunkcjaPrzenoszenia", "Funkcja przenoszenia");

    mmiNarzedzia = newMenu("mmiNarzedzia", "&Narzędzia");
    mmiNarzedziaKalibracja = newItem(mmiNarzedzia, "mmiNarzedziaKalibracja", "Kalibracja");
    mmiNarzedziaKalibracja->setIcon(ThemeIcon("audio-input-microphone", "kalibracja.svg"));
    mmiMikser = newItem(mmiNarzedzia, "mmiMikser", "Mikser");
    mmiMikser->setIcon(ThemeIcon("multimedia-volume-control", "mikser.svg"));
    mmiTestZgodnosci = newItem(mmiNarzedzia, "mmiTestZgodnosci", "Test zgodności miernika");
    mmiNarzedzia->addSeparator();
    mmiNarzedzia->addActions({actKonfiguracja, actOpcjeWykresu});
    mmiNarzedzia->addSeparator();
    mmiKompensacja = newItem(mmiNarzedzia, "mmiKompensacja", "Kompensacja");
    mmiKompensacja->setCheckable(true);
    mmiKosz = newItem(mmiNarzedzia, "mmiKosz", "Zwolnienie pamięci");
    mmiKosz->setEnabled(false);

    mmiPomoc = newMenu("mmiPomoc", "Pomo&c");
    mmiPomoc->addActions({actPomocPodrecznik, actPomocO});

    // The chart's pop-up menu repeats the Edit menu from "Kopiuj wykres" on.
    pmiWykres = new QMenu(this);
    pmiWykres->setObjectName("pmiWykres");
    pmiKopiujWykres = newItem(pmiWykres, "pmiKopiujWykres", "Kopiuj wykres");
    pmiWykres->addSeparator();
    SeriesMenus->AddToPopupMenu(pmiWykres);
}

TDetailView TFormaGlowna::ChosenDetailView() const
{
    const auto on = [this](std::size_t item) { return mmiSzczegoly[item]->isChecked(); };
    return {on(0), on(1), on(2), on(3), on(4), on(5)};
}

void TFormaGlowna::ShowDetailView(const TDetailView& view)
{
    const std::array<bool, 6> checked{view.Phase, view.UnwrappedPhase, view.H2, view.H3,
                                      view.Thd,   view.Percent};
    for (std::size_t item = 0; item < mmiSzczegoly.size(); ++item)
        mmiSzczegoly[item]->setChecked(checked[item]);
    // Unwrapping and the unit mean something only while what they apply to is shown.
    mmiSzczegoly[1]->setEnabled(view.Phase);
    mmiSzczegoly[5]->setEnabled(view.H2 || view.H3 || view.Thd);
    chtWykres->SetDetailView(view);
}

void TFormaGlowna::mmiSzczegolyClick()
{
    ShowDetailView(ChosenDetailView());
}

void TFormaGlowna::CreateToolBar()
{
    tlbPasekNarzedzi = new QToolBar(this);
    tlbPasekNarzedzi->setObjectName("tlbPasekNarzedzi");
    tlbPasekNarzedzi->setMovable(true);
    tlbPasekNarzedzi->setFloatable(true);
    // Only the top area stands for the cool bar: a floating tool bar docks back there and nowhere else.
    tlbPasekNarzedzi->setAllowedAreas(Qt::TopToolBarArea);
    tlbPasekNarzedzi->setIconSize(QSize(16, 16));
    tlbPasekNarzedzi->setFixedHeight(26);
    addToolBar(Qt::TopToolBarArea, tlbPasekNarzedzi);

    auto bound = [this](const char* name, QAction* action) {
        auto* button = new QToolButton(tlbPasekNarzedzi);
        button->setObjectName(QString::fromLatin1(name));
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        // A button shows and hides with its action, as its menu item does.
        QAction* item = tlbPasekNarzedzi->addWidget(button);
        item->setVisible(action->isVisible());
        connect(action, &QAction::visibleChanged, item,
                [item, action] { item->setVisible(action->isVisible()); });
        return item;
    };
    auto own = [this](const char* name, const QString& hint, const QIcon& icon,
                      void (TFormaGlowna::*handler)()) {
        auto* button = new QToolButton(tlbPasekNarzedzi);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(hint);
        button->setIcon(icon);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, handler);
        tlbPasekNarzedzi->addWidget(button);
        return button;
    };

    bound("tbnNowy", actPlikNowy);
    tbnOtworz =
        static_cast<QToolButton*>(tlbPasekNarzedzi->widgetForAction(bound("tbnOtworz", actPlikOtworz)));
    tbnOtworz->setMenu(pmiOtworz);
    tbnOtworz->setPopupMode(QToolButton::MenuButtonPopup);
    bound("tbnZapisz", actPlikZapisz);
    tlbPasekNarzedzi->addSeparator();
    tbnDrukujItem = bound("tbnDrukuj", actDrukuj);
    tbnDrukujItem->setVisible(false);
    tbnDrukujSeparator = tlbPasekNarzedzi->addSeparator();
    tbnDrukujSeparator->setVisible(false);
    bound("tbnWyslij", actPlikWyslij);
    tbnWyslijSeparator = tlbPasekNarzedzi->addSeparator();
    tbnWyslijSeparator->setVisible(false);
    bound("tbnWytnij", actEdycjaWytnij);
    bound("tbnPrzyciskKopiuj", actEdycjaKopiuj);
    bound("tbnWklej", actEdycjaWklej);
    tlbPasekNarzedzi->addSeparator();
    own("tbnKonfiguracja", "Konfiguracja programu", ThemeIcon("preferences-system", "konfiguracja.svg"),
        &TFormaGlowna::actKonfiguracjaExecute);
    own("tbnOpcjeWykresu", "Opcje wykresu", ThemeIcon("office-chart-line", "opcje-wykresu.svg"),
        &TFormaGlowna::actOpcjeWykresuExecute);
    tlbPasekNarzedzi->addSeparator();
    own("tbnMikser", "Ustawienia miksera", ThemeIcon("multimedia-volume-control", "mikser.svg"),
        &TFormaGlowna::mmiMikserClick);
    own("tbnKalibracja", "Kalibracja", ThemeIcon("audio-input-microphone", "kalibracja.svg"),
        &TFormaGlowna::mmiNarzedziaKalibracjaClick);
    tlbPasekNarzedzi->addSeparator();
    tbnKosz = own("tbnKosz", "Zwolnienie pamięci", ThemeIcon("user-trash", "kosz.svg"),
                  &TFormaGlowna::tbnKoszClick);
    tbnKosz->setEnabled(false);
}

void TFormaGlowna::ConnectHandlers()
{
    const auto on = [this](QAction* action, void (TFormaGlowna::*handler)()) {
        connect(action, &QAction::triggered, this, handler);
    };
    on(actPlikNowy, &TFormaGlowna::actPlikNowyExecute);
    on(actPlikOtworz, &TFormaGlowna::actPlikOtworzExecute);
    on(actPlikZapisz, &TFormaGlowna::actPlikZapiszExecute);
    on(actPlikZapiszJako, &TFormaGlowna::actPlikZapiszJakoExecute);
    on(actPlikWyslij, &TFormaGlowna::actPlikWyslijExecute);
    connect(actPlikZakoncz, &QAction::triggered, this, &TFormaGlowna::close); // as the close box does
    on(actDrukuj, &TFormaGlowna::actDrukujExecute);
    on(actEdycjaWytnij, &TFormaGlowna::actEdycjaWytnijExecute);
    on(actEdycjaKopiuj, &TFormaGlowna::actEdycjaKopiujExecute);
    on(actEdycjaWklej, &TFormaGlowna::actEdycjaWklejExecute);
    on(actPomocPodrecznik, &TFormaGlowna::actPomocPodrecznikExecute);
    on(actPomocO, &TFormaGlowna::actPomocOExecute);
    on(actPomiarCisnienia, &TFormaGlowna::actPomiarCisnieniaExecute);
    on(actPomiarCharakterystyk, &TFormaGlowna::actPomiarCharakterystykExecute);
    on(actKonfiguracja, &TFormaGlowna::actKonfiguracjaExecute);
    on(actOpcjeWykresu, &TFormaGlowna::actOpcjeWykresuExecute);
    on(actStart, &TFormaGlowna::actStartExecute);
    on(actStop, &TFormaGlowna::actStopExecute);
    on(actTrybPracy, &TFormaGlowna::actTrybPracyExecute);
    on(actTrybPracyShift, &TFormaGlowna::actTrybPracyShiftExecute);
    on(actCzasUsreniania, &TFormaGlowna::actCzasUsrenianiaExecute);
    on(actKalibracja, &TFormaGlowna::actKalibracjaExecute);
    on(actKalibracjaStop, &TFormaGlowna::actKalibracjaStopExecute);
    on(mmiKopiujWykres, &TFormaGlowna::mmiKopiujWykresClick);
    on(pmiKopiujWykres, &TFormaGlowna::mmiKopiujWykresClick);
    on(mmiPowiekszenie, &TFormaGlowna::mmiPowiekszenieClick);
    on(mmiPomniejszenie, &TFormaGlowna::mmiPomniejszenieClick);
    on(mmiAktualnaWielkosc, &TFormaGlowna::mmiAktualnaWielkoscClick);
    for (QAction* item : mmiSzczegoly)
        on(item, &TFormaGlowna::mmiSzczegolyClick);
    on(mmiZerujGenerator, &TFormaGlowna::mmiZerujGeneratorClick);
    on(mmiNarzedziaKalibracja, &TFormaGlowna::mmiNarzedziaKalibracjaClick);
    on(mmiMikser, &TFormaGlowna::mmiMikserClick);
    on(mmiKompensacja, &TFormaGlowna::mmiKompensacjaClick);
    on(mmiKosz, &TFormaGlowna::tbnKoszClick);
    on(mmiStatystyki, &TFormaGlowna::mmiStatystykiClick);
    on(mmiAnalizatorWidma, &TFormaGlowna::mmiAnalizatorWidmaClick);
    on(mmiTestZgodnosci, &TFormaGlowna::mmiTestZgodnosciClick);
    on(mmiOdpowiedzImpulsowa, &TFormaGlowna::mmiOdpowiedzImpulsowaClick);
    on(mmiFunkcjaPrzenoszenia, &TFormaGlowna::mmiFunkcjaPrzenoszeniaClick);

    // Just before the drop-down opens, its items follow the recent-file entries of the File menu.
    connect(pmiOtworz, &QMenu::aboutToShow, this, [this] {
        for (std::size_t entry = 0; entry < mmiOstatnie.size(); ++entry) {
            pmiOstatnie[entry]->setVisible(mmiOstatnie[entry]->isVisible());
            pmiOstatnie[entry]->setText(mmiOstatnie[entry]->text());
        }
    });
}
