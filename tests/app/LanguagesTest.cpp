// The language strings: the text table, lookups with English fallback, the
// language library's blocks, the Language menu, a change of language at run
// time and ApplyLanguage's texts and layout on the main window.
#include "app/LangTable.h"
#include "app/Languages.h"
#include "app/LangTestSupport.h"
#include "platform/Clock.h"
#include "platform/ResourceLibrary.h"

#include <QApplication>
#include <QAction>
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QTabBar>
#include <QLocale>
#include <QMenu>
#include <QTreeWidget>
#include <set>

namespace {

std::string S(const QString& text)
{
    return text.toStdString();
}

QAction* LanguageItem(TformMain& f, int i)
{
    return f.menuLanguage->actions().at(i);
}

std::vector<std::string> LanguageItemTexts(const QMenu* menu)
{
    std::vector<std::string> texts;
    for (const QAction* item : menu->actions())
        texts.push_back(S(item->text()));
    return texts;
}

std::vector<bool> Ticks(const QMenu* menu)
{
    std::vector<bool> ticks;
    for (const QAction* item : menu->actions())
        ticks.push_back(item->isChecked());
    return ticks;
}

std::string TabText(QWidget* page)
{
    auto* pages = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget());
    return pages ? S(pages->tabText(pages->indexOf(page))) : std::string("<no tab>");
}

// The duration list's text for k quarter hours... of minutes, in the locale's way.
std::string Minutes(const char* number)
{
    QString text = QString::fromLatin1(number);
    text.replace('.', QLocale::system().decimalPoint());
    return S(text) + " minutes";
}

} // namespace

// ------------------------------------------------------------ the text table

TEST(LangTable, HoldsEveryUsedIdOnceInOrder)
{
    const auto entries = LangTableEntries();
    ASSERT_EQ(entries.size(), 303u);
    std::set<int> ids;
    size_t variants = 0;
    for (const TLangEntry& entry : entries) {
        EXPECT_TRUE(ids.insert(entry.id).second) << entry.id;
        ASSERT_NE(entry.english[0], nullptr) << entry.id;
        EXPECT_STRNE(entry.english[0], "") << entry.id;
        for (const char* text : entry.english)
            variants += text ? 1 : 0;
    }
    EXPECT_EQ(variants, 339u);
    for (int unused : {0, 7, 59, 70, 152, 254, 309}) {
        EXPECT_EQ(FindLangEntry(unused), nullptr) << unused;
        EXPECT_STREQ(EnglishText(unused), "");
    }
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), 308);
}

TEST(LangTable, KeepsEachCallersVariantWordForWord)
{
    EXPECT_STREQ(EnglishText(88, 0), "E&very Day");
    EXPECT_STREQ(EnglishText(88, 1), "Every Day");
    EXPECT_STREQ(EnglishText(88, 2), "Every day");
    EXPECT_STREQ(EnglishText(220, 0), "Queueing Message");
    EXPECT_STREQ(EnglishText(220, 1), "Queueing clock request");
    EXPECT_STREQ(EnglishText(103), "Rpt on Lea&k Change");
    EXPECT_STREQ(EnglishText(101), "Histogram Rpt Days");
    EXPECT_STREQ(EnglishText(119), "Clear debug data for the following");
    EXPECT_STREQ(EnglishText(36), "Please check the PC's Bluetooth settings and the Interface power.");
    EXPECT_STREQ(EnglishText(308), "Root");
    // Variants that do not exist give "" rather than another text.
    EXPECT_STREQ(EnglishText(1, 1), "");
    EXPECT_STREQ(EnglishText(88, 3), "");
    EXPECT_STREQ(EnglishText(88, -1), "");
    EXPECT_STREQ(EnglishText(-5), "");
    EXPECT_STREQ(EnglishText(100000), "");
}

// ------------------------------------------------------------------- lookup

TEST(GetLangString, LanguageTextWinsAndEmptyFallsBackToTheDefault)
{
    TLangStrings strings;
    strings[81] = "Verstärker";
    EXPECT_EQ(GetLangString(strings, 81, "Repeaters"), "Verstärker");
    EXPECT_EQ(GetLangString(strings, 82, "Configuration"), "Configuration");
    // Out of range or without a window: the default, never a read outside the table.
    EXPECT_EQ(GetLangString(strings, -1, "low"), "low");
    EXPECT_EQ(GetLangString(strings, 310, "high"), "high");
    EXPECT_EQ(GetLangString(static_cast<TformMain*>(nullptr), 81, "Repeaters"), "Repeaters");
    EXPECT_EQ(LangText(nullptr, 24, 1), "Connect");
}

// ------------------------------------------------------- the language library

TEST(LanguageLibrary, WithoutLibraryThereIsNoLanguageAndTheSuffixIs00)
{
    const TLanguageList list = ReadLanguageList(nullptr);
    EXPECT_TRUE(list.names.empty());
    EXPECT_EQ(list.suffix, "00");
    TLangStrings strings;
    strings.fill("stale");
    LoadLanguageBlock(nullptr, 0, strings);
    for (const std::string& s : strings)
        EXPECT_EQ(s, "");
}

TEST(LanguageLibrary, ListsNamedBlocksInOrderUpToTheFirstUnnamedOne)
{
    const auto good = platform::ResourceLibrary::Load(TestLibrary("Languages.dll"));
    ASSERT_TRUE(good);
    const TLanguageList list = ReadLanguageList(good.get());
    EXPECT_EQ(list.names, (std::vector<std::string>{"English", "Deutsch", "Ελληνικά"}));
    EXPECT_EQ(list.suffix, "07");

    // Block 2 is unnamed: block 3 ("Hidden") is not offered; no id 309: suffix "00".
    const auto incomplete = platform::ResourceLibrary::Load(TestLibrary("Incomplete.dll"));
    ASSERT_TRUE(incomplete);
    const TLanguageList partial = ReadLanguageList(incomplete.get());
    EXPECT_EQ(partial.names, (std::vector<std::string>{"English", "Français"}));
    EXPECT_EQ(partial.suffix, "00");
}

TEST(LanguageLibrary, LoadsABlockAtItsOffsets)
{
    const auto dense = platform::ResourceLibrary::Load(TestLibrary("Dense.dll"));
    ASSERT_TRUE(dense);
    TLangStrings strings;
    LoadLanguageBlock(dense.get(), 2, strings);
    for (int i = 0; i < kLangStringCount; ++i)
        ASSERT_EQ(strings[size_t(i)], "L2 " + std::to_string(i));
    // A block past the last language reads as empty, however far out.
    LoadLanguageBlock(dense.get(), 3, strings);
    EXPECT_EQ(strings[0], "");
    LoadLanguageBlock(dense.get(), UINT32_MAX, strings);
    EXPECT_EQ(strings[309], "");

    const auto incomplete = platform::ResourceLibrary::Load(TestLibrary("Incomplete.dll"));
    LoadLanguageBlock(incomplete.get(), 1, strings);
    EXPECT_EQ(strings[0], "Français");
    EXPECT_EQ(strings[1], "Fichier");
    EXPECT_EQ(strings[2], "");  // missing: the caller's English shows
    EXPECT_EQ(GetLangString(strings, 2, "E&xit"), "E&xit");
    EXPECT_EQ(strings[42], "Présent");
}

// -------------------------------------------------------- the Language menu

TEST(LanguageMenu, WithoutLibraryOffersOnlyEnglishTicked)
{
    WorkingFolder folder;
    QMenu menu;
    std::string suffix = "stale";
    int clicks = 0;
    BuildLanguageMenu(&menu, suffix, [&](QAction*) { ++clicks; });
    EXPECT_EQ(LanguageItemTexts(&menu), std::vector<std::string>{"English"});
    EXPECT_EQ(Ticks(&menu), std::vector<bool>{true});
    EXPECT_EQ(suffix, "00");
    // It has no click handler and cannot lose its tick.
    menu.actions().at(0)->trigger();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(Ticks(&menu), std::vector<bool>{true});
}

TEST(LanguageMenu, ClickSeesTheTickTheItemHadBeforeTheClick)
{
    WorkingFolder folder;
    folder.InstallLibrary("Languages.dll");
    QMenu menu;
    std::string suffix;
    std::vector<std::pair<int, bool>> clicks; // item, ticked when clicked
    BuildLanguageMenu(&menu, suffix, [&](QAction* item) {
        clicks.emplace_back(int(menu.actions().indexOf(item)), item->isChecked());
    });
    EXPECT_EQ(LanguageItemTexts(&menu), (std::vector<std::string>{"English", "Deutsch", "Ελληνικά"}));
    EXPECT_EQ(Ticks(&menu), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(suffix, "07");

    menu.actions().at(1)->setChecked(true);
    menu.actions().at(1)->trigger(); // already ticked
    menu.actions().at(2)->trigger(); // not ticked
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[0], std::make_pair(1, true));
    EXPECT_EQ(clicks[1], std::make_pair(2, false));
    // The handler decides on the tick: a click alone moves nothing.
    EXPECT_EQ(Ticks(&menu), (std::vector<bool>{false, true, false}));
}

// ------------------------------------------- the main window in one language

using LanguagesOnMainWindow = MainWindowTest;

TEST_F(LanguagesOnMainWindow, WithoutLibraryEveryTextIsTheEnglishDefault)
{
    TformMain& f = Create();
    ApplyLanguage(&f);
    EXPECT_EQ(S(f.windowTitle()), " Vantelox SMS Repeater Installation Utility - V1.01.00");
    EXPECT_EQ(LanguageItemTexts(f.menuLanguage), std::vector<std::string>{"English"});
    EXPECT_EQ(Ticks(f.menuLanguage), std::vector<bool>{true});
    EXPECT_EQ(f.captionSuffix, "00");
    EXPECT_EQ(f.languageIndex, 0u);
    EXPECT_EQ(modals, std::vector<std::string>{"TformSplash"});

    // Each caller's own default where an id has several.
    EXPECT_EQ(S(f.boxPatrolDaily->text()), "E&very Day");
    EXPECT_EQ(S(f.boxReportDaily->text()), "Every Day");
    EXPECT_EQ(S(f.boxHistDaily->text()), "Every Day");
    EXPECT_EQ(S(f.menuConnect->text()), "C&onnect ...");
    EXPECT_EQ(S(f.panelSplashHeader->text()), "  Connect ...");
    EXPECT_EQ(S(f.boxPatrolTime->text()), "   Patrol Tim&e");
    EXPECT_EQ(S(f.viewDatabase->headerItem()->text(3)), "Patrol Time");
    EXPECT_EQ(TabText(f.tabRegion), "&Region");
    EXPECT_EQ(S(f.boxRegion->text()), "   Reg&ion");
    EXPECT_EQ(S(f.textRssiError->text()), "<No Repeater Selected>");

    // Composed captions.
    EXPECT_EQ(S(f.menuAbout->text()), "&About Vantelox SMS Repeater Installation Utility ...");
    EXPECT_EQ(S(f.menuLanguage->title()), "&Language");
    EXPECT_EQ(S(f.boxEcuNum->text()), "   EC&U Number(Hex)");
    EXPECT_EQ(S(f.labelSelectedRepeater->text()), "Selected Repeater :");
    EXPECT_EQ(S(f.textSelectedRepeater->text()), "<None>");
    EXPECT_EQ(TabText(f.tabConfig), "  Configuration  ");
    EXPECT_EQ(S(f.groupManual->title()), "  Manual Message Entry  ");
    EXPECT_EQ(S(f.labelClearData->text()), "Clear debug data for the following :");
    EXPECT_EQ(S(f.labelDatabase->text()), "Database:");
    EXPECT_EQ(S(f.textDatabaseEnum->text()), "0 Loggers");
    EXPECT_EQ(S(f.textRepeaters->text()), "Repeaters (0)");
    EXPECT_EQ(S(f.boxClearRxSmsLog->text()), "Received SMS Log");
    EXPECT_EQ(S(f.viewDatabase->headerItem()->text(10)), "Lk Al.");

    ASSERT_EQ(f.comboRegion->count(), 8);
    EXPECT_EQ(S(f.comboRegion->itemText(0)), "UK / Euro");
    EXPECT_EQ(S(f.comboRegion->itemText(5)), "Korea, 800 MHz");
    EXPECT_EQ(S(f.comboRegion->itemText(7)), "China, 433 MHz");
    ASSERT_EQ(f.comboLeakAlarm->count(), 4);
    EXPECT_EQ(S(f.comboLeakAlarm->itemText(3)), "Report on Both Changes");

    ASSERT_EQ(f.comboSmsRxDuration->count(), 255);
    EXPECT_EQ(S(f.comboSmsRxDuration->itemText(0)), Minutes("0.25"));
    EXPECT_EQ(S(f.comboSmsRxDuration->itemText(1)), Minutes("0.5"));
    EXPECT_EQ(S(f.comboSmsRxDuration->itemText(3)), Minutes("1"));
    EXPECT_EQ(S(f.comboSmsRxDuration->itemText(254)), Minutes("63.75"));

    // Day labels: Sunday first, one letter of the locale's short day names.
    const QLocale locale = QLocale::system();
    EXPECT_EQ(f.labelSun1->text(), locale.dayName(7, QLocale::ShortFormat).left(1));
    EXPECT_EQ(f.labelMon2->text(), locale.dayName(1, QLocale::ShortFormat).left(1));
    EXPECT_EQ(f.labelSat3->text(), locale.dayName(6, QLocale::ShortFormat).left(1));
    EXPECT_EQ(f.StatusText(), "");
}

TEST_F(LanguagesOnMainWindow, NoCaptionComesOutEmptyWithoutLibrary)
{
    // A caller asking for an English variant that does not exist would get "".
    TformMain& f = Create();
    ApplyLanguage(&f);
    auto blank = [](const QString& text) { return text.trimmed().isEmpty(); };
    // Boxes without a caption of their own: the day boxes and the clear-all box.
    std::set<const QAbstractButton*> captionless = {f.boxClearAll};
    for (const auto* days : {&f.patrolDayBoxes, &f.reportDayBoxes, &f.histDayBoxes})
        captionless.insert(days->begin(), days->end());
    for (QAbstractButton* button : f.findChildren<QAbstractButton*>()) {
        const QString name = button->objectName();
        if (name.isEmpty() || name.startsWith("qt_") || captionless.count(button) ||
            qobject_cast<QTabBar*>(button->parentWidget()))
            continue;
        EXPECT_FALSE(blank(button->text())) << S(name);
    }
    for (QGroupBox* group : f.findChildren<QGroupBox*>())
        EXPECT_FALSE(blank(group->title())) << S(group->objectName());
    for (QAction* item : f.findChildren<QAction*>()) {
        if (!item->isSeparator() && !item->objectName().isEmpty() && item->objectName() != "menuSendSingleMsg") {
            EXPECT_FALSE(blank(item->text())) << S(item->objectName());
        }
    }
    for (QTabWidget* pages : {f.pageMain, f.pageKvt})
        for (int i = 0; i < pages->count(); ++i)
            EXPECT_FALSE(blank(pages->tabText(i))) << S(pages->widget(i)->objectName());
    for (int column = 0; column < 11; ++column)
        EXPECT_FALSE(blank(f.viewDatabase->headerItem()->text(column))) << column;
    for (QComboBox* list : {f.comboRegion, f.comboLeakAlarm})
        for (int i = 0; i < list->count(); ++i)
            EXPECT_FALSE(blank(list->itemText(i))) << S(list->objectName()) << i;
}

TEST_F(LanguagesOnMainWindow, LibraryTextsReplaceTheDefaultsAndMissingOnesFallBack)
{
    TformMain& f = Create("Incomplete.dll");
    EXPECT_EQ(LanguageItemTexts(f.menuLanguage), (std::vector<std::string>{"English", "Français"}));
    EXPECT_EQ(Ticks(f.menuLanguage), (std::vector<bool>{true, false}));

    LanguageMenuClick(&f, LanguageItem(f, 1));
    EXPECT_EQ(f.languageIndex, 1u);
    EXPECT_EQ(Ticks(f.menuLanguage), (std::vector<bool>{false, true}));
    EXPECT_EQ(S(f.menuFile->title()), "Fichier");
    EXPECT_EQ(S(f.menuExit->text()), "E&xit");               // missing in French
    EXPECT_EQ(S(f.comboRegion->itemText(0)), "Présent");      // id 42 in French
    EXPECT_EQ(S(f.comboRegion->itemText(1)), "USA");
    EXPECT_EQ(S(f.btnConfig->text()), "&Configure");
    EXPECT_EQ(S(f.windowTitle()), " Vantelox SMS Repeater Installation Utility - V1.01.00");
}

TEST_F(LanguagesOnMainWindow, StoredLanguageIsLoadedAndAnIndexBeyondTheMenuMeansLanguage0)
{
    StoreLanguage(1);
    {
        TformMain& f = Create("Languages.dll");
        EXPECT_EQ(f.languageIndex, 1u);
        EXPECT_EQ(f.langStrings[1], "&Datei");
        EXPECT_EQ(Ticks(f.menuLanguage), (std::vector<bool>{false, true, false}));
        ApplyLanguage(&f);
        EXPECT_EQ(S(f.windowTitle()), " Warteschlange - V1.01.07"); // German id 74
        EXPECT_EQ(S(f.menuFile->title()), "&Datei");
    }
    form.reset();
    StoreLanguage(3);
    TformMain& f = Create();
    EXPECT_EQ(f.languageIndex, 0u);
    EXPECT_EQ(f.langStrings[1], "&File");
    EXPECT_EQ(Ticks(f.menuLanguage), (std::vector<bool>{true, false, false}));
}

TEST_F(LanguagesOnMainWindow, SharedId220ShowsTheLibrarysOneTextForBothCallers)
{
    TformMain& f = Create("Dense.dll");
    EXPECT_EQ(GetLangString(&f, 220, "Queueing Message"), "L0 220");
    EXPECT_EQ(GetLangString(&f, 220, "Queueing clock request"), "L0 220");
    EXPECT_EQ(f.captionSuffix, "L0 309");
    f.langStrings.fill("");
    EXPECT_EQ(GetLangString(&f, 220, "Queueing Message"), "Queueing Message");
    EXPECT_EQ(GetLangString(&f, 220, "Queueing clock request"), "Queueing clock request");
}

TEST_F(LanguagesOnMainWindow, DamagedLibraryLeavesEnglish)
{
    folder.WriteFile("Languages.dll", std::string("MZ") + std::string(300, '\xff'));
    TformMain& f = Create();
    ApplyLanguage(&f);
    EXPECT_EQ(LanguageItemTexts(f.menuLanguage), std::vector<std::string>{"English"});
    EXPECT_EQ(S(f.windowTitle()), " Vantelox SMS Repeater Installation Utility - V1.01.00");
    EXPECT_EQ(S(f.btnDeploy->text()), "&Deploy");
}

TEST_F(LanguagesOnMainWindow, TruncatedLibraryGivesWhatItStillHoldsWithoutHarm)
{
    std::ifstream in(TestLibrary("Languages.dll"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t length : {size_t(64), bytes.size() / 2, bytes.size() - 7}) {
        folder.WriteFile("Languages.dll", bytes.substr(0, length));
        form.reset();
        TformMain& f = Create();
        ApplyLanguage(&f);
        EXPECT_GE(f.menuLanguage->actions().size(), 1) << length;
        EXPECT_FALSE(f.windowTitle().isEmpty()) << length;
        EXPECT_FALSE(f.btnConfig->text().isEmpty()) << length;
    }
}

// ------------------------------------------------- changing the language

TEST_F(LanguagesOnMainWindow, PickingAnotherLanguageReloadsAndReappliesEveryText)
{
    TformMain& f = Create("Languages.dll");
    ApplyLanguage(&f);
    EXPECT_EQ(S(f.menuFile->title()), "&File");

    LanguageItem(f, 2)->trigger();
    EXPECT_EQ(f.languageIndex, 2u);
    EXPECT_EQ(Ticks(f.menuLanguage), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(f.langStrings[0], "Ελληνικά");
    EXPECT_EQ(S(f.menuFile->title()), "Αρχείο");
    EXPECT_EQ(S(f.menuExit->text()), "日本語のテキスト");
    EXPECT_EQ(S(f.menuSetup->title()), "Emoji 😀 and 𝄞 outside the BMP");
    // The suffix belongs to the library, not to the language.
    EXPECT_EQ(S(f.windowTitle()), " Vantelox SMS Repeater Installation Utility - V1.01.07");

    LanguageItem(f, 1)->trigger();
    EXPECT_EQ(f.languageIndex, 1u);
    EXPECT_EQ(S(f.menuFile->title()), "&Datei");
    EXPECT_EQ(S(f.menuExit->text()), "&Beenden");
    EXPECT_EQ(S(f.menuSetup->title()), "&Setup"); // not in German: English
}

TEST_F(LanguagesOnMainWindow, PickingTheTickedLanguageReloadsNothing)
{
    TformMain& f = Create("Languages.dll");
    f.langStrings[1] = "marker";
    f.setWindowTitle("untouched");
    LanguageItem(f, 0)->trigger();
    EXPECT_EQ(f.langStrings[1], "marker");
    EXPECT_EQ(S(f.windowTitle()), "untouched");
    EXPECT_EQ(Ticks(f.menuLanguage), (std::vector<bool>{true, false, false}));

    LanguageMenuClick(&f, LanguageItem(f, 0));
    EXPECT_EQ(f.langStrings[1], "marker");
    EXPECT_EQ(S(f.windowTitle()), "untouched");
}

TEST_F(LanguagesOnMainWindow, ListSelectionsSurviveALanguageChange)
{
    TformMain& f = Create("Languages.dll");
    ApplyLanguage(&f);
    f.comboSmsRxDuration->setCurrentIndex(40);
    f.comboRegion->setCurrentIndex(5);
    f.comboLeakAlarm->setCurrentIndex(2);
    int changes = 0;
    QObject::connect(f.comboSmsRxDuration, &QComboBox::currentIndexChanged, [&] { ++changes; });

    LanguageItem(f, 1)->trigger();
    EXPECT_EQ(f.comboSmsRxDuration->count(), 255);
    EXPECT_EQ(f.comboSmsRxDuration->currentIndex(), 40);
    EXPECT_EQ(f.comboRegion->count(), 8);
    EXPECT_EQ(f.comboRegion->currentIndex(), 5);
    EXPECT_EQ(f.comboLeakAlarm->count(), 4);
    EXPECT_EQ(f.comboLeakAlarm->currentIndex(), 2);
    EXPECT_EQ(changes, 0); // not a choice of the user

    f.comboRegion->setCurrentIndex(-1);
    ApplyLanguage(&f);
    EXPECT_EQ(f.comboRegion->currentIndex(), -1);
}

// ------------------------------------------------------------ the layout

TEST_F(LanguagesOnMainWindow, TabEdgesAreTheSameBeforeAndAfterTheTabsWereFirstShown)
{
    // The show handler applies the texts while the configuration tabs have
    // never been on screen; the buttons must land where they do later.
    platform::TimeControl::UseVirtualTime();
    TformMain& f = Create();
    ApplyLanguage(&f);
    const int hostLeft = f.btnHostNum->x();
    const int alarmLeft = f.btnAlarmNum->x();
    f.show();
    f.pageMain->setCurrentWidget(f.tabConfig);
    f.pageKvt->setCurrentWidget(f.tabReport);
    QApplication::processEvents();
    f.pageKvt->setCurrentWidget(f.tabAlarms);
    QApplication::processEvents();
    ApplyLanguage(&f);
    EXPECT_EQ(f.btnHostNum->x(), hostLeft);
    EXPECT_EQ(f.btnAlarmNum->x(), alarmLeft);
    EXPECT_EQ(f.btnHostNum->x() + f.btnHostNum->width(), f.tabReport->width() - 8);
    EXPECT_EQ(f.btnAlarmNum->x() + f.btnAlarmNum->width(), f.tabAlarms->width() - 8);
    form.reset();
    platform::TimeControl::UseRealTime();
}

TEST_F(LanguagesOnMainWindow, MainButtonsShareTheWidestCaptionAndKeepTheirGaps)
{
    TformMain& f = Create();
    ApplyLanguage(&f);
    EXPECT_EQ(f.btnConfig->width(), 100); // short English captions: the minimum
    f.langStrings[79] = "A much longer abandon caption than the others";
    ApplyLanguage(&f);
    const int expected = CaptionWidth(f.textDummy, f.btnAbandon->text()) + 24;
    ASSERT_GT(expected, 100);
    for (QWidget* button : {f.btnConfig, f.btnAbort, f.btnDeploy, f.btnAbandon})
        EXPECT_EQ(button->width(), expected) << S(button->objectName());
    EXPECT_EQ(f.btnAbort->pos(), f.btnConfig->pos());
    EXPECT_EQ(f.btnDeploy->x(), f.btnConfig->x() + expected + 32);
    EXPECT_EQ(f.btnAbandon->x(), f.btnDeploy->x() + expected + 32);
}

TEST_F(LanguagesOnMainWindow, ConfigurationTabsKeepOneValueColumnRightOfTheWidestBox)
{
    TformMain& f = Create();
    f.langStrings[87] = "Patrol days, with a much longer caption";
    ApplyLanguage(&f);

    EXPECT_EQ(f.boxPatrolDays->width(), f.boxPatrolDays->sizeHint().width()); // the style's mark and spacing
    const int x = f.boxPatrolTime->x() + f.boxPatrolDays->width() + 32;
    EXPECT_EQ(f.comboPatrolHour->x(), x);
    EXPECT_EQ(f.comboRetryHour->x(), x);
    EXPECT_EQ(f.comboPatrolMinute->x(), f.comboPatrolHour->x() + f.comboPatrolHour->width() + 8);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(f.patrolDayBoxes[size_t(i)]->x(), x + 20 * i) << i;
    EXPECT_EQ(f.labelSun1->x(), x);
    EXPECT_EQ(f.labelSat1->x(), x + 120);
    EXPECT_EQ(f.radioDisableLna->x(), x);

    // Another tab has a column of its own.
    int widest = 0;
    for (QWidget* box : {f.boxGsmBand, f.boxClock, f.boxRegion, f.boxGpsCoords})
        widest = std::max(widest, box->width());
    EXPECT_EQ(f.comboGsmBand->x(), f.boxGsmBand->x() + widest + 32);
    EXPECT_EQ(f.editTimezone->x(), f.labelCpu->x() + f.labelCpu->width() + 4);
    EXPECT_EQ(f.spinnerTimeZone->x(), f.editTimezone->x() + f.editTimezone->width());
    EXPECT_EQ(f.labelGpsStatus->x(), f.ledGpsRx->x() + 20);
}

TEST_F(LanguagesOnMainWindow, SideButtonsHeaderAndTestTabsFollowTheirRules)
{
    TformMain& f = Create();
    f.langStrings[94] = "Remove this number from the list";
    ApplyLanguage(&f);
    const int w = CaptionWidth(f.btnHostNum, f.btnHostNum->text()) + 24;
    EXPECT_EQ(f.btnHostNum->width(), w);
    EXPECT_EQ(f.btnEngNum->geometry().left(), f.btnHostNum->x());
    EXPECT_EQ(f.btnEngNum->width(), w);
    EXPECT_EQ(f.btnTestNum->width(), w);
    EXPECT_LE(f.comboHostTel->x() + f.comboHostTel->width(), f.btnHostNum->x() - 8);
    EXPECT_EQ(f.btnAlarmNum->width(), w);

    EXPECT_EQ(f.ledTx->x(), f.panelHeader->width() - f.ledTx->width() - 10);
    EXPECT_EQ(f.ledRx->x(), f.ledTx->x() - f.ledRx->width() - 10);
    EXPECT_EQ(f.imageBattery50->x(), f.ledRx->x() - 32);
    EXPECT_EQ(f.labelRx->x(), f.ledRx->x() - 3);
    EXPECT_EQ(f.boxRepeaters->height(), f.panelTarget->height() - 48);
    EXPECT_EQ(f.textSelectedRepeater->x(), f.labelSelectedRepeater->x() + f.labelSelectedRepeater->width() + 8);
    EXPECT_EQ(f.panelSplash->width(), f.textSplash1->width() + 2 * f.textSplash1->x());

    EXPECT_EQ(f.btnPatrol->x(), f.btnClearDatabase->x() + f.btnClearDatabase->width() + 24);
    EXPECT_EQ(f.btnReadDatabase->width(), f.btnClearDatabase->width());
    EXPECT_EQ(f.textDatabaseEnum->x(), f.labelDatabase->x() + f.labelDatabase->width() + 8);
    EXPECT_EQ(f.btnLogOff->width(), f.btnLogOn->width());
    EXPECT_EQ(f.btnTestFtp->x(), f.btnRequestTestSms->x() + f.btnRequestTestSms->width() + 32);

    // Every pass starts from the layout: a label widened meanwhile is back
    // to what the texts need.
    const int repeaters = f.textRepeaters->width();
    f.textRepeaters->resize(300, f.textRepeaters->height());
    f.langStrings[48] = "A rather long database caption";
    ApplyLanguage(&f);
    EXPECT_EQ(f.textRepeaters->width(), repeaters);
    EXPECT_EQ(f.labelDatabase->width(), f.labelDatabase->sizeHint().width());
    EXPECT_EQ(f.textDatabaseEnum->x(), f.labelDatabase->x() + f.labelDatabase->width() + 8);

    EXPECT_EQ(f.btnSend8->x(), f.btnSend1->x());
    EXPECT_EQ(f.editManualMsg5->width(), f.btnSend1->x() - f.editManualMsg1->x() - 8);
}
