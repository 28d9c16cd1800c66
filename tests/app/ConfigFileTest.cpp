// Configuration files (".kvt"): the key table and its two orders, the
// integer rule, the telephone-book walks, files from Windows PCs, the faults
// of a naive load, and failures that must leave the old file whole.
#include "app/ConfigFile.h"
#include "app/ConfigPage.h"
#include "app/Main.h"
#include "app/Validate.h"
#include "link/Mme.h"
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/FileDialogs.h"
#include "platform/IniFile.h"
#include "support/ConfigPageState.h"
#include "support/FileBytes.h"
#include "support/MainWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QMenuBar>
#include <QTest>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ConfigFile : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        form.Create();
        platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType type, uint32_t buttons) {
            dialogs.push_back(text);
            dialogTypes.push_back(type);
            return (buttons & platform::mbYes) ? platform::mrYes : platform::mrOk;
        });
        platform::SetBeepHook([this](uint32_t type) { beeps.push_back(type); });
        platform::SetFileDialogHook([this](platform::FileDialogKind kind, const platform::FileDialogOptions& o)
                                        -> std::optional<platform::FileDialogResult> {
            kinds.push_back(kind);
            options.push_back(o);
            if (chosen.empty() || options.size() > 50)
                return std::nullopt;
            return platform::FileDialogResult{chosen, 1};
        });
    }

    void TearDown() override
    {
        platform::SetFileDialogHook({});
        platform::SetBeepHook({});
        platform::SetMessageDlgHook({});
        MainWindowFixture::TearDown();
    }

    // Loads `content` as a .kvt file.
    void Load(const std::string& content)
    {
        WriteAll(file, content);
        TIniFile ini(file);
        LoadConfigFile(form, ini);
    }
    void Save()
    {
        TIniFile ini(file);
        SaveConfigFile(form, ini);
    }

    // The keys of the file, in order.
    std::vector<std::string> Keys() const
    {
        TIniFile ini(file);
        std::vector<std::string> keys;
        ini.ReadSection(kConfigSection, keys);
        return keys;
    }

    // File, then the item, with the mouse.
    void ChooseFromFileMenu(QAction* item)
    {
        if (!form->isVisible())
            form->show();
        QMenuBar* bar = form->menubar;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->menuFile->menuAction()).center());
        ASSERT_TRUE(form->menuFile->isVisible());
        QTest::mouseClick(form->menuFile, Qt::LeftButton, {}, form->menuFile->actionGeometry(item).center());
    }

    // No temporary file of a save is left beside the file.
    bool NoTemporaryFiles() const
    {
        for (const std::string& name : FilesIn(dir.Path()))
            if (name.find(".tmp") != std::string::npos)
                return false;
        return true;
    }

    std::string Value(const std::string& key) const { return TIniFile(file).ReadString(kConfigSection, key, "<none>"); }

    std::string file = dir.File("page.kvt");
    std::string chosen;  // what the user picks in the file dialogs ("" cancels)
    std::vector<platform::FileDialogKind> kinds;
    std::vector<platform::FileDialogOptions> options;
    std::vector<std::string> dialogs;
    std::vector<platform::MsgDlgType> dialogTypes;
    std::vector<uint32_t> beeps;
};

std::vector<std::string> Book(TformMain* form)
{
    std::vector<std::string> book;
    for (int i = 0; i < form->comboHostTel->count(); ++i)
        book.push_back(form->comboHostTel->itemText(i).toStdString());
    return book;
}

const std::vector<std::string> kSaveOrder = {
    "Tx Status 1", "Tx Status 2", "Patrol Daily", "Enable LNA", "Daily Histogarm", "Fortnightly Histogram",
    "Report Daily", "Report Fortnightly", "Low Q+ Battery", "Low Q+ RF", "Low KVT Battery", "Change Via SMS",
    "Clear All Counters", "ECU Active", "ECU Uses Serial", "Message To Repeater", "Enable GPRS", "GSM Band", "Region",
    "Patrol Hour", "Patrol Minute", "Retry Hour", "Retry Minute", "Patrol Duration", "Report Hour", "Report Minute",
    "Stagger Digits", "Stagger Time", "Report Format", "Leak Alarm", "SMS Rx Duration", "GPS Latitude",
    "GPS Longitude", "Host Number", "Engineer Number", "Alarm Number", "Alarm Text", "Low RF Threshold",
    "Serial Number", "ECU Number", "Test Number", "APN", "GPRS Username", "GPRS Password", "FTP Host", "FTP User ID",
    "FTP Password", "FTP Folder", "SIM Number", "Phonebook 0", "Phonebook 1", "MME1", "MME2", "MME3", "MME4", "MME5",
    "MME6", "MME7", "MME8", "Time Zone", "Debug Counters", "Patrol Days", "Report Days", "Histogram Days"};

} // namespace

// ---------------------------------------------------------------- the table

TEST_F(ConfigFile, SaveWritesEveryKeyInItsOrderAndSpelling)
{
    AddNumberToLists(form, "0123");
    AddNumberToLists(form, "0456");
    Save();
    EXPECT_EQ(Keys(), kSaveOrder);
    const std::string bytes = ReadAll(file);
    EXPECT_EQ(bytes.rfind("[Config]\r\nTx Status 1=0\r\nTx Status 2=0\r\nPatrol Daily=0\r\n", 0), 0u) << bytes;
    EXPECT_EQ(Value("Phonebook 1"), "0456");
    EXPECT_EQ(Value("Low RF Threshold"), "13");  // the form's design value
}

TEST_F(ConfigFile, LoadOrderAndDefaults)
{
    std::vector<std::string> order;
    std::vector<std::string> defaults;
    for (const ConfigLoadStep& s : ConfigFileLoadOrder()) {
        order.push_back(s.key);
        if (s.def.number != 0 || !s.def.text.empty())
            defaults.push_back(std::string(s.key) + "=" + (s.def.text.empty() ? std::to_string(s.def.number) : s.def.text));
    }
    std::vector<std::string> expected = {"Tx Status 1", "Tx Status 2", "Enable LNA", "Fortnightly Histogram",
                                         "Report Fortnightly", "Low Q+ Battery", "Low Q+ RF", "Low KVT Battery",
                                         "Change Via SMS", "Clear All Counters", "ECU Active", "ECU Uses Serial",
                                         "Message To Repeater", "Enable GPRS"};
    for (size_t i = 17; i < 49; ++i)  // "GSM Band" .. "SIM Number" as saved
        expected.push_back(kSaveOrder[i]);
    expected.push_back("Phonebook ");
    for (const char* k : {"MME1", "MME2", "MME3", "MME4", "MME5", "MME6", "MME7", "MME8", "Time Zone",
                          "Debug Counters", "Patrol Days", "Patrol Daily", "Report Days", "Report Daily",
                          "Histogram Days", "Daily Histogarm"})
        expected.push_back(k);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(defaults, (std::vector<std::string>{"Message To Repeater=1", "Patrol Hour=7", "Retry Hour=22",
                                                  "Patrol Duration=2", "Report Hour=8", "SMS Rx Duration=7",
                                                  "Low RF Threshold=0"}));
    // Every key of the file has its entry, and each entry is saved.
    for (const std::string& key : order)
        EXPECT_NE(FindConfigValue(key), nullptr) << key;
    EXPECT_EQ(ConfigValues().size(), order.size());
}

TEST_F(ConfigFile, EmptyFileGivesTheDefaults)
{
    form->checkSendToRepeater->setChecked(false);
    form->spinnerTimeZone->setValue(3);
    Load("; nothing here\r\n");
    EXPECT_TRUE(form->checkSendToRepeater->isChecked());
    EXPECT_EQ(form->editLowRfThresh->text(), "0");
    EXPECT_EQ(form->comboPatrolHour->currentIndex(), 7);
    EXPECT_EQ(form->comboRetryHour->currentIndex(), 22);
    EXPECT_EQ(form->comboPatrolDuration->currentIndex(), 2);
    EXPECT_EQ(form->comboReportHour->currentIndex(), 8);
    EXPECT_EQ(form->comboSmsRxDuration->currentIndex(), 7);
    EXPECT_EQ(form->spinnerTimeZone->value(), 0);
    EXPECT_TRUE(form->radioDisableLna->isChecked());
    EXPECT_TRUE(form->radioSms->isChecked());
}

TEST_F(ConfigFile, RoundTripGivesBackEveryControl)
{
    FillConfigPage(form, 4);
    const std::vector<std::string> filled = ConfigPageState(form);
    Save();
    form.Create();
    const std::vector<std::string> fresh = ConfigPageState(form);
    TIniFile ini(file);
    LoadConfigFile(form, ini);
    const std::vector<std::string> loaded = ConfigPageState(form);
    ASSERT_EQ(loaded.size(), filled.size());
    for (size_t i = 0; i < filled.size(); ++i)
        EXPECT_EQ(loaded[i], filled[i]);
    // Every value differed from the new window's, so each really came back.
    for (size_t i = 0; i + 3 < filled.size(); ++i)
        EXPECT_NE(fresh[i], filled[i]);
    // 0xFFF0A5C3 (the clearing entries 20..33 ticked by "Clear All"): bit 31
    // written as a negative.
    EXPECT_EQ(Value("Tx Status 1"), "-1006141");
    EXPECT_EQ(Value("Debug Counters"), "-559038737");
    EXPECT_EQ(Value("Time Zone"), "-5");
    EXPECT_EQ(Value("Patrol Days"), "21");  // the remembered days, not 0x7F
    EXPECT_EQ(Value("MME3"), "0A1BC3");  // the digits alone
    EXPECT_EQ(ReadAll(file).find("Alarm Text=Alarm Text \xE9t\xE9 ; x=y\r\n") != std::string::npos, true);
}

TEST_F(ConfigFile, ManualMessagesAreKeptAsTheirDigits)
{
    Load("[Config]\r\nMME1=0a1BC3\r\nMME2=0A 1B\r\nMME5=C0-3A-02\r\nMME8=123\r\n");
    EXPECT_EQ(form->editManualMsg1->text().left(8), "0A 1B C3");
    EXPECT_EQ(form->editManualMsg2->text().left(5), "0A 1B");
    EXPECT_EQ(form->editManualMsg5->displayText().left(9), "C0 3A 02 ") << "other separators dropped";
    EXPECT_EQ(form->editManualMsg8->text().left(4), "12 3");
    Save();
    EXPECT_EQ(Value("MME1"), "0A1BC3");
    EXPECT_EQ(Value("MME2"), "0A1B");
    EXPECT_EQ(Value("MME5"), "C03A02");
    EXPECT_EQ(Value("MME3"), "");
    EXPECT_EQ(Value("MME8"), "123");
}

TEST_F(ConfigFile, TextsComeBackWithTheirBlanksAndQuotes)
{
    const std::vector<std::string> texts = {"ECU ", " lead", "\"quoted\"", "'x'", "\"", "a \"b\" c", "two\nlines", ""};
    for (const std::string& text : texts) {
        form->editApn->setText(QString::fromStdString(text));
        const std::string shown = form->editApn->text().toStdString();
        Save();
        form->editApn->setText("other");
        TIniFile ini(file);
        LoadConfigFile(form, ini);
        // A line break cannot be kept in a line of the file: it becomes a blank.
        EXPECT_EQ(form->editApn->text().toStdString(), text == "two\nlines" ? "two lines" : shown) << text;
    }
}

// ---------------------------------------------------------------- integers

TEST_F(ConfigFile, IntegersAreDecimalOrHexElseTheDefault)
{
    struct Case {
        const char* text;
        uint32_t debugCounters;  // default 0
        int timeZone;            // default 0, clamped to -12..12
        bool sendToRepeater;     // default true
    };
    const Case cases[] = {
        {"abc", 0, 0, true},
        {"42A", 0, 0, true},
        {"4294967295", 0, 0, true},
        {"+1", 0, 0, true},
        {"", 0, 0, true},
        {"0x1F", 0x1F, 12, true},
        {"0X1f", 0x1F, 12, true},
        {"-5", 0xFFFFFFFB, -5, true},
        {"0", 0, 0, false},
        {"0x0", 0, 0, false},
        {"2", 2, 2, true},
        {" 7 ", 7, 7, true},
        {"0xFFFFFFFF", 0xFFFFFFFF, -1, true},
        {"-2147483648", 0x80000000, -12, true},
        {"2147483648", 0, 0, true},
    };
    for (const Case& c : cases) {
        form->debugCounters = 99;
        Load(std::string("[Config]\r\nDebug Counters=") + c.text + "\r\nTime Zone=" + c.text +
             "\r\nMessage To Repeater=" + c.text + "\r\n");
        EXPECT_EQ(form->debugCounters, c.debugCounters) << c.text;
        EXPECT_EQ(form->spinnerTimeZone->value(), c.timeZone) << c.text;
        EXPECT_EQ(form->checkSendToRepeater->isChecked(), c.sendToRepeater) << c.text;
    }
}

TEST_F(ConfigFile, TxStatusBitsAndComboIndexes)
{
    Load("[Config]\r\nTx Status 1=-2147483648\r\nTx Status 2=0xFFFFC001\r\nGSM Band=99\r\nRegion=-1\r\n"
         "Patrol Hour=23\r\n");
    for (int i = 0; i < kConfigItemCount; ++i)
        EXPECT_EQ(form->configItems[size_t(i)].box->isChecked(), i == 31 || i == 32) << i;
    EXPECT_EQ(form->comboGsmBand->currentIndex(), -1);
    EXPECT_EQ(form->comboRegion->currentIndex(), -1);
    EXPECT_EQ(form->comboPatrolHour->currentIndex(), 23);
    Save();
    EXPECT_EQ(Value("Tx Status 1"), "-2147483648");
    EXPECT_EQ(Value("Tx Status 2"), "1");  // bits 14..31 written 0
    EXPECT_EQ(Value("GSM Band"), "-1");
}

// ---------------------------------------------------------------- telephone book

TEST_F(ConfigFile, BookReadStopsAtAGapSkipsBlanksAndKeepsWhatIsThere)
{
    AddNumberToLists(form, "0999");
    Load("[Config]\r\nPhonebook 0=0111\r\nPhonebook 1=\r\nPhonebook 2=   \r\nPhonebook 3=0999\r\n"
         "Phonebook 4=0444\r\nPhonebook 6=0666\r\n");
    EXPECT_EQ(Book(form), (std::vector<std::string>{"0999", "0111", "0444"}));
    // The next save keeps the whole book.
    Save();
    EXPECT_EQ(Value("Phonebook 2"), "0444");
    EXPECT_EQ(Value("Phonebook 3"), "<none>");
    EXPECT_EQ(Value("Phonebook 6"), "0666");  // beyond the gap at 5: left alone
}

TEST_F(ConfigFile, ShorterBookDeletesTheRestUpToTheFirstGap)
{
    WriteAll(file, "[Config]\r\nPhonebook 0=a\r\nPhonebook 1=b\r\nPhonebook 2=c\r\nPhonebook 3=d\r\n"
                   "Phonebook 4=e\r\nPhonebook 6=g\r\n");
    for (const char* n : {"1", "2", "3"})
        AddNumberToLists(form, n);
    Save();
    EXPECT_EQ(Value("Phonebook 2"), "3");
    EXPECT_EQ(Value("Phonebook 3"), "<none>");
    EXPECT_EQ(Value("Phonebook 4"), "<none>");
    EXPECT_EQ(Value("Phonebook 6"), "g");

    // Past the book's bound nothing is ever loaded, so nothing is deleted.
    std::string big = "[Config]\r\n";
    for (size_t n = 0; n < kPhoneBookLimit + 2; ++n)
        big += "Phonebook " + std::to_string(n) + "=" + std::to_string(n) + "\r\n";
    WriteAll(file, big);
    Save();
    EXPECT_EQ(Value("Phonebook 3"), "<none>");
    EXPECT_EQ(Value("Phonebook 65535"), "<none>");
    EXPECT_EQ(Value("Phonebook 65536"), "65536");
    EXPECT_EQ(Value("Phonebook 65537"), "65537");
}

// ---------------------------------------------------------------- files from Windows

TEST_F(ConfigFile, WindowsFileLoadsAndKeepsItsCommentsAndUnknownKeys)
{
    const std::string windows = "; saved on the office PC\r\n"
                                "[CONFIG]\r\n"
                                "tx status 1 = 5\r\n"
                                "MESSAGE TO REPEATER=0\r\n"
                                "Future Option=keep me\r\n"
                                "; the host\r\n"
                                "host number=\"01234 567\"\r\n"
                                "ALARM TEXT=Caf\xE9 ; not a comment\r\n"
                                "PHONEBOOK 0=0800\r\n"
                                "\r\n"
                                "[Other Program]\r\n"
                                "x=1\r\n";
    Load(windows);
    EXPECT_TRUE(form->configItems[0].box->isChecked());
    EXPECT_TRUE(form->configItems[2].box->isChecked());
    EXPECT_FALSE(form->checkSendToRepeater->isChecked());
    EXPECT_EQ(form->comboHostTel->currentText(), "01234 567");
    EXPECT_EQ(form->editAlarmMsg->text(), QString::fromUtf8("Caf\xC3\xA9 ; not a comment"));
    EXPECT_EQ(Book(form), std::vector<std::string>{"0800"});
    Save();
    const std::string after = ReadAll(file);
    EXPECT_EQ(after.rfind("; saved on the office PC\r\n[CONFIG]\r\ntx status 1 = 5\r\nMESSAGE TO REPEATER=0\r\n"
                          "Future Option=keep me\r\n; the host\r\nhost number=01234 567\r\n",
                          0),
              0u)
        << after;
    EXPECT_NE(after.find("\r\n\r\n[Other Program]\r\nx=1\r\n"), std::string::npos) << after;
    EXPECT_EQ(Keys().size(), kSaveOrder.size());  // a book of one, and the unknown key
}

TEST_F(ConfigFile, FilesWithAByteOrderMarkAreReadAndWrittenBackSo)
{
    const std::string utf16le("\xFF\xFE[\0C\0o\0n\0f\0i\0g\0]\0\r\0\n\0A\0P\0N\0=\0\xE9\0\r\0\n\0", 36);
    std::string utf16be = utf16le;
    for (size_t i = 0; i + 1 < utf16be.size(); i += 2)
        std::swap(utf16be[i], utf16be[i + 1]);
    for (const std::string& bytes : {std::string("\xEF\xBB\xBF[Config]\r\nAPN=\xC3\xA9\r\n"), utf16le, utf16be}) {
        Load(bytes);
        EXPECT_EQ(form->editApn->text(), QString::fromUtf8("\xC3\xA9"));
        Save();
        const std::string after = ReadAll(file);
        EXPECT_EQ(after.substr(0, 2), bytes.substr(0, 2));
        form->editApn->clear();
        TIniFile ini(file);
        LoadConfigFile(form, ini);
        EXPECT_EQ(form->editApn->text(), QString::fromUtf8("\xC3\xA9"));
    }
}

TEST_F(ConfigFile, ASaveLeavesNoSecondCopyOfAKeyAndKeepsANulAsABlank)
{
    Load("[Config]\r\nPhonebook 0=0111\r\nPhonebook 1=0222\r\nAPN=" + std::string("a\0b", 3) +
         "\r\nPhonebook 1=0999\r\nPhonebook 2=0333\r\napn=second\r\n");
    EXPECT_EQ(Book(form), (std::vector<std::string>{"0111", "0222", "0333"}));
    EXPECT_EQ(form->editApn->text(), "a b");
    RemoveNumberFromLists(form, "0222");
    RemoveNumberFromLists(form, "0333");
    Save();
    EXPECT_EQ(ReadAll(file).find("0999"), std::string::npos);
    EXPECT_EQ(ReadAll(file).find("second"), std::string::npos);
    while (form->comboHostTel->count() > 0)
        RemoveNumberFromLists(form, form->comboHostTel->itemText(0).toStdString());
    form->editApn->clear();
    TIniFile ini(file);
    LoadConfigFile(form, ini);
    EXPECT_EQ(Book(form), std::vector<std::string>{"0111"});
    EXPECT_EQ(form->editApn->text(), "a b");
}

TEST_F(ConfigFile, ALoadedTextKeepsItsWholeLengthAndTypingStillStopsAtTheLimit)
{
    // The book is read after the texts, into lists that were empty.
    const std::string message(130, 'A');
    Load("[Config]\r\nLow RF Threshold=12345\r\nECU Number=123456\r\nHost Number=" + std::string(260, '1') +
         "\r\nEngineer Number=" + std::string(60, '2') + "\r\nAlarm Number=" + std::string(60, '3') +
         "\r\nTest Number=" + std::string(51, '4') + "\r\nPhonebook 0=3\r\nMME4=" + message + "\r\n");
    EXPECT_EQ(form->editLowRfThresh->text(), "12345");
    EXPECT_EQ(form->editEcuNum->text(), "123456");
    EXPECT_EQ(form->comboHostTel->currentText().size(), 260);
    EXPECT_EQ(form->comboEngineerTel->currentText().size(), 60);
    EXPECT_EQ(form->comboAlarmTel->currentText().size(), 60);
    EXPECT_EQ(form->comboTestTel->currentText().size(), 51);
    EXPECT_EQ(ManualMessageDigits(form->editManualMsg4->text().toStdString()), message);
    EXPECT_EQ(ValidateLowRfThreshold(form), irInvalid);
    Save();
    EXPECT_EQ(Value("Test Number"), std::string(51, '4'));
    EXPECT_EQ(Value("Alarm Number"), std::string(60, '3'));
    EXPECT_EQ(Value("MME4"), message);
    form->show();

    // The message cannot be typed longer, and once it fits the field again,
    // the field takes no more than it did.
    form->pageMain->setCurrentWidget(form->tabEngineering);
    QLineEdit* mme = form->editManualMsg4;
    mme->setFocus();
    QTest::keyClick(mme, Qt::Key_End);
    QTest::keyClicks(mme, "B");
    QCoreApplication::processEvents();
    EXPECT_EQ(ManualMessageDigits(mme->text().toStdString()), message);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(mme, Qt::Key_Backspace);
    QCoreApplication::processEvents();
    QTest::keyClick(mme, Qt::Key_End);
    QTest::keyClicks(mme, "BB");
    QCoreApplication::processEvents();
    EXPECT_EQ(ManualMessageDigits(mme->text().toStdString()), std::string(126, 'A'));

    form->pageMain->setCurrentIndex(0);
    QLineEdit* edit = form->editLowRfThresh;
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, "6");
    EXPECT_EQ(edit->text(), "12345") << "no longer than it was";
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "67");
    EXPECT_EQ(edit->text(), "1234");
    edit->selectAll();
    QTest::keyClicks(edit, "98765");
    EXPECT_EQ(edit->text(), "987") << "the limit for typing";
}

// ---------------------------------------------------------------- faults of a naive load

TEST_F(ConfigFile, EveryDayAlreadyTickedStillLocksAllDays)
{
    form->boxPatrolDaily->setChecked(true);  // all seven ticked and locked
    Load("[Config]\r\nPatrol Days=5\r\nPatrol Daily=1\r\n");
    EXPECT_EQ(GetPatrolDaysMask(form), 0x7F);  // what a configuration sends
    for (QCheckBox* box : form->patrolDayBoxes)
        EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(form->patrolDays, 5u);
    // Unticking puts the file's days back.
    form->boxPatrolDaily->setChecked(false);
    EXPECT_EQ(GetPatrolDaysMask(form), 5);

    // Ticked in the window, unticked in the file: the file's days come back,
    // not the ones the box remembered.
    SetPatrolDaysMask(form, 0x03);
    form->boxPatrolDaily->setChecked(true);
    Load("[Config]\r\nPatrol Days=0x15\r\nPatrol Daily=0\r\n");
    EXPECT_EQ(GetPatrolDaysMask(form), 0x15);
    EXPECT_TRUE(form->patrolDayBoxes[0]->isEnabled());

    // Unticked in the window, ticked in the file: days first, then the box.
    form->boxReportDaily->setChecked(false);
    Load("[Config]\r\nReport Days=0x41\r\nReport Daily=1\r\nHistogram Days=0x3\r\n");
    EXPECT_EQ(GetReportDaysMask(form), 0x7F);
    EXPECT_EQ(form->reportDays, 0x41u);
    EXPECT_EQ(GetHistDaysMask(form), 3);
    EXPECT_TRUE(form->histDayBoxes[0]->isEnabled());
    Save();
    EXPECT_EQ(Value("Report Days"), "65");
    EXPECT_EQ(Value("Histogram Days"), "3");
}

TEST_F(ConfigFile, ClearAllLoadedFalseKeepsTheLoadedTicks)
{
    form->debugCounters = 0x3FFF;  // an earlier run's clearing ticks: all
    form->boxClearAll->setChecked(true);
    // Entries 20..33 are the clearing boxes: the file ticks only 20 and 21.
    Load("[Config]\r\nTx Status 1=0x300000\r\nClear All Counters=0\r\nDebug Counters=0x2\r\n");
    for (int i = 20; i < 34; ++i) {
        EXPECT_EQ(form->configItems[size_t(i)].box->isChecked(), i < 22) << i;
        EXPECT_TRUE(form->configItems[size_t(i)].box->isEnabled()) << i;
    }
    EXPECT_EQ(form->debugCounters, 2u);

    // Loaded ticked while already ticked: all fourteen ticked and locked.
    form->boxClearAll->setChecked(true);
    Load("[Config]\r\nTx Status 1=0x100000\r\nClear All Counters=1\r\nDebug Counters=0x1\r\n");
    for (int i = 20; i < 34; ++i) {
        EXPECT_TRUE(form->configItems[size_t(i)].box->isChecked()) << i;
        EXPECT_FALSE(form->configItems[size_t(i)].box->isEnabled()) << i;
    }
    EXPECT_EQ(form->debugCounters, 1u);
}

TEST_F(ConfigFile, RadioLoadedFalseChecksItsPartner)
{
    form->radioEnableLna->setChecked(true);
    form->radioEcuActive->setChecked(true);
    form->radioGprs->setChecked(true);
    Load("[Config]\r\nEnable LNA=0\r\nECU Active=0\r\nEnable GPRS=0\r\n");
    EXPECT_TRUE(form->radioDisableLna->isChecked());
    EXPECT_TRUE(form->radioEcuInactive->isChecked());
    EXPECT_TRUE(form->radioSms->isChecked());
    EXPECT_FALSE(form->radioEnableLna->isChecked());
    Load("[Config]\r\nEnable LNA=1\r\nECU Active=1\r\nEnable GPRS=1\r\n");
    EXPECT_TRUE(form->radioEnableLna->isChecked());
    EXPECT_FALSE(form->radioDisableLna->isChecked());
    EXPECT_TRUE(form->radioEcuActive->isChecked());
    EXPECT_TRUE(form->radioGprs->isChecked());
}

TEST_F(ConfigFile, NoChangeHandlerRunsButTheClickBehaviours)
{
    int changes = 0;
    auto count = [&changes] { ++changes; };
    QObject::connect(form->comboGsmBand, &QComboBox::currentIndexChanged, count);
    QObject::connect(form->comboHostTel, &QComboBox::editTextChanged, count);
    QObject::connect(form->editApn, &QLineEdit::textChanged, count);
    QObject::connect(form->editManualMsg1, &QLineEdit::textChanged, count);
    QObject::connect(form->boxLowVantBat, &QCheckBox::toggled, count);
    QObject::connect(form->configItems[0].box, &QCheckBox::toggled, count);
    QObject::connect(form->radioEnableLna, &QRadioButton::toggled, count);
    QObject::connect(form->radioDisableLna, &QRadioButton::toggled, count);
    Load("[Config]\r\nGSM Band=2\r\nHost Number=01\r\nAPN=web\r\nMME1=0A\r\nLow Q+ Battery=1\r\n"
         "Tx Status 1=1\r\nEnable LNA=1\r\nECU Uses Serial=1\r\nTime Zone=4\r\n");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(form->comboGsmBand->currentIndex(), 2);
    EXPECT_TRUE(form->radioEnableLna->isChecked());
    // The click behaviour of "ECU Uses Serial" and the up-down's edit did run.
    EXPECT_FALSE(form->editEcuNum->isEnabled());
    EXPECT_EQ(form->editTimezone->text(), "4");
}

// ---------------------------------------------------------------- the File menu

TEST_F(ConfigFile, DialogsFiltersAndTitle)
{
    EXPECT_EQ(platform::QtNameFilters(kConfigFileFilter),
              (std::vector<std::string>{"Vantelox SMS Repeater files (*.kvt)", "All files (*)"}));
    chosen.clear();  // the user cancels both: nothing happens
    ChooseFromFileMenu(form->menuSave);
    ChooseFromFileMenu(form->menuLoad);
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(kinds[0], platform::FileDialogKind::Save);
    EXPECT_EQ(options[0].title, "Save KVT Configuration");
    EXPECT_EQ(options[0].filter, "Vantelox SMS Repeater files (*.kvt)|*.kvt|All files|*.*");
    EXPECT_EQ(options[0].defaultExt, "kvt");
    EXPECT_TRUE(options[0].overwritePrompt);
    EXPECT_EQ(kinds[1], platform::FileDialogKind::Open);
    EXPECT_EQ(options[1].title, "");  // the platform's own
    EXPECT_EQ(options[1].filter, options[0].filter);
    EXPECT_EQ(options[1].filterIndex, 1);
    EXPECT_EQ(options[1].defaultExt, "kvt");
    EXPECT_TRUE(options[1].fileMustExist);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(dialogs.empty());

    // A name without a suffix gets ".kvt"; success shows nothing.
    chosen = dir.File("page");
    ChooseFromFileMenu(form->menuSave);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(beeps.empty());
}

TEST_F(ConfigFile, FailuresSayUnableToOpenAndLeaveTheOldFile)
{
    const std::string old = "; mine\r\n[Config]\r\nAPN=old\r\n";
    WriteAll(file, old);
    chosen = file;
    auto expectRefused = [&](const char* what) {
        EXPECT_EQ(form->StatusText(), "  Unable to open the file") << what;
        EXPECT_EQ(beeps, std::vector<uint32_t>{platform::MB_ICONHAND}) << what;
        ASSERT_EQ(dialogs.size(), 2u) << what;  // the overwrite question, then the error
        EXPECT_EQ(dialogs[1].rfind("Unable to open the file\n\n", 0), 0u) << dialogs[1];
        EXPECT_NE(dialogs[1].find(file), std::string::npos) << dialogs[1];
        EXPECT_EQ(dialogTypes[1], platform::MsgDlgType::Error);
        EXPECT_EQ(ReadAll(file), old) << what;
        EXPECT_TRUE(NoTemporaryFiles()) << what;
        dialogs.clear();
        dialogTypes.clear();
        beeps.clear();
        form->SetStatusText("");
    };

    // The platform refuses the rename that would replace the file.
    platform::AtomicFileCalls failing;
    failing.rename = [](const char*, const char*) {
        errno = EIO;
        return -1;
    };
    const platform::AtomicFileCalls before = platform::SetAtomicFileCalls(failing);
    ChooseFromFileMenu(form->menuSave);
    platform::SetAtomicFileCalls(before);
    expectRefused("rename");

    // The data cannot be made to last.
    failing = {};
    failing.fsync = [](int) {
        errno = ENOSPC;
        return -1;
    };
    platform::SetAtomicFileCalls(failing);
    ChooseFromFileMenu(form->menuSave);
    platform::SetAtomicFileCalls(before);
    expectRefused("fsync");

    // A read-only file.
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    ChooseFromFileMenu(form->menuSave);
    expectRefused("read-only");
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);

    // A file that cannot be created.
    chosen = dir.File("no such folder/page.kvt");
    ChooseFromFileMenu(form->menuSave);
    EXPECT_EQ(form->StatusText(), "  Unable to open the file");
    EXPECT_EQ(beeps, std::vector<uint32_t>{platform::MB_ICONHAND});
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].find("no such folder/page.kvt"), std::string::npos) << dialogs[0];
    EXPECT_FALSE(fs::exists(dir.File("no such folder")));
    dialogs.clear();
    beeps.clear();

    // A file that cannot be read loads nothing (reading this one fails).
    chosen = dir.File("unreadable.kvt");
    fs::create_symlink("/proc/self/mem", chosen);
    form->editApn->setText("kept");
    ChooseFromFileMenu(form->menuLoad);
    EXPECT_EQ(form->StatusText(), "  Unable to open the file");
    EXPECT_EQ(beeps, std::vector<uint32_t>{platform::MB_ICONHAND});
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].find("unreadable.kvt"), std::string::npos) << dialogs[0];
    EXPECT_EQ(form->editApn->text(), "kept");

    // A file of another kind (no "Config" section) is refused the same way
    // and changes nothing.
    for (const std::string& other : {std::string("\x7F" "ELF\x02\x01\0\0[x]\xFF", 12), std::string("[Other]\r\nAPN=x\r\n")}) {
        chosen = dir.File("other.bin");
        WriteAll(chosen, other);
        dialogs.clear();
        beeps.clear();
        form->SetStatusText("");
        const std::vector<std::string> page = ConfigPageState(form);
        ChooseFromFileMenu(form->menuLoad);
        EXPECT_EQ(form->StatusText(), "  Unable to open the file");
        EXPECT_EQ(beeps, std::vector<uint32_t>{platform::MB_ICONHAND});
        ASSERT_EQ(dialogs.size(), 1u);
        EXPECT_EQ(dialogs[0].rfind("Unable to open the file\n\n", 0), 0u) << dialogs[0];
        EXPECT_EQ(ConfigPageState(form), page);
    }

    // A FIFO, a device or a socket, to load or to save over, is refused at
    // once and stays what it is.
    for (const SpecialFile kind : {SpecialFile::Fifo, SpecialFile::Device, SpecialFile::Socket}) {
        chosen = dir.File(std::string(SpecialFileName(kind)) + ".kvt");
        ASSERT_TRUE(MakeSpecialFile(chosen, kind)) << SpecialFileName(kind);
        const fs::file_type type = fs::symlink_status(chosen).type();
        const std::vector<std::string> page = ConfigPageState(form);
        HangGuard guard(60);
        for (QAction* item : {form->menuLoad, form->menuSave}) {
            dialogs.clear();
            beeps.clear();
            form->SetStatusText("");
            ChooseFromFileMenu(item);
            EXPECT_EQ(form->StatusText(), "  Unable to open the file") << SpecialFileName(kind);
            EXPECT_EQ(beeps, std::vector<uint32_t>{platform::MB_ICONHAND}) << SpecialFileName(kind);
            ASSERT_FALSE(dialogs.empty());
            EXPECT_EQ(dialogs.back().rfind("Unable to open the file\n\n", 0), 0u) << dialogs.back();
            EXPECT_NE(dialogs.back().find("is not a regular file"), std::string::npos) << dialogs.back();
            EXPECT_EQ(ConfigPageState(form), page) << SpecialFileName(kind);
            EXPECT_EQ(fs::symlink_status(chosen).type(), type) << SpecialFileName(kind);
        }
        EXPECT_TRUE(NoTemporaryFiles()) << SpecialFileName(kind);
    }
}

// ---------------------------------------------------------------- killed saves

namespace {

// The writes of a save, to be replayed where no window exists.
class RecordingStore : public ConfigStore {
public:
    void WriteInteger(const std::string& key, int32_t value) override { writes.push_back({key, std::to_string(value)}); }
    void WriteBool(const std::string& key, bool value) override { writes.push_back({key, value ? "1" : "0"}); }
    void WriteText(const std::string& key, const std::string& value) override { writes.push_back({key, value}); }
    bool ValueExists(const std::string&) override { return false; }
    void DeleteValue(const std::string&) override {}
    std::string ReadText(const std::string&) override { return ""; }
    std::vector<std::pair<std::string, std::string>> writes;
};

void Replay(const std::string& file, const std::vector<std::pair<std::string, std::string>>& writes)
{
    TIniFile ini(file);
    ini.BeginUpdate();
    for (const auto& [key, value] : writes)
        ini.WriteString(kConfigSection, key, value);
    ini.UpdateFile();
}

int KillAtFsync(int)
{
    ::_exit(9);  // as if killed while the new content is on its way to the disk
}

int syncsBeforeKill = 0;
int KillAfterRename(int fd)
{
    ::fsync(fd);
    if (++syncsBeforeKill == 2)  // the folder's, after the rename
        ::_exit(9);
    return 0;
}

} // namespace

TEST_F(ConfigFile, KilledSaveLeavesTheOldOrTheNewFileWhole)
{
    FillConfigPage(form, 200);
    RecordingStore a, b;
    SaveConfigValues(form, a);
    form->editApn->setText("changed");
    form->editFtpHost->setText("ftp.example.com");
    SaveConfigValues(form, b);
    WriteAll(file, "; kept\r\n[Config]\r\nFuture=1\r\n");
    Replay(file, a.writes);
    const std::string contentA = ReadAll(file);
    Replay(file, b.writes);
    const std::string contentB = ReadAll(file);
    ASSERT_NE(contentA, contentB);
    WriteAll(file, contentA);

    auto runChild = [&](auto&& body) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            body();
            ::_exit(0);
        }
        return pid;
    };
    auto exitCode = [](pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    };

    // Killed before the rename: the old file; after it: the new one.
    pid_t pid = runChild([&] {
        platform::SetAtomicFileCalls({KillAtFsync, nullptr});
        Replay(file, b.writes);
    });
    EXPECT_EQ(exitCode(pid), 9);
    EXPECT_EQ(ReadAll(file), contentA);
    EXPECT_TRUE(NoTemporaryFiles()) << "killed while its content had no name";
    pid = runChild([&] {
        platform::SetAtomicFileCalls({KillAfterRename, nullptr});
        Replay(file, b.writes);
    });
    EXPECT_EQ(exitCode(pid), 9);
    EXPECT_EQ(ReadAll(file), contentB);

    // Killed at any moment of saves that go on one after the other.
    for (int round = 0; round < 12; ++round) {
        pid = runChild([&] {
            for (int i = 0;; ++i)
                Replay(file, i % 2 ? a.writes : b.writes);
        });
        ::usleep(useconds_t(1000 + round * 1700));
        ::kill(pid, SIGKILL);
        EXPECT_EQ(exitCode(pid), 128 + SIGKILL);
        const std::string now = ReadAll(file);
        EXPECT_TRUE(now == contentA || now == contentB) << "round " << round << ": " << now.size() << " bytes";
    }
    // The content is written without a name: a kill leaves at most the one
    // named for the moment before the rename, and the next save removes it
    // (one that changes the file: a save that changes nothing writes nothing).
    Replay(file, ReadAll(file) == contentA ? b.writes : a.writes);
    EXPECT_TRUE(NoTemporaryFiles());
}
