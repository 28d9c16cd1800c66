// The settings of the last run: every value through the store and back, the
// load that stops at the first missing or ill-typed integer or boolean, and
// a save that reaches the disk whole and once.
#include "app/ConfigPage.h"
#include "app/Main.h"
#include "app/Registry.h"
#include "platform/AtomicFile.h"
#include "support/FileBytes.h"
#include "support/MainWindowFixture.h"
#include "support/SettingsKey.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTreeWidget>
#include <cerrno>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Every value the test changes from its start-up value, and how it is stored.
struct Change {
    std::string key;
    std::function<void(TformMain*)> apply;
    std::string stored;
};

std::vector<Change> EveryValueChanged()
{
    std::vector<Change> rows = {
        {"Top", [](TformMain* f) { f->setGeometry(40, 30, f->width(), f->height()); }, "dword:30"},
        {"Left", [](TformMain*) {}, "dword:40"},
        {"Height", [](TformMain* f) { f->resize(800, 620); }, "dword:620"},
        {"Width", [](TformMain*) {}, "dword:800"},
        // Bit 0 of both words keeps the tabs (and their boxes) as they are.
        {"Delay", [](TformMain* f) { f->adminOptions = 0x8000000Fu; }, "dword:-2147483633"},
        {"Split", [](TformMain* f) { f->distOptions = 0x80000003u; }, "dword:-2147483645"},
        {"RTFM", [](TformMain* f) { f->infoFormFlags = 1; }, "dword:1"},
        {"Wait", [](TformMain* f) { f->linkTimeoutMs = 65535; }, "dword:65535"},
        {"Tx Status 1",
         [](TformMain* f) {
             for (int i = 0; i < 32; ++i)
                 f->configItems[size_t(i)].box->setChecked(i % 3 == 0);
         },
         "dword:" + std::to_string(int32_t(0x49249249u))},
        {"Tx Status 2",
         [](TformMain* f) {
             for (int i = 32; i < kConfigItemCount; ++i)
                 f->configItems[size_t(i)].box->setChecked(i % 2 == 1);
         },
         "dword:" + std::to_string(0x2AAA)},
        {"Patrol Days",
         [](TformMain* f) {
             SetPatrolDaysMask(f, 0x0A);
             f->boxPatrolDaily->setChecked(true);
         },
         "dword:10"},
        {"Patrol Daily", [](TformMain*) {}, "dword:1"},
        {"Report Days", [](TformMain* f) { SetReportDaysMask(f, 0x41); }, "dword:65"},
        {"Histogram Days",
         [](TformMain* f) {
             SetHistDaysMask(f, 0x22);
             f->boxHistDaily->setChecked(true);
         },
         "dword:34"},
        {"Daily Histogarm", [](TformMain*) {}, "dword:1"},
        {"Enable LNA", [](TformMain* f) { f->radioEnableLna->setChecked(true); }, "dword:1"},
        {"ECU Active", [](TformMain* f) { f->radioEcuActive->setChecked(true); }, "dword:1"},
        {"Enable GPRS", [](TformMain* f) { f->radioGprs->setChecked(true); }, "dword:1"},
        {"Message To Repeater", [](TformMain* f) { f->checkSendToRepeater->setChecked(false); }, "dword:0"},
        {"Time Zone", [](TformMain* f) { f->spinnerTimeZone->setValue(-5); }, "dword:-5"},
        {"Show Hints", [](TformMain* f) { f->menuShowHints->trigger(); }, "dword:1"},
        {"Active Config Page", [](TformMain* f) { f->pageKvt->setCurrentIndex(3); }, "dword:3"},
        {"Active Main Page", [](TformMain* f) { f->pageMain->setCurrentIndex(2); }, "dword:2"},
        {"Patrol Time", [](TformMain* f) { f->rfTestPatrolSeconds = 200; }, "dword:200"},
        {"Debug Counters", [](TformMain* f) { f->debugCounters = 0x1234; }, "dword:4660"},
        {"Phonebook 0",
         [](TformMain* f) {
             for (const char* number : {"+44 1", "+44 2", "+44 3"})
                 AddNumberToLists(f, number);
         },
         "\"+44 1\""},
        {"Phonebook 2", [](TformMain*) {}, "\"+44 3\""},
        {"MME1", [](TformMain* f) { f->editManualMsg1->setText("C03A02"); }, "\"C03A02\""},
        {"MME8", [](TformMain* f) { f->editManualMsg8->setText("ab"); }, "\"AB\""},
        {"Alarm Text", [](TformMain* f) { f->editAlarmMsg->setText("Leak \"at\" C:\\pipe é"); },
         "\"Leak \"at\" C:\\pipe é\""},
        {"Host Number", [](TformMain* f) { f->comboHostTel->setEditText("+44 7700 900001"); },
         "\"+44 7700 900001\""},
    };
    const std::pair<const char*, QCheckBox* Ui::TformMain::*> boxes[] = {
        {"Fortnightly Histogram", &Ui::TformMain::boxHistFortnightly},
        {"Report Fortnightly", &Ui::TformMain::boxReportFortnightly},
        {"Low Q+ Battery", &Ui::TformMain::boxLowVantBat},
        {"Low Q+ RF", &Ui::TformMain::boxLowVantRf},
        {"Low KVT Battery", &Ui::TformMain::boxLowKvtBat},
        {"Change Via SMS", &Ui::TformMain::boxChangeViaSms},
        {"ECU Uses Serial", &Ui::TformMain::boxEcuUsesSerial},
    };
    for (const auto& [key, box] : boxes)
        rows.push_back({key, [box = box](TformMain* f) { (f->*box)->setChecked(true); }, "dword:1"});
    // The last item of each list.
    const std::pair<const char*, QComboBox* Ui::TformMain::*> combos[] = {
        {"GSM Band", &Ui::TformMain::comboGsmBand},           {"Region", &Ui::TformMain::comboRegion},
        {"Patrol Hour", &Ui::TformMain::comboPatrolHour},     {"Patrol Minute", &Ui::TformMain::comboPatrolMinute},
        {"Retry Hour", &Ui::TformMain::comboRetryHour},       {"Retry Minute", &Ui::TformMain::comboRetryMinute},
        {"Patrol Duration", &Ui::TformMain::comboPatrolDuration},
        {"Report Hour", &Ui::TformMain::comboReportHour},     {"Report Minute", &Ui::TformMain::comboReportMinute},
        {"Stagger Digits", &Ui::TformMain::comboStaggerDigits},
        {"Stagger Time", &Ui::TformMain::comboStaggerTime},   {"Report Format", &Ui::TformMain::comboReportFormat},
        {"Leak Alarm", &Ui::TformMain::comboLeakAlarm},
    };
    for (const auto& [key, combo] : combos)
        rows.push_back({key, [combo = combo](TformMain* f) { (f->*combo)->setCurrentIndex((f->*combo)->count() - 1); },
                        ""});
    const std::pair<const char*, QLineEdit* Ui::TformMain::*> edits[] = {
        {"GPS Latitude", &Ui::TformMain::editGpsLat},   {"GPS Longitude", &Ui::TformMain::editGpsLong},
        {"Low RF Threshold", &Ui::TformMain::editLowRfThresh},
        {"Serial Number", &Ui::TformMain::editSerialNum}, {"ECU Number", &Ui::TformMain::editEcuNum},
        {"APN", &Ui::TformMain::editApn},               {"GPRS Username", &Ui::TformMain::editGprsUser},
        {"GPRS Password", &Ui::TformMain::editGprsPass}, {"FTP Host", &Ui::TformMain::editFtpHost},
        {"FTP User ID", &Ui::TformMain::editFtpUser},    {"FTP Password", &Ui::TformMain::editFtpPass},
        {"FTP Folder", &Ui::TformMain::editFtpFolder},   {"SIM Number", &Ui::TformMain::editSimNumber},
    };
    for (const auto& [key, edit] : edits)
        rows.push_back({key, [edit = edit, key = std::string(key)](TformMain* f) {
                            (f->*edit)->setText(QString::fromStdString("7" + std::to_string(key.size())));
                        },
                        "\"7" + std::to_string(std::string(key).size()) + "\""});
    for (auto [key, combo] : {std::pair{"Engineer Number", &Ui::TformMain::comboEngineerTel},
                              std::pair{"Alarm Number", &Ui::TformMain::comboAlarmTel},
                              std::pair{"Test Number", &Ui::TformMain::comboTestTel}})
        rows.push_back({key, [combo = combo, key = std::string(key)](TformMain* f) {
                            (f->*combo)->setEditText(QString::fromStdString("0" + std::to_string(key.size())));
                        },
                        "\"0" + std::to_string(std::string(key).size()) + "\""});
    for (int c = 0; c < 11; ++c)
        rows.push_back({"Col " + std::to_string(c),
                        [c](TformMain* f) { f->viewDatabase->setColumnWidth(c, 20 + c); },
                        "dword:" + std::to_string(20 + c)});
    return rows;
}

class RegistrySettings : public MainWindowFixture {
protected:
    // Start-up up to the show handler, which loads the settings.
    TformMain* Start()
    {
        form.Create();
        form->show();
        QCoreApplication::processEvents();
        return form;
    }

    SettingsValues SaveAndRead()
    {
        SaveRegistrySettings(form);
        return ReadSettingsValues();
    }

    // A key saved from a window with every value changed, and the key of a
    // first run.
    void SaveBoth(SettingsValues& startUp, SettingsValues& changed)
    {
        Start();
        startUp = SaveAndRead();
        for (const Change& c : EveryValueChanged())
            c.apply(form);
        form->portVigilator->SetPort("/dev/ttyTEST");
        form->portVigilator->SetStopBits(sbTwoStopBits);
        changed = SaveAndRead();
    }

    void Write(const std::function<void(TRegistry&)>& change)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        change(reg);
        reg.CloseKey();
    }
};

TEST_F(RegistrySettings, EveryValueIsStoredUnderItsNameAndComesBack)
{
    SettingsValues startUp, changed;
    SaveBoth(startUp, changed);
    EXPECT_EQ(changed.size(), startUp.size() + 3) << "three telephone numbers added";
    for (const Change& c : EveryValueChanged()) {
        ASSERT_TRUE(changed.count(c.key)) << c.key;
        EXPECT_NE(changed[c.key], startUp[c.key]) << c.key << " did not change";
        if (!c.stored.empty()) {
            EXPECT_EQ(changed[c.key], c.stored) << c.key;
        }
    }
    const SettingsValues port = ReadSettingsValues("portVigilator");

    Start(); // a new run loads it all
    EXPECT_EQ(form->editManualMsg1->displayText().left(9).toStdString(), "C0 3A 02 ");
    EXPECT_EQ(form->comboHostTel->count(), 3);
    SettingsValues again = SaveAndRead();
    EXPECT_EQ(again["SMS Rx Duration"], "dword:7") << "the show handler's choice";
    again["SMS Rx Duration"] = changed["SMS Rx Duration"];
    for (const char* key : {"Width", "Height"}) {
        EXPECT_EQ(again[key], startUp[key]) << key << ": a start opens at its layout's size";
        again[key] = changed[key];
    }
    EXPECT_EQ(again, changed);
    SettingsValues portAgain = ReadSettingsValues("portVigilator");
    EXPECT_EQ(portAgain["Port"], "\"/dev/ttyTEST\"");
    EXPECT_EQ(portAgain, port);
}

TEST_F(RegistrySettings, TheStartUpKeyOfTheFixturesIsWhatAFirstRunSaves)
{
    auto names = [] {
        TRegistry reg(KEY_READ);
        reg.OpenKeyReadOnly(kSettingsKey);
        return reg.GetValueNames();
    };
    Start();
    const SettingsValues firstRun = SaveAndRead();
    const SettingsValues firstPort = ReadSettingsValues("portVigilator");
    const std::vector<std::string> saveOrder = names();  // an empty store keeps the order of writing
    StoreStartUpSettings(dir.File("fixture.txt"), "COM1");
    EXPECT_EQ(saveOrder, names());
    // Where a first run's window lies is the platform's: the client area
    // stands inside a frame wherever the frame is put.
    SettingsValues fixture = ReadSettingsValues();
    for (const char* key : {"Top", "Left"})
        fixture[key] = firstRun.at(key);
    EXPECT_EQ(fixture, firstRun);
    EXPECT_EQ(ReadSettingsValues("portVigilator"), firstPort);
}

// The load's order, with the kind of each value: 'i' integer or boolean
// (missing or ill-typed, the load ends there), 't' text (missing: emptied).
const std::vector<std::pair<std::string, char>>& LoadOrder()
{
    static const std::vector<std::pair<std::string, char>> order = [] {
        std::vector<std::pair<std::string, char>> o;
        auto add = [&](char kind, std::initializer_list<const char*> keys) {
            for (const char* k : keys)
                o.emplace_back(k, kind);
        };
        add('i', {"Top", "Height", "Left", "Width", "Max", "Delay", "Split", "RTFM", "Wait", "Tx Status 1",
                  "Tx Status 2", "Enable LNA", "Fortnightly Histogram", "Report Fortnightly", "Low Q+ Battery",
                  "Low Q+ RF", "Low KVT Battery", "Change Via SMS", "Clear All Counters", "ECU Active",
                  "ECU Uses Serial", "Message To Repeater", "Enable GPRS", "GSM Band", "Region", "Patrol Hour",
                  "Patrol Minute", "Retry Hour", "Retry Minute", "Patrol Duration", "Report Hour", "Report Minute",
                  "Stagger Digits", "Stagger Time", "Report Format", "Leak Alarm", "SMS Rx Duration"});
        add('t', {"GPS Latitude", "GPS Longitude", "Host Number", "Engineer Number", "Alarm Text",
                  "Low RF Threshold", "Alarm Number", "Serial Number", "ECU Number", "Test Number", "APN",
                  "GPRS Username", "GPRS Password", "FTP Host", "FTP User ID", "FTP Password", "FTP Folder",
                  "SIM Number", "Phonebook 0", "Phonebook 1", "Phonebook 2", "MME1", "MME2", "MME3", "MME4", "MME5",
                  "MME6", "MME7", "MME8"});
        add('i', {"Time Zone", "Show Hints"});
        for (int c = 0; c < 11; ++c)
            o.emplace_back("Col " + std::to_string(c), 'i');
        add('i', {"Active Config Page", "Active Main Page", "Patrol Time", "Debug Counters", "Patrol Days",
                  "Patrol Daily", "Report Days", "Report Daily", "Histogram Days", "Daily Histogarm"});
        return o;
    }();
    return order;
}

// Each integer or boolean missing in turn, then stored as text, and each
// text stored as an integer: the values before it are applied, it and all
// after it (the port included) keep what the window held.
TEST_F(RegistrySettings, TheLoadStopsExactlyAtTheFirstMissingOrIllTypedInteger)
{
    SettingsValues startUp, changed;
    SaveBoth(startUp, changed);
    const std::string saved = ReadAll(platform::RegistryFile());
    ASSERT_EQ(LoadOrder().size() + 1, changed.size()) << "every value but \"Language\" is in the order";
    for (bool illTyped : {false, true}) {
        for (size_t stop = 0; stop < LoadOrder().size(); ++stop) {
            const auto& [missing, kind] = LoadOrder()[stop];
            // A text ends the load only when stored as an integer.
            if (kind != 'i' && !illTyped)
                continue;
            SCOPED_TRACE(missing + (!illTyped ? " missing" : kind == 'i' ? " stored as text" : " stored as integer"));
            std::ofstream(dir.File("case.txt"), std::ios::trunc) << saved;
            platform::SetRegistryFile(dir.File("case.txt"));
            Write([&, &missing = missing](TRegistry& reg) {
                if (illTyped && kind == 'i')
                    reg.WriteString(missing, "1");
                else if (illTyped)
                    reg.WriteInteger(missing, 1);
                else
                    reg.DeleteValue(missing);
            });
            Start();
            SettingsValues loaded = SaveAndRead();
            for (size_t i = 0; i < LoadOrder().size(); ++i) {
                const std::string& key = LoadOrder()[i].first;
                if (key == "SMS Rx Duration")
                    continue; // the show handler's
                const bool layoutSize = key == "Width" || key == "Height";
                EXPECT_EQ(loaded[key], i < stop && !layoutSize ? changed[key] : startUp[key]) << key;
            }
            EXPECT_EQ(ReadSettingsValues("portVigilator")["Port"], "\"COM1\"");
        }
    }
}

TEST_F(RegistrySettings, AMissingTextEmptiesItsControlAndTheLoadGoesOn)
{
    SettingsValues startUp, changed;
    SaveBoth(startUp, changed);
    Write([](TRegistry& reg) {
        reg.DeleteValue("APN");
        reg.DeleteValue("Low RF Threshold");
        reg.WriteString("Test Number", std::string(51, '4'));
    });
    Start();
    EXPECT_EQ(form->comboTestTel->currentText().size(), 51) << "longer than typing allows, and the book read after it";
    EXPECT_EQ(form->editApn->text().toStdString(), "");
    EXPECT_EQ(form->editLowRfThresh->text().toStdString(), "") << "not the design's 13";
    EXPECT_EQ(form->rfTestPatrolSeconds, 200) << "read after them";
    EXPECT_EQ(form->portVigilator->Port(), "/dev/ttyTEST");
}

TEST_F(RegistrySettings, TruncationsAndSignedValues)
{
    SettingsValues startUp, changed;
    SaveBoth(startUp, changed);
    Write([](TRegistry& reg) {
        reg.WriteInteger("Wait", 70000);
        reg.WriteInteger("Patrol Time", 300);
        reg.WriteInteger("Delay", -1);
        reg.WriteInteger("GSM Band", 99);
    });
    Start();
    EXPECT_EQ(form->linkTimeoutMs, 4464);
    EXPECT_EQ(form->rfTestPatrolSeconds, 44);
    EXPECT_EQ(form->adminOptions, 0xFFFFFFFFu);
    EXPECT_EQ(form->spinnerTimeZone->value(), -5);
    EXPECT_EQ(form->comboGsmBand->currentIndex(), -1) << "outside the list: nothing selected";
}

TEST_F(RegistrySettings, AFirstStartKeepsTheStartUpValues)
{
    Start();
    EXPECT_EQ(form->adminOptions, 10u);
    EXPECT_EQ(form->linkTimeoutMs, 3500);
    EXPECT_EQ(form->size(), QSize(785, 600));
    EXPECT_EQ(form->portVigilator->Port(), "COM1");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(platform::RegistryFile()))) << "the load writes nothing";
}

TEST_F(RegistrySettings, MaxSetsTheBoundsFirstThenMaximizes)
{
    SettingsValues startUp, changed;
    SaveBoth(startUp, changed);
    Write([](TRegistry& reg) { reg.WriteBool("Max", true); });
    Start();
    EXPECT_TRUE(form->isMaximized());
    EXPECT_EQ(form->adminOptions, 0x8000000Fu);
    SettingsValues again = SaveAndRead();
    EXPECT_EQ(again["Max"], "dword:1");
}

TEST_F(RegistrySettings, AStoredSizeIsNotKeptAndAPlaceOffTheScreenIsMovedOntoIt)
{
    Start();
    const QSize layout = form->size();
    SaveAndRead();
    Write([](TRegistry& reg) {
        reg.WriteInteger("Width", 1470); // saved by a run in a longer language
        reg.WriteInteger("Height", 700);
        reg.WriteInteger("Left", 1200); // on a larger monitor
        reg.WriteInteger("Top", 900);
    });
    Start();
    EXPECT_EQ(form->size(), layout) << "the size the layout needs";
    EXPECT_TRUE(form->screen()->availableGeometry().contains(form->frameGeometry()));
    EXPECT_EQ(SaveAndRead().at("Width"), "dword:" + std::to_string(layout.width())) << "the bounds at close";
}

TEST_F(RegistrySettings, ALongerBookOfAnEarlierRunIsCutBack)
{
    Start();
    for (const char* number : {"1", "2", "3", "4", "5"})
        AddNumberToLists(form, number);
    SaveAndRead();
    Write([](TRegistry& reg) { reg.WriteString("Phonebook 7", "beyond a gap"); });
    Start();
    RemoveNumberFromLists(form, "4");
    RemoveNumberFromLists(form, "5");
    const SettingsValues values = SaveAndRead();
    EXPECT_EQ(values.count("Phonebook 2"), 1u);
    EXPECT_EQ(values.count("Phonebook 3"), 0u);
    EXPECT_EQ(values.count("Phonebook 4"), 0u);
    EXPECT_EQ(values.count("Phonebook 7"), 1u) << "the walk stops at the first gap";
}

TEST_F(RegistrySettings, TheBookStopsAtItsBoundOnBothWalks)
{
    Start();
    SaveAndRead();
    Write([](TRegistry& reg) {
        for (size_t n = 0; n <= kPhoneBookLimit; ++n)
            reg.WriteString("Phonebook " + std::to_string(n), std::to_string(n));
    });
    Start();
    EXPECT_EQ(size_t(form->comboHostTel->count()), kPhoneBookLimit);
    AddNumberToLists(form, "one more");
    EXPECT_EQ(size_t(form->comboHostTel->count()), kPhoneBookLimit);
    const SettingsValues values = SaveAndRead();
    EXPECT_EQ(values.at("Phonebook 65535"), "\"65535\"");
    EXPECT_EQ(values.count("Phonebook 65536"), 1u) << "never loaded, so not deleted";
    Start();
    EXPECT_EQ(size_t(form->comboHostTel->count()), kPhoneBookLimit);
}

// Put-back rules that would otherwise leave a box showing what is not sent.
TEST_F(RegistrySettings, EveryDayClearAllAndRadiosEndAsStored)
{
    Start();
    SetPatrolDaysMask(form, 0x03);
    form->boxPatrolDaily->setChecked(true);
    form->boxClearAll->setChecked(false);
    form->radioEnableLna->setChecked(true);
    SaveAndRead();
    // The window already shows other states when the key is loaded again.
    form->radioDisableLna->setChecked(true);
    form->boxClearAll->setChecked(true);
    form->boxClearAll->setChecked(false); // remembers ticks of its own
    form->debugCounters = 0x3FFF;
    form->boxClearAll->setChecked(true);
    Write([](TRegistry& reg) {
        reg.WriteInteger("Tx Status 1", 0);
        reg.WriteInteger("Tx Status 2", 0);
        reg.WriteBool("Enable LNA", false);
        reg.WriteInteger("Patrol Days", 0x05);
    });
    LoadRegistrySettings(form);
    EXPECT_FALSE(form->boxClearAll->isChecked());
    EXPECT_EQ(GetDebugClearMask(form), 0u) << "the stored ticks, not an earlier run's";
    EXPECT_TRUE(form->radioDisableLna->isChecked()) << "false checks the partner";
    EXPECT_EQ(GetPatrolDaysMask(form), 0x7F) << "every day ticked and locked";
    EXPECT_FALSE(form->patrolDayBoxes[1]->isEnabled());
    form->boxPatrolDaily->setChecked(false);
    EXPECT_EQ(GetPatrolDaysMask(form), 0x05) << "the stored days come back";
}

// ---------------------------------------------------------------- the save on disk

int renames = 0;
int CountRename(const char* from, const char* to)
{
    ++renames;
    return ::rename(from, to);
}
int FailFsync(int) { errno = EIO; return -1; }

TEST_F(RegistrySettings, ACloseWritesTheFileOnce)
{
    Start();
    renames = 0;
    const auto before = platform::SetAtomicFileCalls({nullptr, CountRename});
    form->close();
    platform::SetAtomicFileCalls(before);
    EXPECT_EQ(renames, 1) << "the key and the port's subkey together";
    EXPECT_EQ(ReadSettingsValues("portVigilator")["Port"], "\"COM1\"");
}

TEST_F(RegistrySettings, AFailedWriteLeavesTheOldSettingsWhole)
{
    SettingsValues startUp, changed;
    SaveBoth(startUp, changed);
    const std::string old = ReadAll(platform::RegistryFile());
    Start();
    form->adminOptions = 3;
    form->portVigilator->SetPort("/dev/other");
    const auto before = platform::SetAtomicFileCalls({FailFsync, nullptr});
    EXPECT_THROW(SaveRegistrySettings(form), ERegistryException);
    platform::SetAtomicFileCalls(before);
    EXPECT_EQ(ReadAll(platform::RegistryFile()), old);
    platform::SetRegistryFile(platform::RegistryFile()); // the next start
    EXPECT_EQ(ReadSettingsValues(), changed);
}

} // namespace
