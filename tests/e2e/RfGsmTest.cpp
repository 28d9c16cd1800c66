// The RF and GSM test tabs against the simulator, driven by clicks.
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
    void ShowTab(QWidget* page)
    {
        QTabBar* bar = form->pageMain->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(form->pageMain->indexOf(page)).center());
        ASSERT_EQ(form->pageMain->currentWidget(), page);
    }
    void Click(QPushButton* button)
    {
        ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Clicks, then checks the status text after the acknowledgement and at the end.
    void Job(QPushButton* button, const std::string& during, const std::string& after)
    {
        Click(button);
        EXPECT_TRUE(Busy());
        Advance(100);
        EXPECT_EQ(form->StatusText(), during);
        Advance(1000);
        EXPECT_EQ(form->StatusText(), after);
        EXPECT_FALSE(Busy());
        Advance(1600); // the next signal-strength reply
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

sim::LoggerEntry Logger(uint32_t serial, uint32_t time, uint8_t signal, uint8_t level, std::optional<uint8_t> flags)
{
    sim::LoggerEntry e;
    e.serial = serial;
    e.patrolTime = time;
    e.signal = signal;
    e.level = level;
    e.leak = serial % 3 == 0;
    e.spread = uint8_t(serial % 100);
    e.sent = serial % 2 == 1;
    e.flags = flags;
    return e;
}

} // namespace

TEST_F(RfGsmEndToEnd, PatrolAndGsmJobsRunToTheirReports)
{
    repeater->SetJobDurationMs(500);
    Advance(1600);
    ASSERT_EQ(form->gsmLogonState, 1) << "not logged on at first";
    ShowTab(form->tabRfTest);
    Job(form->btnPatrol, "  Patrol in progress ...", "  Patrol complete");
    EXPECT_EQ(repeater->LastPatrolSeconds(), form->rfTestPatrolSeconds);
    ShowTab(form->tabGsmTest);
    Job(form->btnLogOn, "  Logging-on to GSM network ...", "  Log-on successful");
    EXPECT_TRUE(repeater->LoggedOn());
    form->comboTestTel->setEditText("");
    QTest::keyClicks(form->comboTestTel->lineEdit(), "07700900123");
    Job(form->btnRequestTestSms, "  Sending Test SMS ...", "  SMS Successfully Sent");
    EXPECT_EQ(repeater->LastTestSmsNumber(), "07700900123");
    Job(form->btnTestFtp, "  Testing FTP Connection ...", "  FTP Test Successful");
    Job(form->btnLogOff, "  Logging off GSM network ...", "  Log-off successful");
    EXPECT_FALSE(repeater->LoggedOn());
    std::vector<sim::Bytes> sent;
    for (const auto& f : Relays()) {
        sent.push_back({uint8_t(f.RepeaterCommand())});
        const sim::Bytes args = f.RepeaterArgs();
        sent.back().insert(sent.back().end(), args.begin(), args.end());
    }
    const std::vector<sim::Bytes> expected {{0xD4, 0x01, form->rfTestPatrolSeconds}, {0xD4, 0x00, 0x10},
                                            sim::Bytes {0xE6, 0x00, '0', '7', '7', '0', '0', '9', '0', '0', '1', '2', '3'},
                                            {0xE6, 0x02}, {0xD4, 0x00, 0x1F}};
    EXPECT_EQ(sent, expected);
}

TEST_F(RfGsmEndToEnd, DisabledControlsStillLookDisabledAfterAJob)
{
    repeater->SetJobDurationMs(500);
    Advance(1600);
    ShowTab(form->tabGsmTest);
    ASSERT_FALSE(form->btnLogOff->isEnabled()) << "not logged on";
    const auto disabledText = [this] {
        return form->btnLogOff->palette().color(QPalette::Disabled, QPalette::ButtonText);
    };
    const QColor before = disabledText();
    ShowTab(form->tabRfTest);
    Job(form->btnPatrol, "  Patrol in progress ...", "  Patrol complete");
    EXPECT_FALSE(form->btnLogOff->isEnabled());
    EXPECT_EQ(disabledText(), before);
    EXPECT_NE(disabledText(), form->btnLogOff->palette().color(QPalette::Active, QPalette::ButtonText));
}

TEST_F(RfGsmEndToEnd, TestsRefusedWithEachCodeOrUnanswered)
{
    repeater->SetLoggedOn(true);
    Advance(1600);
    ShowTab(form->tabGsmTest);
    form->comboTestTel->setEditText("0123");
    const std::tuple<bool, uint8_t, const char*> cases[] = {
        {true, 1, "  Error - Invalid telephone number"},    {true, 2, "  Error - Invalid telephone number"},
        {true, 5, "  Error - Not logged-on to GSM network"}, {true, 3, "  Unknown Error"},
        {false, 3, "  Error - Not logged-on to GSM network"}, {false, 5, "  Error - No GPRS Connection"},
        {false, 1, "  Unknown Error"},
    };
    for (const auto& [sms, code, status] : cases) {
        repeater->Gsm().smsRefusal.reset();
        repeater->Gsm().ftpRefusal.reset();
        (sms ? repeater->Gsm().smsRefusal : repeater->Gsm().ftpRefusal) = code;
        beeps.clear();
        Click(sms ? form->btnRequestTestSms : form->btnTestFtp);
        Advance(200);
        EXPECT_EQ(form->StatusText(), status) << sms << " " << int(code);
        EXPECT_EQ(beeps, (std::vector<uint32_t>{platform::MB_ICONHAND}));
        EXPECT_FALSE(Busy());
    }
    EXPECT_EQ(sim->CountCommand(0x2D), 0u) << "a refused test is not polled for";

    repeater->ClearFaults();
    repeater->DropReplies(0xE6);
    for (QPushButton* button : {form->btnRequestTestSms, form->btnTestFtp}) {
        sim->ClearReceived();
        Click(button);
        Advance(2900);
        EXPECT_TRUE(Busy());
        Advance(200);
        EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
        EXPECT_EQ(Relays().size(), 3u) << "three sends in all";
    }
}

TEST_F(RfGsmEndToEnd, ClearDatabaseKeepsTheControls)
{
    repeater->SetLoggers({Logger(1, 0, 0, 0, {})});
    ShowTab(form->tabRfTest);
    Click(form->btnClearDatabase);
    EXPECT_EQ(form->opState, osClearDatabase);
    EXPECT_TRUE(form->pageMain->isEnabled());
    EXPECT_TRUE(form->btnAbort->isHidden());
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Database successfully cleared");
    EXPECT_TRUE(repeater->Loggers().empty());
}

TEST_F(RfGsmEndToEnd, ReadDatabasesOfSeveralSizes)
{
    ShowTab(form->tabRfTest);
    for (int n : {0, 1, 3, 255}) {
        std::vector<sim::LoggerEntry> loggers;
        for (int i = 0; i < n; ++i)
            loggers.push_back(Logger(uint32_t(1000 + i), uint32_t(1700000000 + 60 * i), uint8_t(i), uint8_t(i),
                                     i % 2 ? std::optional<uint8_t>(uint8_t(i)) : std::nullopt));
        repeater->SetLoggers(loggers);
        new QTreeWidgetItem(form->viewDatabase, QStringList {"old"});
        sim->ClearReceived();
        Click(form->btnReadDatabase);
        EXPECT_EQ(form->viewDatabase->topLevelItemCount(), 0) << "cleared at the start";
        EXPECT_EQ(form->textDatabaseEnum->text(), "0 Loggers");
        const int64_t start = platform::MonotonicMs();
        while (form->opState != osIdle && platform::MonotonicMs() - start < 120000)
            Advance(100);
        const int64_t took = platform::MonotonicMs() - start;
        if (n == 0) {
            EXPECT_EQ(Column(0), (std::vector<std::string> {"Empty"}));
            EXPECT_EQ(form->StatusText(), "  Empty Database");
            continue;
        }
        EXPECT_EQ(form->StatusText(), "  Database successfully read") << n;
        ASSERT_EQ(form->viewDatabase->topLevelItemCount(), n);
        EXPECT_EQ(form->textDatabaseEnum->text().toStdString(), n == 1 ? "1 Logger" : std::to_string(n) + " Loggers");
        EXPECT_EQ(Column(0).front(), RepeaterIdText(uint32_t(1000 + n - 1))) << "read downwards";
        const auto requests = sim->RelaysWithCommand(0xE8);
        ASSERT_EQ(requests.size(), size_t(n));
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(requests[size_t(i)].RepeaterArgs(), (sim::Bytes {uint8_t(n - 1 - i)}));
            if (i > 0) {
                EXPECT_GE(requests[size_t(i)].timeMs - requests[size_t(i - 1)].timeMs, 250);
            }
        }
        EXPECT_GE(took, 250 * (n - 1));
        EXPECT_LT(took, 250 * (n - 1) + 100 * n + 200) << "no pause after the last";
        if (n == 3) {
            EXPECT_EQ(Column(7), (std::vector<std::string> {"", QString(QChar(0xFC)).toStdString(), ""}))
                << "16-byte entries leave the battery and alarm cells empty";
            EXPECT_EQ(Column(3)[2], "14-Nov-23  22:13:20");
        }
    }
}

TEST_F(RfGsmEndToEnd, ListSortedByAClickOnEachHeader)
{
    repeater->SetLoggers({Logger(300, 200, 50, 9, 0x08), Logger(100, 300, 10, 120, 0x01), Logger(200, 100, 255, 0, {})});
    ShowTab(form->tabRfTest);
    Click(form->btnReadDatabase);
    Advance(2000);
    ASSERT_EQ(form->viewDatabase->topLevelItemCount(), 3);
    QHeaderView* header = form->viewDatabase->header();
    auto order = [&](int column) {
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        std::string s;
        for (const auto& cell : Column(0))
            s += cell.substr(7, 1);
        return s;
    };
    EXPECT_EQ(order(0), "123");
    EXPECT_EQ(order(0), "321") << "the same column again reverses";
    EXPECT_EQ(order(1), "132") << "signal 3%, 19%, 100%";
    EXPECT_EQ(order(3), "231") << "patrol times 100, 200, 300";
    EXPECT_EQ(order(5), "231") << "levels 0, 9, 120";
    for (int column : {2, 4, 6, 7, 8, 9, 10}) {
        order(column);
        const auto cells = Column(column);
        EXPECT_TRUE(std::is_sorted(cells.begin(), cells.end(), [](const std::string& a, const std::string& b) {
            return QString::localeAwareCompare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
        })) << column;
    }
}

TEST_F(RfGsmEndToEnd, AbortEndsTheDatabaseRead)
{
    repeater->SetLoggers(std::vector<sim::LoggerEntry>(200));
    // The walk goes on as each reply comes in: answers that take a while
    // leave the user time to click.
    sim->SetReplyDelayMs(20);
    ShowTab(form->tabRfTest);
    Click(form->btnReadDatabase);
    // Abort once the first rows are in, wherever the walk is by then.
    for (int i = 0; i < 100 && form->viewDatabase->topLevelItemCount() == 0; ++i)
        Advance(20);
    Click(form->btnAbort);
    EXPECT_EQ(form->StatusText(), "  Action aborted by user");
    EXPECT_EQ(form->opState, osIdle);
    const size_t sent = sim->RelaysWithCommand(0xE8).size();
    const int rows = form->viewDatabase->topLevelItemCount();
    EXPECT_GT(rows, 0);
    Advance(3000);
    EXPECT_EQ(sim->RelaysWithCommand(0xE8).size(), sent);
    EXPECT_EQ(form->viewDatabase->topLevelItemCount(), rows) << "the rows read stay";
}
