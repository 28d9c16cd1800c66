// The message log window: its lines, the periodic-message filter, pause,
// clear and save, opened from the main window's menu.
#include "link/Serial.h"
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/FileDialogs.h"
#include "support/FileBytes.h"
#include "support/MainWindowFixture.h"
#include "tools/LogListView.h"
#include "tools/Msglog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TMsgRecord Record(std::initializer_list<uint8_t> bytes)
{
    TMsgRecord m;
    for (uint8_t b : bytes)
        m.data[m.length++] = b;
    return m;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class MessageLogWindow : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        platform::SetBeepHook([this](uint32_t type) { beeps.push_back(type); });
        platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType, uint32_t) {
            if (text.find("Do you want to replace it?") != std::string::npos) {
                replaceAsked.push_back(text);
                return int(platform::mrYes);
            }
            shown.push_back(text);
            return int(platform::mrOk);
        });
        form.Create();
        form->distOptions = 2;
        ApplyMessageLogOption(form);
        form->menuMessageLog->trigger();
        w = formMsgLog;
        ASSERT_NE(w, nullptr);
    }
    void TearDown() override
    {
        platform::SetFileDialogHook({});
        platform::SetAtomicFileCalls({});
        if (formMsgLog)
            formMsgLog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::SetMessageDlgHook({});
        platform::SetBeepHook({});
        MainWindowFixture::TearDown();
    }
    void Log(std::initializer_list<uint8_t> bytes)
    {
        const TMsgRecord m = Record(bytes);
        LogFrame(w, &m);
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < w->lines->Count(); ++i)
            out.push_back(w->lines->Line(i));
        return out;
    }
    // The user picks `path` in the save dialog.
    void ChooseInSaveDialog(const std::string& path)
    {
        platform::SetFileDialogHook([this, path](platform::FileDialogKind kind, const platform::FileDialogOptions& o) {
            EXPECT_EQ(kind, platform::FileDialogKind::Save);
            seenOptions = o;
            return std::optional<platform::FileDialogResult>(platform::FileDialogResult{path, 1});
        });
    }
    QScrollBar* Bar() const { return w->viewMsgLog->verticalScrollBar(); }

    TformMsgLog* w = nullptr;
    std::vector<uint32_t> beeps;
    std::vector<std::string> shown;
    std::vector<std::string> replaceAsked;
    platform::FileDialogOptions seenOptions;
};

} // namespace

TEST(MessageLogFilter, PeriodicRowsWithTheirExactLengths)
{
    struct Case {
        std::initializer_list<uint8_t> bytes;
        bool periodic;
    } cases[] = {
        // row 1: discovery request, len 2 exactly
        {{0xC0, 0x78}, true},
        {{0xC0, 0x79}, true},
        {{0xC0, 0x78, 0x00}, false},
        {{0xC0, 0x7A}, false},
        {{0xC1, 0x78}, false},
        // row 2: discovery reply, any length from 1
        {{0x78}, true},
        {{0x79, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, true},
        {{0x77, 0x01}, false},
        {{}, false},
        // row 3: chirp-relayed signal-strength request, len 7, last byte 00
        {{0xC0, 0x7A, 0xCC, 0x12, 0x34, 0x56, 0x00}, true},
        {{0xC0, 0x7A, 0xCC, 0x12, 0x34, 0x56, 0x01}, false},
        {{0xC0, 0x7A, 0xCC, 0x12, 0x34, 0x56, 0x00, 0x00}, false},
        {{0xC0, 0xA7, 0xCC, 0x12, 0x34, 0x56, 0x00}, false},
        {{0xC0, 0x7A, 0xCD, 0x12, 0x34, 0x56, 0x00}, false},
        // row 4: four bytes beginning with 'z'
        {{0x7A, 0x00, 0x00, 0x00}, true},
        {{0x7A, 0x00, 0x00}, false},
        {{0x7A, 0x00, 0x00, 0x00, 0x00}, false},
        // row 5: signal-strength reply, len 8, byte 5 00
        {{0x7B, 0xCD, 0x12, 0x34, 0x56, 0x00, 0x01, 0x10}, true},
        {{0x7B, 0xCD, 0x12, 0x34, 0x56, 0x01, 0x01, 0x10}, false},
        {{0x7B, 0xCD, 0x12, 0x34, 0x56, 0x00, 0x01}, false},
        {{0xA8, 0xCD, 0x12, 0x34, 0x56, 0x00, 0x01, 0x10}, false},
        // row 6: signal strength refused (not logged on), len 7
        {{0x7B, 0xFF, 0x12, 0x34, 0x56, 0xCC, 0x05}, true},
        {{0x7B, 0xFF, 0x12, 0x34, 0x56, 0xCC, 0x04}, false},
        {{0x7B, 0xFF, 0x12, 0x34, 0x56, 0xCA, 0x05}, false},
        {{0x7B, 0xFF, 0x12, 0x34, 0x56, 0xCC, 0x05, 0x00}, false},
        // always logged: keep-alive and its reply, poll and its reply
        {{0xC0, 0x3A, 0x02}, false},
        {{0x3A, 0x0F, 0xA0}, false},
        {{0xC0, 0x2D}, false},
        {{0x2D, 0x00}, false},
    };
    for (const auto& c : cases) {
        const TMsgRecord m = Record(c.bytes);
        std::string text;
        for (uint8_t b : c.bytes)
            text += std::to_string(b) + " ";
        EXPECT_EQ(IsPeriodicMessage(m), c.periodic) << text;
    }
}

TEST_F(MessageLogWindow, EachRecordIsALineOfHexBytes)
{
    Log({0xC0, 0x3A, 0x02});
    Log({0x3A, 0x0F, 0xA0, 0xAA});
    Log({});
    Log({0x0D, 0x0A, 0x24});
    EXPECT_EQ(Lines(), (std::vector<std::string>{" C0 3A 02", " 3A 0F A0 AA", "", " 0D 0A 24"}));
    EXPECT_EQ(w->lines->data(w->lines->index(0), Qt::DisplayRole).toString(), QString(" C0 3A 02"));
}

TEST_F(MessageLogWindow, TickedFilterHidesPeriodicTrafficFromThenOn)
{
    Log({0xC0, 0x78});
    QTest::mouseClick(w->checkIgnorePeriodic, Qt::LeftButton);
    ASSERT_TRUE(w->checkIgnorePeriodic->isChecked());
    Log({0xC0, 0x78});
    Log({0xC0, 0x78, 0x00});
    Log({0x79, 0x01});
    Log({0xC0, 0x7A, 0xCC, 0x12, 0x34, 0x56, 0x00});
    Log({0xC0, 0xA7, 0xCC, 0x12, 0x34, 0x56, 0x00});
    EXPECT_EQ(Lines(), (std::vector<std::string>{" C0 78", " C0 78 00", " C0 A7 CC 12 34 56 00"}))
        << "the line logged before the tick stays";
}

TEST_F(MessageLogWindow, PauseKeepsTheViewWhereItIs)
{
    w->show();
    QCoreApplication::processEvents();
    TLogListView* view = w->viewMsgLog;
    const int bottom = view->viewport()->height() - 1;
    for (int i = 0; i < 200; ++i) {
        Log({0xC0, 0x3A, uint8_t(i)});
        if ((i + 1) * 15 > bottom) {
            ASSERT_EQ(view->indexAt(QPoint(4, bottom)).row(), i) << "each new line comes into view at the bottom";
        }
    }
    QCoreApplication::processEvents();
    ASSERT_GT(Bar()->maximum(), 0);
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
    EXPECT_EQ(Bar()->maximum(), 200 * 15 - view->viewport()->height()) << "15 pixels a line";

    QTest::mouseClick(w->checkPause, Qt::LeftButton);
    ASSERT_TRUE(w->checkPause->isChecked());
    Bar()->setValue(10);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(4, 3 * 15 - 10 + 7));
    ASSERT_EQ(view->currentRow(), 3);
    const int maxBefore = Bar()->maximum();
    for (int i = 0; i < 50; ++i)
        Log({0x3A, uint8_t(i)});
    QCoreApplication::processEvents();
    EXPECT_EQ(w->lines->Count(), 250) << "lines are still added";
    EXPECT_EQ(Bar()->maximum(), maxBefore + 50 * 15);
    EXPECT_EQ(Bar()->value(), 10);
    EXPECT_EQ(view->indexAt(QPoint(4, 0)).row(), 0);
    EXPECT_EQ(view->currentRow(), 3) << "the selection is not touched";

    QTest::mouseClick(w->checkPause, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(Bar()->value(), 10) << "unticking does not scroll by itself";
    Log({0x3A, 0x00});
    QCoreApplication::processEvents();
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
    EXPECT_EQ(view->indexAt(QPoint(4, bottom)).row(), 250);
    EXPECT_EQ(view->currentRow(), 3);
}

TEST_F(MessageLogWindow, LinesInSightAreDrawnOnePerRow)
{
    w->show();
    QCoreApplication::processEvents();
    TLogListView* view = w->viewMsgLog;
    TMsgRecord longest;
    longest.length = kMaxMsgData;
    for (int i = 0; i < kMaxMsgData; ++i)
        longest.data[i] = uint8_t(i);
    LogFrame(w, &longest);
    for (int i = 0; i < 40; ++i)
        Log({0xC0, 0x3A, uint8_t(i)});
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(4, view->viewport()->height() - 2 * 15 + 7));
    QCoreApplication::processEvents();
    EXPECT_GT(view->horizontalScrollBar()->maximum(), 0) << "the longest line can be scrolled into sight";

    const QImage shot = w->grab().toImage();
    if (const char* shots = std::getenv("KVT_SCREENSHOT_DIR"); shots && *shots)
        shot.save(QString("%1/formMsgLog-lines.png").arg(shots));
    const QImage rows = view->viewport()->grab().toImage();
    const QColor paper = view->palette().color(QPalette::Base);
    const QColor mark = view->palette().color(QPalette::Active, QPalette::Highlight);
    const int bottom = view->viewport()->height() - 1;
    EXPECT_EQ(view->indexAt(QPoint(4, bottom)).row(), 40) << "the last line in sight above the scroll bar";
    const int selected = view->indexAt(QPoint(4, bottom - 15)).row();
    EXPECT_EQ(view->currentRow(), selected);
    // Each whole row in sight has ink, and only the selected one is marked.
    for (int y = (bottom + 1) % 15; y + 15 <= bottom + 1; y += 15) {
        const int row = view->indexAt(QPoint(4, y + 7)).row();
        int ink = 0;
        bool marked = false;
        for (int yy = y; yy < y + 15; ++yy)
            for (int x = 0; x < 80; ++x) {
                const QColor c = rows.pixelColor(x, yy);
                ink += c != paper && c != mark;
                marked = marked || c == mark;
            }
        EXPECT_GT(ink, 20) << "row " << row;
        EXPECT_EQ(marked, row == selected) << "row " << row;
    }
}

TEST_F(MessageLogWindow, ClearRemovesEveryLine)
{
    for (int i = 0; i < 20; ++i)
        Log({0xC0, uint8_t(i)});
    w->show();
    QCoreApplication::processEvents();
    QTest::mouseClick(w->viewMsgLog->viewport(), Qt::LeftButton, {}, QPoint(4, 7));
    ASSERT_GE(w->viewMsgLog->currentRow(), 0);
    QTest::mouseClick(w->btnClear, Qt::LeftButton);
    EXPECT_EQ(w->lines->Count(), 0);
    EXPECT_EQ(w->viewMsgLog->currentRow(), -1);
    EXPECT_EQ(Bar()->maximum(), 0);
    Log({0xC0, 0x3A, 0x02});
    EXPECT_EQ(Lines(), (std::vector<std::string>{" C0 3A 02"}));
}

TEST_F(MessageLogWindow, SaveWritesTheLinesAsShown)
{
    Log({0xC0, 0x3A, 0x02});
    Log({});
    Log({0x3A, 0x0F, 0xA0});
    const std::string stem = dir.File("traffic");
    ChooseInSaveDialog(stem);
    QTest::mouseClick(w->btnSave, Qt::LeftButton);
    EXPECT_EQ(seenOptions.filter, "Text Files (*.txt)|*.txt|Log Files (*.log)|*.log|All Fioles (*.*)|*.*");
    EXPECT_EQ(seenOptions.defaultExt, "txt");
    EXPECT_EQ(ReadFile(stem + ".txt"), " C0 3A 02\n\n 3A 0F A0\n") << "the default extension was added";
    EXPECT_TRUE(shown.empty());

    // As the report's dialog: a file that exists is replaced when the user says so.
    WriteFile(dir.File("old.log"), "old contents that are longer than the log\n");
    ChooseInSaveDialog(dir.File("old.log"));
    QTest::mouseClick(w->btnSave, Qt::LeftButton);
    EXPECT_EQ(replaceAsked,
              std::vector<std::string> {dir.File("old.log") + " already exists.\nDo you want to replace it?"});
    EXPECT_EQ(ReadFile(dir.File("old.log")), " C0 3A 02\n\n 3A 0F A0\n") << "overwritten whole";
}

TEST_F(MessageLogWindow, CancelledSaveWritesNothing)
{
    Log({0xC0, 0x3A, 0x02});
    platform::SetFileDialogHook([](platform::FileDialogKind, const platform::FileDialogOptions&) {
        return std::optional<platform::FileDialogResult>();
    });
    QTest::mouseClick(w->btnSave, Qt::LeftButton);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(beeps.empty());
}

TEST_F(MessageLogWindow, SaveFailureIsShownNamingTheFileAndKeepsTheOldOne)
{
    Log({0xC0, 0x3A, 0x02});
    const std::string missing = dir.File("no-such-folder/log.txt");
    ChooseInSaveDialog(missing);
    QTest::mouseClick(w->btnSave, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(missing), std::string::npos) << shown[0];
    EXPECT_EQ(beeps, (std::vector<uint32_t>{0x10}));

    // A write that fails at the end (a full disk shows itself at fsync).
    const std::string kept = dir.File("kept.txt");
    WriteFile(kept, " 01 02\n");
    platform::SetAtomicFileCalls({[](int) {
                                      errno = ENOSPC;
                                      return -1;
                                  },
                                  nullptr});
    ChooseInSaveDialog(kept);
    QTest::mouseClick(w->btnSave, Qt::LeftButton);
    platform::SetAtomicFileCalls({});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[1].find(kept), std::string::npos) << shown[1];
    EXPECT_EQ(ReadFile(kept), " 01 02\n");
}

namespace {
int syncPipe = -1;
int StallingFsync(int)
{
    const char c = 'x';
    (void)!::write(syncPipe, &c, 1);
    for (;;)
        ::pause();
}
} // namespace

TEST_F(MessageLogWindow, KilledMidSaveLeavesTheOldFileWhole)
{
    for (int i = 0; i < 5000; ++i)
        Log({0xC0, 0x3A, uint8_t(i), uint8_t(i >> 8)});
    const std::string path = dir.File("log.txt");
    const std::string old = " old log\n";
    WriteFile(path, old);
    ChooseInSaveDialog(path);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The save's bytes are all in the temporary file when fsync stalls.
        syncPipe = fds[1];
        platform::SetAtomicFileCalls({&StallingFsync, nullptr});
        w->btnSaveClick();
        ::_exit(3);
    }
    ::close(fds[1]);
    char c = 0;
    ASSERT_EQ(::read(fds[0], &c, 1), 1);
    ::close(fds[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFile(path), old);
}

TEST_F(MessageLogWindow, MenuOpensOneWindowAndBringsItForward)
{
    Log({0xC0, 0x3A, 0x02});
    form->menuMessageLog->trigger();
    EXPECT_EQ(formMsgLog, w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(form->findChildren<QWidget*>("formMsgLog").size(), 1);
    EXPECT_EQ(w->lines->Count(), 1) << "the same window, lines kept";
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(formMsgLog, nullptr) << "closed is freed";
    EXPECT_EQ(form->findChildren<QWidget*>("formMsgLog").size(), 0);
    form->menuMessageLog->trigger();
    ASSERT_NE(formMsgLog, nullptr);
    w = formMsgLog;
    EXPECT_EQ(w->lines->Count(), 0) << "the lines went with the window";
}

TEST_F(MessageLogWindow, MenuEntryFollowsTheDistributorOption)
{
    EXPECT_TRUE(form->menuMessageLog->isVisible());
    form->distOptions = 1;
    ApplyMessageLogOption(form);
    EXPECT_FALSE(form->menuMessageLog->isVisible());
    form->distOptions = 0xFFFFFFFF;
    ApplyMessageLogOption(form);
    EXPECT_TRUE(form->menuMessageLog->isVisible());
}

TEST_F(MessageLogWindow, AJobDoesNotGreyTheWindow)
{
    form->EnableControls(false);
    for (QWidget* c : std::initializer_list<QWidget*>{w, w->btnClear, w->btnSave, w->checkPause,
                                                      w->checkIgnorePeriodic, w->viewMsgLog})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    form->EndOperation();
    EXPECT_TRUE(w->btnSave->isEnabled());
}

TEST_F(MessageLogWindow, CaptionsAndLayoutFollowTheirWidths)
{
    EXPECT_EQ(w->windowTitle(), QString(" Message Log"));
    EXPECT_EQ(w->checkIgnorePeriodic->text(), QString("&Ignore periodic messages"));
    EXPECT_GE(w->btnClear->width(), 100);
    EXPECT_EQ(w->btnSave->width(), w->btnClear->width());
    EXPECT_EQ(w->btnSave->x(), w->btnClear->x() + w->btnClear->width() + 32);
    EXPECT_EQ(w->checkPause->x(), w->btnSave->x() + w->btnSave->width() + 32);
    EXPECT_EQ(w->checkIgnorePeriodic->x(), w->checkPause->x() + w->checkPause->width() + 32);
}

TEST(MessageLogStartUp, MenuEntryHiddenWithoutTheOption)
{
    // The settings hold no distributor options: the entry is hidden.
    TempDir dir;
    platform::TimeControl::UseVirtualTime();
    platform::SetRegistryFile(dir.File("registry.txt"));
    platform::SetModalHook([](QDialog&) { return 0; });
    {
        MainWindowHolder form;
        form.Create();
        form->show();
        QCoreApplication::processEvents();
        EXPECT_FALSE(form->menuMessageLog->isVisible());
        EXPECT_EQ(form->distOptions & 2, 0u);
    }
    platform::SetModalHook({});
    platform::TimeControl::UseRealTime();
}
