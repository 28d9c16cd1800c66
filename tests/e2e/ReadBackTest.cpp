// The configuration read-back against a simulated repeater: the report of a
// known item store line by line and saved, refusals, a short reply, Abort,
// the window closed during a read, signal-strength replies in between.
#include "e2e/Harness.h"

#include "link/ReadConfigReply.h"
#include "platform/Clock.h"
#include "platform/FileDialogs.h"
#include "support/FileBytes.h"
#include "tools/LogListView.h"
#include "tools/Msglog.h"
#include "tools/Readconfig.h"
#include "tools/Readdebuglogs.h"

#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

namespace {

sim::Bytes Text(const std::string& s) { return sim::Bytes(s.c_str(), s.c_str() + s.size() + 1); }

std::chrono::system_clock::time_point Utc(int y, int mo, int d, int h, int mi, int s)
{
    std::tm t {s, mi, h, d, mo - 1, y - 1900, 0, 0, 0, 0, nullptr};
    return std::chrono::system_clock::from_time_t(timegm(&t));
}

} // namespace

class ReadBack : public JobsEndToEnd {
protected:
    void SetUp() override
    {
        // Local time is UTC here, so the "read on" time is the one set below.
        if (const char* tz = getenv("TZ"))
            oldTz_ = tz;
        setenv("TZ", "UTC", 1);
        tzset();
        // The program's locale, whatever LC_ALL says: English day and month names.
        keptLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        JobsEndToEnd::SetUp();
    }
    void TearDown() override
    {
        platform::SetFileDialogHook({});
        JobsEndToEnd::TearDown();
        if (oldTz_)
            setenv("TZ", oldTz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        QLocale::setDefault(keptLocale_);
    }

    // Tools > Read Configuration, clicked as the user does.
    TformReadConfig* OpenThroughMenu()
    {
        QMenuBar* bar = form->menubar;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->menuTools->menuAction()).center());
        EXPECT_TRUE(form->menuTools->isVisible());
        QTest::mouseClick(form->menuTools, Qt::LeftButton, {},
                          form->menuTools->actionGeometry(form->menuReadConfig).center());
        QCoreApplication::processEvents();
        return formReadConfig;
    }

    void Click(QPushButton* button)
    {
        ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // The store the expected report below is made from.
    void KnownStore()
    {
        repeater->SetItem(0x20, {0x02, 0x1F, 0x00, 0x07, 0x00});
        repeater->SetItem(0x01, {0xBE, 0xEF});
        repeater->SetItem(0x11, {7}); // no such band
        repeater->SetItem(0x05, {0x23, 0x45});
        repeater->SetItem(0x07, {0x41});
        repeater->SetItem(0x03, Text("+447700900123"));
        repeater->SetItem(0x18, {2, 15});
        repeater->SetItem(0x0D, {0x0D});
        repeater->SetItem(0x0A, {'x'}); // no such alarm setting
        repeater->SetItem(0x17, {0x13});
        repeater->SetItem(0x14, {0}); // the list counts from 1
        repeater->SetItem(0x30, Text("internet"));
        repeater->SetItem(0x32, Text("pa55"));
        repeater->SetItem(0x33, Text("ftp.example.net"));
        sim::ReplyFault refuseRegion;
        refuseRegion.kind = sim::ReplyFault::Kind::Reject;
        refuseRegion.command = 0xC8;
        refuseRegion.argument = 0x21;
        refuseRegion.errorCode = 1;
        repeater->AddFault(refuseRegion);
        std::tm march5 {9, 7, 14, 5, 2, 120, 0, 0, 0, 0, nullptr}; // 2020-03-05 14:07:09
        repeater->SetClock(timegm(&march5), platform::MonotonicMs());
        platform::TimeControl::SetWallClock(Utc(2026, 12, 8, 2, 44, 29));
    }

    const std::vector<std::string> kReport = {
        "Reading Configuration for Repeater 0119-3046 :",
        "",
        "Firmware Version 02.1F.00.07",
        "ECU Number = BEEF",
        "Time = Thursday, 05-Mar-20, 14:07:09  (read on Tuesday, 08-Dec-26, 02:44:29)",
        "GSM Band = 7 <Illegal value>",
        "#33 - Configuration rejected by the Repeater, Check firmware version",
        "Patrol Time = 23:45",
        "Retry Time = 03:00",
        "Patrol Days = Sunday, Saturday",
        "Host Number = +447700900123",
        "Engineer's Number = <None>",
        "Report Time = 08:30",
        "Report Staggering = 2, 15",
        "Report Days = Monday to Friday",
        "Low Noise Amplifier enabled",
        "ECU inactive",
        "GPRS Reporting Enabled",
        "Report Format = Aurelwide Format",
        "Alarms = <Illegal value>",
        "Low RF Alarm Threshold = 20",
        "Alarms Enabled = Q+ Low Battery, Q+ Low RF Signal, Configuration Change Via SMS",
        "Patrol duration = 60s",
        "SMS Rx Duration = 0 <Illegal value>",
        "Access Point Name = internet",
        "GPRS Username = <None>",
        "GPRS Password = pa55",
        "FTP Host = ftp.example.net",
        "FTP User ID = <None>",
        "FTP Password = <None>",
        "FTP Folder = <Root>",
        "SIM Card Number = <None>",
        "  -- Read Complete --",
    };

private:
    std::optional<std::string> oldTz_;
    QLocale keptLocale_;
};

TEST_F(ReadBack, ReportOfAKnownRepeaterLineByLine)
{
    TformReadConfig* window = OpenThroughMenu();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), " Read Configuration");
    EXPECT_EQ(OpenThroughMenu(), window) << "one window at a time";

    KnownStore();
    Click(window->btnRead);
    EXPECT_TRUE(window->btnAbort->isVisible() && !window->btnRead->isVisible());
    EXPECT_FALSE(window->btnSave->isEnabled()) << "greyed while the job runs";

    // A signal-strength reply and its refusal in the middle of the read
    // belong to the gauge, never to an item.
    Advance(100);
    sim->SendMessage({0x7B, 0xCD, 0x12, 0x34, 0x56, 0x00, 0x00, 0x05});
    Advance(40);
    EXPECT_EQ(form->guageRssi->value(), 5);
    sim->SendMessage({0x7B, 0xFF, 0x12, 0x34, 0x56, 0xCC, 0x05});
    Advance(40);
    EXPECT_EQ(form->gsmLogonState, 1) << "the refusal reached the tail";
    EXPECT_EQ(form->opState, osReadConfig);

    Advance(3000);
    const std::vector<std::string> lines = window->Lines();
    for (size_t i = 0; i < std::max(lines.size(), kReport.size()); ++i)
        EXPECT_EQ(i < lines.size() ? lines[i] : "<missing>", i < kReport.size() ? kReport[i] : "<extra>")
            << "line " << i;
    EXPECT_EQ(form->StatusText(), "  Read Complete");
    QScrollBar* bar = window->boxResults->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "the last line in view";
    EXPECT_TRUE(window->btnRead->isVisible() && !window->btnAbort->isVisible());
    EXPECT_TRUE(window->btnSave->isEnabled());

    // The requests, one per entry in table order, the clock's third.
    const auto relays = Relays();
    ASSERT_EQ(relays.size(), 27u);
    for (size_t i = 0; i < relays.size(); ++i)
        EXPECT_EQ(relays[i].RepeaterArgs(), i == 2 ? sim::Bytes{} : sim::Bytes{window->items[i].itemCode}) << i;
    EXPECT_EQ(relays[2].RepeaterCommand(), 0xD2);

    // Saved as it stands; a file that cannot be written is named and the old one kept.
    std::string answer = dir.File("report");
    platform::SetFileDialogHook([&](platform::FileDialogKind, const platform::FileDialogOptions& o) {
        EXPECT_TRUE(o.overwritePrompt);
        return std::optional<platform::FileDialogResult>({answer, 1});
    });
    Click(window->btnSave);
    std::string expected;
    for (const std::string& line : kReport)
        expected += line + "\n";
    EXPECT_EQ(ReadAll(dir.File("report.txt")), expected);
    answer = dir.File("no-such-folder/report.txt");
    Click(window->btnSave);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].text.find(answer), std::string::npos) << dialogs[0].text;
    EXPECT_EQ(ReadAll(dir.File("report.txt")), expected);

    // A second read goes below the first, after an empty line.
    Click(window->btnRead);
    Advance(3000);
    const std::vector<std::string> twice = window->Lines();
    ASSERT_EQ(twice.size(), 2 * kReport.size() + 1);
    EXPECT_EQ(twice[kReport.size()], "");
    EXPECT_EQ(twice[kReport.size() + 1], kReport[0]);

    Click(window->btnClear);
    EXPECT_EQ(window->boxResults->count(), 0);
}

TEST_F(ReadBack, AShortReplyIsNotTakenAndTheReadTimesOut)
{
    TformReadConfig* window = OpenThroughMenu();
    ASSERT_NE(window, nullptr);
    sim::ReplyFault cut;
    cut.kind = sim::ReplyFault::Kind::WrongLength;
    cut.command = 0xC8;
    cut.argument = 0x05; // the patrol time loses its minute byte
    cut.lengthDelta = -1;
    repeater->AddFault(cut);
    Click(window->btnRead);
    Advance(20000);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
    const std::vector<std::string> lines = window->Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Region = UK / Euro") << "no line for the cut reply";
    EXPECT_EQ(lines.back(), "  -- No Response from Repeater --") << "a partial report says why it ends";
    EXPECT_EQ(sim->RelaysWithCommand(0xC8).size(), 4u + 3u) << "three sends of the patrol time";
    EXPECT_TRUE(window->btnRead->isVisible());
}

TEST_F(ReadBack, AbortStopsTheReadAndLateRepliesAddNothing)
{
    TformReadConfig* window = OpenThroughMenu();
    ASSERT_NE(window, nullptr);
    sim::ReplyFault slow;
    slow.kind = sim::ReplyFault::Kind::Late;
    slow.command = 0xC8;
    slow.argument = 0x11; // the GSM band answers after the abort
    slow.delayMs = 500;
    repeater->AddFault(slow);
    Click(window->btnRead);
    Advance(200);
    ASSERT_EQ(form->opState, osReadConfig);
    Click(window->btnAbort);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(window->btnRead->isVisible() && !window->btnAbort->isVisible());
    const std::vector<std::string> stopped = window->Lines();
    EXPECT_EQ(stopped.back(), "  -- Read Stopped by User --");
    const size_t sent = Relays().size();
    Advance(8000);
    EXPECT_EQ(window->Lines(), stopped);
    EXPECT_EQ(Relays().size(), sent) << "nothing more is asked";
}

TEST_F(ReadBack, ClosingTheWindowEndsTheReadAtTheNextReply)
{
    TformReadConfig* window = OpenThroughMenu();
    ASSERT_NE(window, nullptr);
    Click(window->btnRead);
    ASSERT_EQ(form->opState, osReadConfig);
    window->close(); // the close box
    EXPECT_EQ(formReadConfig, nullptr) << "closed, though not yet freed";
    // The firmware version's reply, handled before the window is freed.
    TMsgRecord reply;
    for (uint8_t b : {0xA8, 0xC9, 0x12, 0x34, 0x56, 0x20, 1, 2, 3, 4, 0})
        reply.data[reply.length++] = b;
    ReadConfigStep(form, &reply);
    EXPECT_EQ(form->opState, osIdle) << "a closed window takes no more replies";
    Advance(1000);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(form->pageMain->isEnabled());
    EXPECT_EQ(Relays().size(), 1u) << "the firmware version's request alone";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    TformReadConfig* again = OpenThroughMenu();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->boxResults->count(), 0) << "a new window starts with an empty report";
}

TEST_F(ReadBack, ALostLinkEndsTheReportWithItsReason)
{
    TformReadConfig* window = OpenThroughMenu();
    ASSERT_NE(window, nullptr);
    form->linkTimeoutMs = 1000; // the link timer gives up before the reply timer
    Click(window->btnRead);
    Advance(200);
    sim->SetSilent(true);
    Advance(20000);
    EXPECT_EQ(form->opState, osIdle);
    ASSERT_EQ(dialogs.size(), 1u);
    const std::vector<std::string> lines = window->Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "  -- A problem was found while communicating with the Vigilator --");
}

// Return and Enter in a tool window's list, and Escape, do nothing: no
// default button clears the log or starts a read, and a window whose close
// loses what it shows stays open.
TEST_F(ReadBack, KeysInTheToolWindowsStartAndLoseNothing)
{
    form->distOptions |= 2;
    ApplyMessageLogOption(form);
    form->menuMessageLog->trigger();
    form->menuViewLogs->trigger();
    TformReadConfig* readBack = OpenThroughMenu();
    TformMsgLog* log = formMsgLog;
    TformDebugLogs* debug = formDebugLogs;
    ASSERT_TRUE(readBack && log && debug);
    Advance(3000); // the message log has lines
    readBack->AddLine("a report line");
    debug->viewSmsSuccess->addTopLevelItem(new QTreeWidgetItem(QStringList {"01-Jan-1970, 00:00:00"}));
    form->viewDatabase->addTopLevelItem(new QTreeWidgetItem(QStringList {" 0000-0001"}));
    form->pageMain->setCurrentWidget(form->tabRfTest);
    struct Row {
        const char* name;
        QWidget* window;
        QWidget* focus;
        std::function<int()> held; // what the user would lose
    };
    const Row rows[] = {
        {"message log", log, log->viewMsgLog, [log] { return log->lines->Count(); }},
        {"debug log list", debug, debug->viewSmsSuccess, [debug] { return debug->viewSmsSuccess->topLevelItemCount(); }},
        {"debug log tabs", debug, debug->pageControl, [debug] { return debug->viewSmsSuccess->topLevelItemCount(); }},
        {"read-back report", readBack, readBack->boxResults, [readBack] { return readBack->boxResults->count(); }},
        {"RF test's database", form, form->viewDatabase, [this] { return form->viewDatabase->topLevelItemCount(); }},
    };
    for (const Row& r : rows) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            const int before = r.held();
            EXPECT_GT(before, 0) << r.name;
            sim->ClearReceived();
            r.window->activateWindow();
            r.focus->setFocus();
            QTest::keyClick(r.focus, key);
            Advance(200);
            EXPECT_TRUE(r.window->isVisible()) << r.name << " " << key;
            EXPECT_GE(r.held(), before) << r.name << " " << key;
            EXPECT_TRUE(Relays().empty()) << r.name << " " << key;
            EXPECT_EQ(form->opState, osIdle) << r.name << " " << key;
        }
    }
}
