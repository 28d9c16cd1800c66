// The RF and GSM test tabs against the simulator, driven by clicks: test
// patrol, GSM log-on and log-off, test SMS and FTP test (accepted, refused,
// timed out), clearing and reading the logger database, sorting the list by
// its column headers, and Abort.
#include "e2e/Harness.h"

#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

namespace {

class RfGsmEndToEnd : public JobsEndToEnd {
protected:
    void SetUp() override
    {
        keptLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        JobsEndToEnd::SetUp();
        form->adminOptions = 1; // relays as A7, reply time-out 1000 ms
    }
    void TearDown() override
    {
        JobsEndToEnd::TearDown();
        QLocale::setDefault(keptLocale_);
    }
    // The user picks the tab by its tab, then clicks the button.
    void ShowTab(QWidget* page)
    {
        QTabBar* bar = form->pageMain->tabBar();
        const int index = form->pageMain->indexOf(page);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        ASSERT_EQ(form->pageMain->currentWidget(), page);
    }
    void Click(QPushButton* button)
    {
        ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void LogOnState(bool on)
    {
        repeater->SetLoggedOn(on);
        Advance(1600); // a signal-strength reply or refusal
        ASSERT_EQ(form->gsmLogonState, on ? 2 : 1);
    }
    std::vector<int> Commands() const
    {
        std::vector<int> commands;
        for (const auto& f : Relays())
            commands.push_back(f.RepeaterCommand());
        return commands;
    }
    std::vector<std::string> Column(int column) const
    {
        std::vector<std::string> cells;
        for (int i = 0; i < form->viewDatabase->topLevelItemCount(); ++i)
            cells.push_back(form->viewDatabase->topLevelItem(i)->text(column).toStdString());
        return cells;
    }
    bool Busy() const { return !form->btnAbort->isHidden() && !form->pageMain->isEnabled(); }

private:
    QLocale keptLocale_;
};

sim::LoggerEntry Logger(uint32_t serial, uint32_t time, uint8_t signal, uint8_t level, bool leak,
                        std::optional<uint8_t> flags)
{
    sim::LoggerEntry e;
    e.serial = serial;
    e.patrolTime = time;
    e.signal = signal;
    e.level = level;
    e.leak = leak;
    e.spread = uint8_t(serial % 100);
    e.sent = serial % 2 == 1;
    e.flags = flags;
    return e;
}

} // namespace

TEST_F(RfGsmEndToEnd, PatrolPollsUntilItsReport)
{
    repeater->SetJobDurationMs(3000);
    form->rfTestPatrolSeconds = 8;
    ShowTab(form->tabRfTest);
    Click(form->btnPatrol);
    EXPECT_TRUE(Busy());
    EXPECT_EQ(form->opState, osStartPatrol);
    EXPECT_EQ(form->StatusText(), "  Queueing Start Patrol");
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Patrol in progress ...");
    EXPECT_TRUE(form->timerTextFlash->Enabled());
    Advance(4000);
    EXPECT_EQ(form->StatusText(), "  Patrol complete");
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_FALSE(Busy());
    EXPECT_EQ(repeater->LastPatrolSeconds(), 8);
    EXPECT_EQ(Commands(), (std::vector<int>{0xD4}));
    EXPECT_GE(sim->CountCommand(0x2D), 2u);
    EXPECT_EQ(beeps.back(), platform::MB_ICONASTERISK);
}

TEST_F(RfGsmEndToEnd, LogOnThenLogOff)
{
    repeater->SetJobDurationMs(500);
    LogOnState(false);
    ShowTab(form->tabGsmTest);
    EXPECT_FALSE(form->btnLogOff->isEnabled());
    Click(form->btnLogOn);
    EXPECT_TRUE(Busy());
    EXPECT_EQ(form->opState, osLogOnRequest);
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Logging-on to GSM network ...");
    Advance(1000);
    EXPECT_EQ(form->StatusText(), "  Log-on successful");
    EXPECT_EQ(form->gsmLogonState, 2);
    EXPECT_TRUE(repeater->LoggedOn());
    Advance(1600); // the signal strength shows it and enables the other buttons
    EXPECT_FALSE(form->btnLogOn->isEnabled());
    sim->ClearReceived();
    Click(form->btnLogOff);
    EXPECT_EQ(form->opState, osLogOffRequest);
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Logging off GSM network ...");
    Advance(1000);
    EXPECT_EQ(form->StatusText(), "  Log-off successful");
    EXPECT_FALSE(repeater->LoggedOn());
    const auto logOff = sim->RelaysWithCommand(0xD4);
    ASSERT_EQ(logOff.size(), 1u);
    EXPECT_EQ(logOff[0].RepeaterArgs(), (sim::Bytes{0x00, 0x1F}));
}

TEST_F(RfGsmEndToEnd, TestSmsAndFtpAccepted)
{
    repeater->SetJobDurationMs(500);
    LogOnState(true);
    ShowTab(form->tabGsmTest);
    form->comboTestTel->setEditText("");
    QTest::keyClicks(form->comboTestTel->lineEdit(), "07700900123");
    Click(form->btnRequestTestSms);
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Sending Test SMS ...");
    Advance(1000);
    EXPECT_EQ(form->StatusText(), "  SMS Successfully Sent");
    EXPECT_EQ(repeater->LastTestSmsNumber(), "07700900123");
    Advance(1600);
    Click(form->btnTestFtp);
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Testing FTP Connection ...");
    Advance(1000);
    EXPECT_EQ(form->StatusText(), "  FTP Test Successful");
    EXPECT_EQ(form->opState, osIdle);
}

TEST_F(RfGsmEndToEnd, TestSmsAndFtpRefusedWithEachCode)
{
    LogOnState(true);
    ShowTab(form->tabGsmTest);
    form->comboTestTel->setEditText("0123");
    struct Case {
        bool sms;
        uint8_t code;
        const char* status;
    };
    const Case cases[] = {
        {true, 1, "  Error - Invalid telephone number"},   {true, 2, "  Error - Invalid telephone number"},
        {true, 5, "  Error - Not logged-on to GSM network"}, {true, 3, "  Unknown Error"},
        {false, 3, "  Error - Not logged-on to GSM network"}, {false, 5, "  Error - No GPRS Connection"},
        {false, 1, "  Unknown Error"},
    };
    for (const Case& c : cases) {
        repeater->Gsm().smsRefusal.reset();
        repeater->Gsm().ftpRefusal.reset();
        (c.sms ? repeater->Gsm().smsRefusal : repeater->Gsm().ftpRefusal) = c.code;
        beeps.clear();
        Click(c.sms ? form->btnRequestTestSms : form->btnTestFtp);
        Advance(200);
        EXPECT_EQ(form->StatusText(), c.status) << c.sms << " " << int(c.code);
        EXPECT_EQ(beeps, (std::vector<uint32_t>{platform::MB_ICONHAND}));
        EXPECT_EQ(form->opState, osIdle);
        EXPECT_FALSE(Busy());
        EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    }
    EXPECT_EQ(sim->CountCommand(0x2D), 0u) << "a refused test is not polled for";
}

TEST_F(RfGsmEndToEnd, UnansweredTestsTimeOut)
{
    LogOnState(true);
    ShowTab(form->tabGsmTest);
    form->comboTestTel->setEditText("0123");
    for (QPushButton* button : {form->btnRequestTestSms, form->btnTestFtp, form->btnLogOff}) {
        repeater->DropReplies(0xE6);
        repeater->DropReplies(0xD4);
        sim->ClearReceived();
        Click(button);
        Advance(2900);
        EXPECT_TRUE(Busy());
        Advance(200);
        EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
        EXPECT_EQ(form->opState, osIdle);
        EXPECT_EQ(Relays().size(), 3u) << "three sends in all";
        repeater->ClearFaults();
        Advance(1600);
    }
}

TEST_F(RfGsmEndToEnd, ClearDatabaseKeepsTheControls)
{
    repeater->SetLoggers({Logger(1, 0, 0, 0, false, {})});
    ShowTab(form->tabRfTest);
    Click(form->btnClearDatabase);
    EXPECT_EQ(form->opState, osClearDatabase);
    EXPECT_TRUE(form->pageMain->isEnabled());
    EXPECT_TRUE(form->btnAbort->isHidden());
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Database successfully cleared");
    EXPECT_TRUE(repeater->Loggers().empty());
    EXPECT_EQ(form->opState, osIdle);
}

TEST_F(RfGsmEndToEnd, ReadDatabasesOfSeveralSizes)
{
    ShowTab(form->tabRfTest);
    for (int n : {0, 1, 3, 255}) {
        std::vector<sim::LoggerEntry> loggers;
        for (int i = 0; i < n; ++i)
            loggers.push_back(Logger(uint32_t(1000 + i), uint32_t(1700000000 + 60 * i), uint8_t(i), uint8_t(i & 0x7F),
                                     i % 3 == 0, i % 2 ? std::optional<uint8_t>(uint8_t(i)) : std::nullopt));
        repeater->SetLoggers(loggers);
        new QTreeWidgetItem(form->viewDatabase, QStringList{"old"});
        sim->ClearReceived();
        Click(form->btnReadDatabase);
        EXPECT_EQ(form->viewDatabase->topLevelItemCount(), 0) << "cleared at the start";
        EXPECT_EQ(form->textDatabaseEnum->text(), "0 Loggers");
        EXPECT_TRUE(Busy());
        const int64_t start = platform::MonotonicMs();
        while (form->opState != osIdle && platform::MonotonicMs() - start < 120000)
            Advance(100);
        const int64_t took = platform::MonotonicMs() - start;
        if (n == 0) {
            EXPECT_EQ(Column(0), (std::vector<std::string>{"Empty"}));
            EXPECT_EQ(form->StatusText(), "  Empty Database");
            EXPECT_EQ(form->textDatabaseEnum->text(), "0 Loggers");
            continue;
        }
        EXPECT_EQ(form->StatusText(), "  Database successfully read") << n;
        ASSERT_EQ(form->viewDatabase->topLevelItemCount(), n);
        EXPECT_EQ(form->textDatabaseEnum->text().toStdString(), n == 1 ? "1 Logger" : std::to_string(n) + " Loggers");
        // Read downwards: the first row is the highest index.
        EXPECT_EQ(Column(0).front(), RepeaterIdText(uint32_t(1000 + n - 1)));
        EXPECT_EQ(Column(0).back(), " 0000-1000");
        const auto requests = sim->RelaysWithCommand(0xE8);
        ASSERT_EQ(requests.size(), size_t(n));
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(requests[size_t(i)].RepeaterArgs(), (sim::Bytes{uint8_t(n - 1 - i)}));
        // The pauses between entries, none after the last.
        for (int i = 1; i < n; ++i)
            EXPECT_GE(requests[size_t(i)].timeMs - requests[size_t(i - 1)].timeMs, 250);
        EXPECT_GE(took, 250 * (n - 1));
        EXPECT_LT(took, 250 * (n - 1) + 100 * n + 200);
        if (n == 3) {
            EXPECT_EQ(Column(7), (std::vector<std::string>{"", QString(QChar(0xFC)).toStdString(), ""}))
                << "16-byte entries leave the battery and alarm cells empty";
            EXPECT_EQ(Column(10), (std::vector<std::string>{"", "%", ""}));
            EXPECT_EQ(Column(3)[2], "14-Nov-23  22:13:20");
        }
    }
    EXPECT_EQ(form->StatusText(), "  Database successfully read");
}

TEST_F(RfGsmEndToEnd, ListSortedByAClickOnEachHeader)
{
    repeater->SetLoggers({Logger(300, 200, 50, 9, false, 0x08), Logger(100, 300, 10, 120, true, 0x01),
                          Logger(200, 100, 255, 0, false, {})});
    ShowTab(form->tabRfTest);
    Click(form->btnReadDatabase);
    Advance(2000);
    ASSERT_EQ(form->viewDatabase->topLevelItemCount(), 3);
    QHeaderView* header = form->viewDatabase->header();
    auto clickHeader = [&](int column) {
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    auto serials = [&] {
        std::string s;
        for (const auto& cell : Column(0))
            s += cell.substr(7, 1);
        return s;
    };
    clickHeader(0);
    EXPECT_EQ(serials(), "123");
    clickHeader(0);
    EXPECT_EQ(serials(), "321");
    clickHeader(1); // 19%, 3%, 100%
    EXPECT_EQ(serials(), "132");
    clickHeader(3); // patrol times 300, 100, 200
    EXPECT_EQ(serials(), "231");
    clickHeader(3);
    EXPECT_EQ(serials(), "132");
    clickHeader(5); // levels 120, 0, 9
    EXPECT_EQ(serials(), "231");
    for (int column : {2, 4, 6, 7, 8, 9, 10}) {
        clickHeader(column);
        const auto cells = Column(column);
        EXPECT_TRUE(std::is_sorted(cells.begin(), cells.end(), [](const std::string& a, const std::string& b) {
            return QString::localeAwareCompare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
        })) << column;
    }
    EXPECT_EQ(form->sortColumn, 10);
}

TEST_F(RfGsmEndToEnd, AbortEndsTheDatabaseRead)
{
    std::vector<sim::LoggerEntry> loggers(10);
    repeater->SetLoggers(loggers);
    ShowTab(form->tabRfTest);
    Click(form->btnReadDatabase);
    Advance(700);
    Click(form->btnAbort);
    EXPECT_EQ(form->StatusText(), "  Action aborted by user");
    EXPECT_EQ(form->opState, osIdle);
    const size_t sent = sim->RelaysWithCommand(0xE8).size();
    const int rows = form->viewDatabase->topLevelItemCount();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 10);
    Advance(3000);
    EXPECT_EQ(sim->RelaysWithCommand(0xE8).size(), sent);
    EXPECT_EQ(form->viewDatabase->topLevelItemCount(), rows) << "the rows read stay";
}
