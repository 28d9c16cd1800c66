// The debug counters and logs window against the simulator: opened from the
// Tools menu, Read All, single reads, Abort, the window closed mid-read.
#include "e2e/Harness.h"

#include "platform/Clock.h"
#include "tools/MultiRowTabs.h"
#include "tools/Readdebuglogs.h"

#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

namespace {

class DebugLogsEndToEnd : public JobsEndToEnd {
protected:
    void SetUp() override
    {
        keptLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        JobsEndToEnd::SetUp();
        form->adminOptions = 1;
        for (int i = 0; i < 7; ++i)
            repeater->SetItem(kDebugCounters[size_t(i)].code, {uint8_t(i), uint8_t(i * 16)});
        for (uint8_t log = 0; log < 7; ++log)
            for (uint8_t entry = 0; entry < 16; ++entry)
                repeater->SetDebugLogEntry(log, entry, 86400u * log + entry);
        repeater->SetDebugLogEntry(5, 15, 0x80000000u);
        // Tools, then View Debug Logs, with the mouse.
        QMenuBar* bar = form->menubar;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->menuTools->menuAction()).center());
        ASSERT_TRUE(form->menuTools->isVisible());
        QTest::mouseClick(form->menuTools, Qt::LeftButton, {}, form->menuTools->actionGeometry(form->menuViewLogs).center());
        w = formDebugLogs;
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible());
    }
    void TearDown() override
    {
        JobsEndToEnd::TearDown();
        QLocale::setDefault(keptLocale_);
    }
    // The reads the simulator received: (command, first argument, second argument).
    std::vector<std::tuple<int, int, int>> Reads() const
    {
        std::vector<std::tuple<int, int, int>> reads;
        for (const auto& f : Relays()) {
            const auto a = f.RepeaterArgs();
            reads.emplace_back(f.RepeaterCommand(), a.empty() ? -1 : a[0], a.size() < 2 ? -1 : a[1]);
        }
        return reads;
    }
    std::vector<std::string> Rows(QTreeWidget* view) const
    {
        std::vector<std::string> rows;
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            rows.push_back(view->topLevelItem(i)->text(0).toStdString());
        return rows;
    }
    TformDebugLogs* w = nullptr;

private:
    QLocale keptLocale_;
};

} // namespace

TEST_F(DebugLogsEndToEnd, ReadAllReadsCountersThenLogsInTabOrder)
{
    QTest::mouseClick(w->pageControl, Qt::LeftButton, {},
                      w->pageControl->tabRect(w->pageControl->indexOf(w->tabSimFails)).center());
    std::vector<QWidget*> tabsSeen;
    QObject::connect(w->pageControl, &TMultiRowTabs::currentChanged,
                     [&](int index) { tabsSeen.push_back(w->pageControl->widget(index)); });
    QTest::mouseClick(w->btnReadAll, Qt::LeftButton);
    for (QPushButton* b : w->ReadButtons())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString() << " greyed while the read runs";
    EXPECT_TRUE(w->btnReadAll->isHidden());
    EXPECT_FALSE(w->btnAbort->isHidden());
    EXPECT_FALSE(form->pageMain->isEnabled());
    EXPECT_EQ(w->counterValues[6]->text(), "Wait ...");
    const int64_t start = platform::MonotonicMs();
    bool completeTooSoon = false;
    while (form->opState != osIdle && platform::MonotonicMs() - start < 60000) {
        Advance(20);
        completeTooSoon = completeTooSoon || (form->opState != osIdle && form->StatusText() == "  Read Complete");
    }
    EXPECT_FALSE(completeTooSoon);
    EXPECT_EQ(form->StatusText(), "  Read Complete");
    EXPECT_FALSE(w->btnReadAll->isHidden());
    EXPECT_TRUE(w->btnAbort->isHidden());

    // The reply time-out runs on from the first request (a request does not
    // restart the running timer), so now and then it sends the outstanding
    // request once more: such a repeat follows its original.
    auto reads = Reads();
    const size_t all = reads.size();
    reads.erase(std::unique(reads.begin(), reads.end()), reads.end());
    ASSERT_EQ(reads.size(), 119u);
    EXPECT_LE(all - reads.size(), 6u);
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(reads[i], std::make_tuple(0xC8, int(kDebugCounters[i].code), -1)) << i;
    for (int l = 0; l < 7; ++l)
        for (int e = 0; e < 16; ++e)
            EXPECT_EQ(reads[size_t(7 + 16 * l + e)], std::make_tuple(0xEE, int(kDebugLogTabs[size_t(l)].log), e));
    const char* values[] = {"0", "272", "544", "816", "1088", "1360", "1632"};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(w->counterValues[i]->text().toStdString(), values[i]);
    for (uint8_t log = 0; log < 7; ++log) {
        ASSERT_EQ(Rows(w->LogView(log)).size(), 16u) << int(log);
        EXPECT_EQ(Rows(w->LogView(log))[1], QString("0%1-Jan-1970, 00:00:01").arg(1 + log).toStdString());
    }
    EXPECT_EQ(Rows(w->viewSmsSuccess)[15], "13-Dec-1901, 20:45:52") << "signed times";
    EXPECT_EQ(tabsSeen, (std::vector<QWidget*> {w->tabSummary, w->tabSmsSuccess, w->tabSmsFails, w->tabRadioFails, w->tabLogonFails,
                                                w->tabSimFails, w->tabModemFails, w->tabSmsReceived}));
}

TEST_F(DebugLogsEndToEnd, SingleReadsTouchOnlyTheirOwnTab)
{
    // Late or stray replies (another counter, another log or entry) land
    // under no counter and in no row.
    auto stray = [this](std::initializer_list<uint8_t> payload) {
        sim::Bytes m {0x7B, 0xC9, 0x12, 0x34, 0x56};
        m.insert(m.end(), payload);
        sim->SendMessage(m);
    };
    QTest::mouseClick(w->btnReadCounters, Qt::LeftButton);
    stray({0x15, 0xFF, 0xFF});
    Advance(2000);
    EXPECT_EQ(w->counterValues[0]->text(), "0");
    EXPECT_EQ(form->StatusText(), "  Read Complete");
    EXPECT_EQ(Reads().size(), 7u);
    EXPECT_EQ(w->counterValues[6]->text(), "1632");

    new QTreeWidgetItem(w->viewSmsFails, QStringList {"kept"});
    new QTreeWidgetItem(w->viewRadioFails, QStringList {"old"});
    QTest::mouseClick(w->pageControl, Qt::LeftButton, {},
                      w->pageControl->tabRect(w->pageControl->indexOf(w->tabRadioFails)).center());
    sim->ClearReceived();
    QTest::mouseClick(w->btnReadRadioFails, Qt::LeftButton);
    stray({0, 5, 0x12, 0x34, 0x56, 0x78, 0});
    stray({4, 0, 0x12, 0x34, 0x56, 0x78, 0});
    Advance(3000);
    EXPECT_EQ(form->StatusText(), "  Read Complete");
    EXPECT_EQ(Reads().size(), 16u) << "one log alone ends after its 16 entries";
    EXPECT_EQ(Rows(w->viewRadioFails).size(), 16u);
    EXPECT_EQ(Rows(w->viewRadioFails)[0], "01-Jan-1970, 00:00:00");
    EXPECT_EQ(Rows(w->viewSmsFails), (std::vector<std::string> {"kept"}));
}

TEST_F(DebugLogsEndToEnd, AbortOrATimeOutKeepsWhatWasRead)
{
    QTest::mouseClick(w->btnReadAll, Qt::LeftButton);
    while (w->counterValues[2]->text() == "Wait ...")
        Advance(20);
    QTest::mouseClick(w->btnAbort, Qt::LeftButton);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_FALSE(w->btnReadAll->isHidden());
    EXPECT_FALSE(w->readAll);
    const size_t sent = Reads().size();
    Advance(5000);
    EXPECT_EQ(Reads().size(), sent);
    EXPECT_EQ(w->counterValues[2]->text(), "544");
    EXPECT_EQ(w->counterValues[6]->text(), "Wait ...");

    repeater->Reject(0xC8, 2); // not a reply the step takes: the time-out ends it
    QTest::mouseClick(w->btnReadCounters, Qt::LeftButton);
    Advance(2900);
    EXPECT_EQ(form->opState, osReadCounters);
    Advance(200);
    EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
    EXPECT_EQ(w->counterValues[0]->text(), "Wait ...");
    EXPECT_TRUE(w->btnReadAll->isEnabled() && !w->btnReadAll->isHidden());
}

TEST_F(DebugLogsEndToEnd, ClosingTheWindowEndsTheJobAtTheNextReply)
{
    QTest::mouseClick(w->btnReadAll, Qt::LeftButton);
    Advance(500);
    ASSERT_EQ(form->opState, osReadDebugLog);
    sim->ClearReceived();
    w->close();
    EXPECT_EQ(formDebugLogs, nullptr);
    Advance(200);
    EXPECT_EQ(form->opState, osIdle);
    Advance(10000);
    EXPECT_LE(Reads().size(), 1u);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(form->pageMain->isEnabled());
}

TEST_F(DebugLogsEndToEnd, ReadNeedsASelectedRepeater)
{
    form->boxRepeatersDblClick();
    for (QPushButton* b : w->ReadButtons())
        EXPECT_FALSE(b->isEnabled());
    Select(kId);
    EXPECT_TRUE(w->btnReadAll->isEnabled());
    form->boxRepeatersDblClick();
    w->btnReadCountersClick(w->btnReadCounters); // as Read All's chain would
    EXPECT_EQ(form->StatusText(), "  No Repeater selected");
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(w->counterValues[0]->text(), "<Not Read>");
}
