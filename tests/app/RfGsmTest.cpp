// The RF and GSM test jobs without a port: the database rows, the starters'
// refusal, the reply steps walked on virtual time, and the debug logs window.
#include "app/Languages.h"
#include "link/Responses.h"
#include "link/Serial.h"
#include "link/ToolReplies.h"
#include "platform/Dialogs.h"
#include "support/MainWindowFixture.h"
#include "tools/Gsmtest.h"
#include "tools/Readdebuglogs.h"
#include "tools/Rftest.h"

#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <functional>

namespace {

TMsgRecord Reply(std::initializer_list<uint8_t> bytes)
{
    TMsgRecord m;
    for (uint8_t b : bytes)
        m.data[m.length++] = b;
    return m;
}

// A relay reply of the repeater 12 34 56: A8 code a1 a2 a3 payload.
TMsgRecord Relay(uint8_t code, std::initializer_list<uint8_t> payload)
{
    TMsgRecord m = Reply({0xA8, code, 0x12, 0x34, 0x56});
    for (uint8_t b : payload)
        m.data[m.length++] = b;
    return m;
}

TMsgRecord Entry(uint8_t index, uint32_t time, uint32_t serial, uint8_t level, uint8_t spread, uint8_t signal,
                 int flags = -1)
{
    TMsgRecord m = Relay(0xE9, {index, uint8_t(time >> 24), uint8_t(time >> 16), uint8_t(time >> 8), uint8_t(time),
                                uint8_t(serial >> 16), uint8_t(serial >> 8), uint8_t(serial), level, spread, signal});
    if (flags >= 0)
        m.data[m.length++] = uint8_t(flags);
    return m;
}

std::vector<uint8_t> Sent(const TformMain& f) { return {f.txMsg.data, f.txMsg.data + f.txMsg.length}; }

class RfGsm : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        keptLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        platform::SetBeepHook([this](uint32_t type) { beeps.push_back(type); });
        form.Create();
        form->adminOptions = 0; // relays as A7, reply time-out 1000 ms
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        platform::SetBeepHook({});
        QLocale::setDefault(keptLocale_);
    }
    // The repeater 12 34 56 as the reply handler's selection.
    void Address()
    {
        form->repeaterAddr[0] = 0x12;
        form->repeaterAddr[1] = 0x34;
        form->repeaterAddr[2] = 0x56;
    }
    void Take(const TMsgRecord& m) { ProcessRepeaterReply(form, &m); }
    std::vector<std::string> Cells(int row) const
    {
        std::vector<std::string> cells;
        for (int c = 0; c < 11; ++c)
            cells.push_back(form->viewDatabase->topLevelItem(row)->text(c).toStdString());
        return cells;
    }
    std::vector<uint32_t> beeps;

private:
    QLocale keptLocale_;
};

} // namespace

TEST_F(RfGsm, LoggerRowCells)
{
    struct Case {
        TMsgRecord record;
        std::vector<std::string> cells;
        qint64 time;
    };
    const std::string cross = QString(QChar(0xFB)).toStdString(), tick = QString(QChar(0xFC)).toStdString();
    const Case cases[] = {
        {Entry(0, 0, 1234567, 0x85, 0x00, 255), {" 0123-4567", "100%", "N", "01-Jan-70  00:00:00", "L", "5", "0", "", "", "", ""}, 0},
        {Entry(1, 0xFFFFFFFF, 0xFFFFFF, 0xFF, 0xFF, 128, 0x0F),
         {" 1677-7215", "50%", "Y", "07-Feb-06  06:28:15", "L", "127", "127", cross, "%", "%", "%"}, 0xFFFFFFFFLL},
        {Entry(2, 1577836800 + 3723, 9247, 0x00, 0x80, 2, 0xF0),
         {" 0000-9247", "0%", "Y", "01-Jan-20  01:02:03", "N", "0", "0", tick, "", "", ""}, 1577836800 + 3723},
        {Entry(3, 951782400, 1, 0x80, 0x7F, 0, 0x05),
         {" 0000-0001", "0%", "N", "29-Feb-00  00:00:00", "L", "0", "127", tick, "%", "", "%"}, 951782400},
        {Entry(4, 86399, 0, 0x01, 0x02, 254, 0x02),
         {" 0000-0000", "99%", "N", "01-Jan-70  23:59:59", "N", "1", "2", tick, "", "%", ""}, 86399},
    };
    int row = 0;
    for (const Case& c : cases) {
        AddLoggerRecord(form, &c.record);
        EXPECT_EQ(Cells(row), c.cells) << "row " << row;
        QTreeWidgetItem* item = form->viewDatabase->topLevelItem(row);
        EXPECT_EQ(item->data(3, Qt::UserRole).toLongLong(), c.time) << row;
        EXPECT_FALSE(item->data(0, Qt::CheckStateRole).isValid()) << "no visible check box";
        ++row;
        EXPECT_EQ(form->textDatabaseEnum->text().toStdString(),
                  row == 1 ? std::string("1 Logger") : std::to_string(row) + " Loggers");
    }
    TMsgRecord tooShort = Entry(5, 0, 0, 0, 0, 0);
    tooShort.length = 15;
    AddLoggerRecord(form, &tooShort);
    EXPECT_EQ(form->viewDatabase->topLevelItemCount(), row);
}

TEST_F(RfGsm, EveryStarterNeedsASelectedRepeater)
{
    TformMain* f = form;
    const std::function<void()> starters[] = {
        [f] { StartClearDatabase(f); }, [f] { StartPatrol(f); },    [f] { StartReadDatabase(f); },
        [f] { StartGsmLogOn(f, 1); },   [f] { StartGsmLogOn(f, 0); }, [f] { StartTestSms(f); },
        [f] { StartTestFtp(f); },
    };
    new QTreeWidgetItem(form->viewDatabase);
    for (const auto& start : starters) {
        beeps.clear();
        form->SetStatusText("");
        start();
        EXPECT_EQ(form->StatusText(), "  No Repeater selected");
        EXPECT_EQ(beeps, (std::vector<uint32_t>{platform::MB_ICONHAND}));
        EXPECT_EQ(form->opState, osIdle);
        EXPECT_TRUE(form->pageMain->isEnabled());
        EXPECT_FALSE(form->timerMsgTimeout->Enabled()) << "nothing queued";
        EXPECT_EQ(form->viewDatabase->topLevelItemCount(), 1) << "the list is kept";
    }
}

TEST_F(RfGsm, TestRefusalTexts)
{
    const std::tuple<bool, uint8_t, const char*> cases[] = {
        {true, 1, "Error - Invalid telephone number"},   {true, 2, "Error - Invalid telephone number"},
        {true, 5, "Error - Not logged-on to GSM network"}, {true, 3, "Unknown Error"},
        {true, 0, "Unknown Error"},                      {false, 3, "Error - Not logged-on to GSM network"},
        {false, 5, "Error - No GPRS Connection"},        {false, 1, "Unknown Error"},
        {false, 255, "Unknown Error"},
    };
    for (const auto& [sms, code, text] : cases)
        EXPECT_EQ(TestRefusalText(form, sms, code), text) << sms << " " << int(code);
}

TEST_F(RfGsm, DatabaseWalkPausesBetweenEntriesOnly)
{
    Address();
    form->opState = osDatabaseCount;
    form->StartReplyTimer(1000);
    Take(Relay(0xEB, {2, 1, 0}));
    EXPECT_EQ(form->opState, osDatabaseEntries);
    EXPECT_EQ(Sent(*form), (std::vector<uint8_t>{0xC0, 0xA7, 0xE8, 0x12, 0x34, 0x56, 2})) << "highest index first";

    // Replies the step does not wait for change nothing.
    TMsgRecord shortEntry = Entry(2, 0, 0, 0, 0, 0);
    shortEntry.length = 15;
    TMsgRecord longEntry = Entry(2, 0, 0, 0, 0, 0, 0);
    longEntry.data[longEntry.length++] = 0;
    Take(Entry(1, 0, 0, 0, 0, 0));
    Take(shortEntry);
    Take(longEntry);
    EXPECT_EQ(form->viewDatabase->topLevelItemCount(), 0);
    EXPECT_EQ(form->dbEntryIndex, 2);

    int64_t before = platform::MonotonicMs();
    Take(Entry(2, 0, 22, 0, 0, 0));
    EXPECT_EQ(platform::MonotonicMs() - before, 250) << "a pause before the next request";
    EXPECT_EQ(Sent(*form).back(), 1);
    before = platform::MonotonicMs();
    Take(Entry(1, 0, 11, 0, 0, 0, 0));
    EXPECT_EQ(platform::MonotonicMs() - before, 250);
    EXPECT_EQ(Sent(*form).back(), 0);
    Take(Entry(1, 0, 11, 0, 0, 0, 0)); // a late duplicate
    EXPECT_EQ(form->viewDatabase->topLevelItemCount(), 2);
    before = platform::MonotonicMs();
    Take(Entry(0, 0, 0, 0, 0, 0));
    EXPECT_EQ(platform::MonotonicMs() - before, 0) << "no pause after the last";
    EXPECT_EQ(form->StatusText(), "  Database successfully read");
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->textDatabaseEnum->text(), "3 Loggers");
    EXPECT_EQ(form->viewDatabase->topLevelItem(0)->text(0), " 0000-0022") << "rows in arrival order";
}

TEST_F(RfGsm, CountBytesAddingToZeroMeanAnEmptyDatabase)
{
    Address();
    for (auto [a, b] : {std::pair{0, 0}, std::pair{200, 56}}) {
        form->viewDatabase->clear();
        form->opState = osDatabaseCount;
        Take(Relay(0xEB, {uint8_t(a), uint8_t(b), 0}));
        ASSERT_EQ(form->viewDatabase->topLevelItemCount(), 1);
        EXPECT_EQ(form->viewDatabase->topLevelItem(0)->text(0), "Empty");
        EXPECT_EQ(form->StatusText(), "  Empty Database");
        EXPECT_EQ(form->opState, osIdle);
    }
    form->opState = osDatabaseCount;
    TMsgRecord tooShort = Relay(0xEB, {1, 0});
    Take(tooShort);
    EXPECT_EQ(form->opState, osDatabaseCount) << "a count reply without its third byte is not taken";
}

TEST_F(RfGsm, AcknowledgementsStopTheReplyTimerAndPoll)
{
    Address();
    struct Case {
        TOpState state;
        TMsgRecord reply;
        TOpState next;
        const char* status;
    };
    const Case cases[] = {
        {osStartPatrol, Relay(0xD5, {1}), osPatrolPoll, "  Patrol in progress ..."},
        {osLogOnRequest, Relay(0xD5, {0}), osLogOnPoll, "  Logging-on to GSM network ..."},
        {osLogOffRequest, Relay(0xD5, {0}), osLogOffPoll, "  Logging off GSM network ..."},
        {osTestSmsRequest, Relay(0xE7, {}), osTestSmsPoll, "  Sending Test SMS ..."},
        {osTestFtpRequest, Relay(0xE7, {}), osTestFtpPoll, "  Testing FTP Connection ..."},
    };
    for (const Case& c : cases) {
        form->opState = c.state;
        form->StartReplyTimer(1000);
        // The other ECU acknowledgement, and the right one too short, are not taken.
        Take(Relay(0xD5, {uint8_t(c.reply.data[5] ^ 1)}));
        TMsgRecord cut = c.reply;
        --cut.length;
        Take(cut);
        EXPECT_EQ(form->opState, c.state);
        EXPECT_TRUE(form->timerMsgTimeout->Enabled());
        Take(c.reply);
        EXPECT_EQ(form->opState, c.next) << int(c.state);
        EXPECT_FALSE(form->timerMsgTimeout->Enabled());
        EXPECT_TRUE(form->timerTextFlash->Enabled());
        EXPECT_EQ(form->StatusText(), c.status);
        EXPECT_EQ(Sent(*form), (std::vector<uint8_t>{0xC0, 0x2D}));
        form->EndOperation();
    }
    form->opState = osClearDatabase;
    form->StartReplyTimer(1000);
    Take(Relay(0xED, {}));
    EXPECT_EQ(form->StatusText(), "  Database successfully cleared");
    EXPECT_EQ(form->opState, osIdle);
}

TEST_F(RfGsm, RefusedTestsEndWithTheErrorBeep)
{
    Address();
    form->opState = osTestFtpRequest;
    form->StartReplyTimer(1000);
    Take(Relay(0xFF, {0xE6})); // without its code
    EXPECT_EQ(form->opState, osTestFtpRequest);
    Take(Relay(0xFF, {0xE6, 5}));
    EXPECT_EQ(form->StatusText(), "  Error - No GPRS Connection");
    EXPECT_EQ(beeps, (std::vector<uint32_t>{platform::MB_ICONHAND}));
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
}

TEST_F(RfGsm, DebugTimesAreSignedAndUtc)
{
    EXPECT_EQ(DebugLogTimeText(0).toStdString(), "01-Jan-1970, 00:00:00");
    EXPECT_EQ(DebugLogTimeText(-1).toStdString(), "31-Dec-1969, 23:59:59");
    EXPECT_EQ(DebugLogTimeText(int32_t(0x80000000)).toStdString(), "13-Dec-1901, 20:45:52");
    EXPECT_EQ(DebugLogTimeText(0x7FFFFFFF).toStdString(), "19-Jan-2038, 03:14:07");
    EXPECT_EQ(LoggerTimeText(0x80000000).toStdString(), "19-Jan-38  03:14:08") << "the database reads unsigned";
}

TEST_F(RfGsm, DebugLogsWindowTextsAndLayout)
{
    form->menuViewLogsClick();
    ASSERT_NE(formDebugLogs, nullptr);
    TformDebugLogs* w = formDebugLogs;
    form->menuViewLogsClick();
    EXPECT_EQ(formDebugLogs, w) << "one window at a time";
    EXPECT_EQ(w->windowTitle(), " View Debug Logs");
    EXPECT_EQ(w->size(), QSize(712, 417));
    EXPECT_EQ(w->btnReadAll->text(), "&Read All");
    EXPECT_EQ(w->btnAbort->text(), "&Abort");
    EXPECT_TRUE(w->btnAbort->isHidden());
    const char* tabs[] = {"  Summary  ",    "  SMS Tx Success  ", "  SMS Tx Failure  ", "  Radio Failure  ",
                          "  GSM Log-on Failure  ", "  SIM Failure  ", "  Modem Failure  ", "  Received SMS  "};
    ASSERT_EQ(w->pageControl->count(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(w->pageControl->tabText(i).toStdString(), tabs[i]);
    EXPECT_EQ(w->pageControl->currentWidget(), w->tabSummary);
    const char* names[] = {"SMS Tx Success Counter :", "SMS Tx Failure Counter :", "Radio Failure Counter :",
                           "GSM Log-on Failure Counter :", "SIM Failure Counter :", "Modem Failure Counter :",
                           "Received SMS Counter :"};
    int widest = 0;
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(w->counterNames[i]->text().toStdString(), names[i]);
        EXPECT_EQ(w->counterValues[i]->text(), "<Not Read>");
        widest = std::max(widest, w->counterNames[i]->width());
    }
    for (QLabel* value : w->counterValues)
        EXPECT_EQ(value->x(), widest + 16);
    const int buttons = std::max({CaptionWidth(w->textDummy, "&Read All") + 24, CaptionWidth(w->textDummy, "&Abort") + 24, 100});
    EXPECT_EQ(w->btnReadAll->width(), buttons);
    EXPECT_EQ(w->btnAbort->width(), buttons);
    EXPECT_EQ(w->btnAbort->x(), w->btnReadAll->x());
    const int read = std::max(CaptionWidth(w, "Read") + 24, 75);
    for (QPushButton* b : w->ReadButtons()) {
        if (b == w->btnReadAll)
            continue;
        EXPECT_EQ(b->text(), "Read");
        EXPECT_EQ(b->width(), read);
        EXPECT_FALSE(b->isEnabled()) << "no repeater is selected";
    }
    EXPECT_FALSE(w->btnReadAll->isEnabled());
    for (uint8_t log = 0; log < 7; ++log) {
        EXPECT_EQ(w->LogView(log)->headerItem()->text(0), "Date / Time");
        EXPECT_EQ(w->LogView(log)->columnWidth(0), 200);
    }
    EXPECT_EQ(w->LogView(7), nullptr);
    w->close();
    EXPECT_EQ(formDebugLogs, nullptr) << "closing frees the window";
    form->menuViewLogsClick();
    EXPECT_NE(formDebugLogs, nullptr) << "a new one";
}

TEST_F(RfGsm, DebugLogEntriesByLogIndex)
{
    form->menuViewLogsClick();
    TformDebugLogs* w = formDebugLogs;
    auto entry = [](uint8_t log, uint8_t index, uint32_t t) {
        return Relay(0xEF, {log, index, uint8_t(t >> 24), uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t), 0});
    };
    for (uint8_t log = 0; log < 7; ++log) {
        const TMsgRecord m = entry(log, 0, 86400u * log);
        AddDebugLogEntry(w, &m);
    }
    for (uint8_t log = 0; log < 7; ++log) {
        ASSERT_EQ(w->LogView(log)->topLevelItemCount(), 1) << int(log);
        EXPECT_EQ(w->LogView(log)->topLevelItem(0)->text(0),
                  QString("0%1-Jan-1970, 00:00:00").arg(1 + log)) << int(log);
    }
    const TMsgRecord beyond = entry(7, 0, 0);
    AddDebugLogEntry(w, &beyond);
    TMsgRecord cut = entry(5, 0, 0);
    cut.length = 10;
    AddDebugLogEntry(w, &cut);
    int rows = 0;
    for (uint8_t log = 0; log < 7; ++log)
        rows += w->LogView(log)->topLevelItemCount();
    EXPECT_EQ(rows, 7) << "a log index above 6 and a short record add nothing";
}

TEST_F(RfGsm, DebugStepsEndTheJobWhenTheWindowIsGone)
{
    Address();
    for (TOpState state : {osReadCounters, osReadDebugLog}) {
        form->opState = state;
        Take(Relay(0x00, {}));
        EXPECT_EQ(form->opState, osIdle) << "any reply of the repeater ends it";
    }
}
