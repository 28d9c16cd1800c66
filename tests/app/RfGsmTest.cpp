// The RF and GSM test jobs without a port: database rows, the starters'
// refusal, reply steps on virtual time, and the debug logs window's layout.
#include "app/Languages.h"
#include "link/Responses.h"
#include "link/Serial.h"
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

// A relay reply of the repeater 12 34 56: A8 code a1 a2 a3 payload.
TMsgRecord Relay(uint8_t code, std::initializer_list<uint8_t> payload)
{
    TMsgRecord m;
    for (uint8_t b : {uint8_t(0xA8), code, uint8_t(0x12), uint8_t(0x34), uint8_t(0x56)})
        m.data[m.length++] = b;
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

TMsgRecord Cut(TMsgRecord m, int by)
{
    m.length = uint16_t(m.length - by);
    return m;
}

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
        form->repeaterAddr[0] = 0x12, form->repeaterAddr[1] = 0x34, form->repeaterAddr[2] = 0x56;
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        platform::SetBeepHook({});
        QLocale::setDefault(keptLocale_);
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
    const std::string x = QString(QChar(0xFB)).toStdString(), v = QString(QChar(0xFC)).toStdString();
    const std::tuple<TMsgRecord, std::vector<std::string>, qint64> cases[] = {
        {Entry(0, 0, 1234567, 0x85, 0x00, 255), {" 0123-4567", "100%", "N", "01-Jan-70  00:00:00", "L", "5", "0", "", "", "", ""}, 0},
        {Entry(1, 0xFFFFFFFF, 0xFFFFFF, 0x7F, 0xFF, 128, 0x0F),
         {" 1677-7215", "50%", "Y", "07-Feb-06  06:28:15", "N", "127", "127", x, "%", "%", "%"}, 0xFFFFFFFFLL},
        {Entry(2, 951782400 + 3723, 9247, 0x80, 0x80, 2, 0xF5),
         {" 0000-9247", "0%", "Y", "29-Feb-00  01:02:03", "L", "0", "0", v, "%", "", "%"}, 951782400 + 3723},
        {Entry(3, 86399, 0, 0x01, 0x02, 254, 0x02), {" 0000-0000", "99%", "N", "01-Jan-70  23:59:59", "N", "1", "2", v, "", "%", ""}, 86399},
    };
    int row = 0;
    for (const auto& [record, cells, time] : cases) {
        AddLoggerRecord(form, &record);
        EXPECT_EQ(Cells(row), cells) << "row " << row;
        EXPECT_EQ(form->viewDatabase->topLevelItem(row)->data(3, Qt::UserRole).toLongLong(), time) << row;
        EXPECT_FALSE(form->viewDatabase->topLevelItem(row)->data(0, Qt::CheckStateRole).isValid()) << "no check box";
        ++row;
        EXPECT_EQ(form->textDatabaseEnum->text().toStdString(), row == 1 ? "1 Logger" : std::to_string(row) + " Loggers");
    }
    const TMsgRecord tooShort = Cut(Entry(5, 0, 0, 0, 0, 0), 1);
    AddLoggerRecord(form, &tooShort);
    EXPECT_EQ(form->viewDatabase->topLevelItemCount(), row);
}

TEST_F(RfGsm, EveryStarterNeedsASelectedRepeater)
{
    TformMain* f = form;
    const std::function<void()> starters[] = {
        [f] { StartClearDatabase(f); }, [f] { StartPatrol(f); },      [f] { StartReadDatabase(f); },
        [f] { StartGsmLogOn(f, 1); },   [f] { StartGsmLogOn(f, 0); }, [f] { StartTestSms(f); }, [f] { StartTestFtp(f); },
    };
    new QTreeWidgetItem(form->viewDatabase);
    for (const auto& start : starters) {
        beeps.clear();
        start();
        EXPECT_EQ(form->StatusText(), "  No Repeater selected");
        EXPECT_EQ(beeps, (std::vector<uint32_t>{platform::MB_ICONHAND}));
        EXPECT_EQ(form->opState, osIdle);
        EXPECT_TRUE(form->pageMain->isEnabled());
        EXPECT_FALSE(form->timerMsgTimeout->Enabled()) << "nothing queued";
        EXPECT_EQ(form->viewDatabase->topLevelItemCount(), 1) << "the list is kept";
    }
}

TEST_F(RfGsm, DatabaseStepsTakeOnlyTheEntryTheyWaitFor)
{
    // (200 + 56) mod 256 is an empty database, and so is a count of 0.
    for (uint8_t first : {0, 200}) {
        form->viewDatabase->clear();
        form->opState = osDatabaseCount;
        Take(Relay(0xEB, {first, uint8_t(256 - first), 0}));
        ASSERT_EQ(form->viewDatabase->topLevelItemCount(), 1);
        EXPECT_EQ(form->viewDatabase->topLevelItem(0)->text(0), "Empty");
        EXPECT_EQ(form->StatusText(), "  Empty Database");
    }
    form->viewDatabase->clear();
    form->opState = osDatabaseCount;
    Take(Relay(0xEB, {1, 1}));
    EXPECT_EQ(form->opState, osDatabaseCount) << "a count without its third byte is not taken";
    Take(Relay(0xEB, {1, 1, 0}));
    EXPECT_EQ(form->dbEntryIndex, 1);
    for (const TMsgRecord& m : {Entry(0, 0, 0, 0, 0, 0), Cut(Entry(1, 0, 0, 0, 0, 0), 1), Relay(0xE9, {1, 0, 0, 0, 0,
                                0, 0, 0, 0, 0, 0, 0, 0})})
        Take(m); // another index, 15 bytes, 18 bytes
    EXPECT_EQ(form->viewDatabase->topLevelItemCount(), 0);
    int64_t before = platform::MonotonicMs();
    Take(Entry(1, 0, 0, 0, 0, 0));
    EXPECT_EQ(platform::MonotonicMs() - before, 250) << "a pause before the next request";
    before = platform::MonotonicMs();
    Take(Entry(0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(platform::MonotonicMs() - before, 0) << "none after the last";
    EXPECT_EQ(form->StatusText(), "  Database successfully read");
}

TEST_F(RfGsm, AcknowledgementsStopTheReplyTimerThenPoll)
{
    const std::tuple<TOpState, TMsgRecord, TOpState, const char*> cases[] = {
        {osStartPatrol, Relay(0xD5, {1}), osPatrolPoll, "  Patrol in progress ..."},
        {osLogOnRequest, Relay(0xD5, {0}), osLogOnPoll, "  Logging-on to GSM network ..."},
        {osLogOffRequest, Relay(0xD5, {0}), osLogOffPoll, "  Logging off GSM network ..."},
        {osTestSmsRequest, Relay(0xE7, {}), osTestSmsPoll, "  Sending Test SMS ..."},
        {osTestFtpRequest, Relay(0xE7, {}), osTestFtpPoll, "  Testing FTP Connection ..."},
        {osClearDatabase, Relay(0xED, {}), osIdle, "  Database successfully cleared"},
    };
    for (const auto& [state, reply, next, status] : cases) {
        form->opState = state;
        form->StartReplyTimer(1000);
        Take(Relay(0xD5, {uint8_t(reply.data[5] ^ 1)})); // the other ECU acknowledgement
        Take(Cut(reply, 1));
        Take(Relay(0xFF, {0xE6})); // a refusal without its code
        EXPECT_EQ(form->opState, state);
        EXPECT_TRUE(form->timerMsgTimeout->Enabled());
        Take(reply);
        EXPECT_EQ(form->opState, next) << int(state);
        EXPECT_FALSE(form->timerMsgTimeout->Enabled());
        EXPECT_EQ(form->StatusText(), status);
        if (next != osIdle) {
            EXPECT_TRUE(form->timerTextFlash->Enabled());
            EXPECT_EQ(std::vector<uint8_t>(form->txMsg.data, form->txMsg.data + form->txMsg.length),
                      (std::vector<uint8_t>{0xC0, 0x2D}));
        }
        form->EndOperation();
    }
}

TEST_F(RfGsm, DebugLogsWindow)
{
    form->menuViewLogsClick();
    TformDebugLogs* w = formDebugLogs;
    ASSERT_NE(w, nullptr);
    form->menuViewLogsClick();
    EXPECT_EQ(formDebugLogs, w) << "one window at a time";
    EXPECT_EQ(w->windowTitle(), " View Debug Logs");
    EXPECT_EQ(w->size(), QSize(712, 417));
    const char* tabs[] = {"  Summary  ",           "  SMS Tx Success  ", "  SMS Tx Failure  ", "  Radio Failure  ",
                          "  GSM Log-on Failure  ", "  SIM Failure  ",    "  Modem Failure  ",  "  Received SMS  "};
    ASSERT_EQ(w->pageControl->count(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(w->pageControl->tabText(i).toStdString(), tabs[i]);
    int widest = 0;
    for (QLabel* name : w->counterNames)
        widest = std::max(widest, name->width());
    EXPECT_EQ(w->counterNames[3]->text(), "GSM Log-on Failure Counter :");
    for (QLabel* value : w->counterValues) {
        EXPECT_EQ(value->text(), "<Not Read>");
        EXPECT_EQ(value->x(), widest + 16);
    }
    const int wide = std::max({CaptionWidth(w->textDummy, "&Read All") + 24, CaptionWidth(w->textDummy, "&Abort") + 24, 100});
    EXPECT_EQ(w->btnReadAll->width(), wide);
    EXPECT_EQ(w->btnAbort->geometry(), QRect(w->btnReadAll->x(), 9, wide, 30));
    for (QPushButton* b : w->ReadButtons()) {
        EXPECT_FALSE(b->isEnabled()) << "no repeater is selected";
        if (b != w->btnReadAll) {
            EXPECT_EQ(b->width(), std::max(CaptionWidth(w, "Read") + 24, 75));
        }
    }

    // Times are signed and shown in UTC; a log index above 6 or a short record adds nothing.
    auto entry = [](uint8_t log, uint32_t t) {
        return Relay(0xEF, {log, 0, uint8_t(t >> 24), uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t), 0});
    };
    const std::pair<uint32_t, const char*> times[] = {{0, "01-Jan-1970, 00:00:00"}, {0xFFFFFFFF, "31-Dec-1969, 23:59:59"},
                                                      {0x80000000, "13-Dec-1901, 20:45:52"}};
    for (const auto& [t, text] : times) {
        const TMsgRecord m = entry(3, t);
        AddDebugLogEntry(w, &m);
        EXPECT_EQ(w->viewLogonFails->topLevelItem(w->viewLogonFails->topLevelItemCount() - 1)->text(0), text);
    }
    EXPECT_EQ(LoggerTimeText(0x80000000).toStdString(), "19-Jan-38  03:14:08") << "the database reads unsigned";
    for (const TMsgRecord& m : {entry(7, 0), entry(255, 0), Cut(entry(3, 0), 2)})
        AddDebugLogEntry(w, &m);
    int rows = 0;
    for (uint8_t log = 0; log < 7; ++log)
        rows += w->LogView(log)->topLevelItemCount();
    EXPECT_EQ(rows, 3);

    w->close();
    EXPECT_EQ(formDebugLogs, nullptr) << "closing frees the window";
    form->opState = osReadDebugLog;
    Take(Relay(0x00, {}));
    EXPECT_EQ(form->opState, osIdle) << "with the window gone, any reply ends the read";
}
