// The terminal on a real port: a peer on the master side of a pseudo-terminal
// sends text and escape codes and reads what the terminal answers and types.
#include "platform/ExceptionDisplay.h"
#include "serial/PortTerminal.h"
#include "support/PortOnPty.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

class TerminalOnPty : public PortOnPty {
protected:
    void SetUp() override
    {
        PortOnPty::SetUp();
        port.SetEvents(TComEvents{evRxChar});
        terminal.SetComPort(&port);
        port.Open();
        ASSERT_TRUE(terminal.Connected());
    }
    void TearDown() override
    {
        EXPECT_TRUE(shown.empty()) << shown.front();
        PortOnPty::TearDown();
    }

    // What the terminal sent, serving its events until `count` bytes came.
    std::string Answer(const std::string& expected, int timeoutMs = 5000) { return Answer(expected.size(), timeoutMs); }
    std::string Answer(size_t count, int timeoutMs = 5000)
    {
        std::string got;
        ServeUntil(
            [&] {
                const std::vector<uint8_t> bytes = pty.Read(0, 0);
                got.append(bytes.begin(), bytes.end());
                return got.size() >= count;
            },
            timeoutMs);
        return got;
    }

    std::string Row(int y, int n)
    {
        std::string s;
        for (int x = 1; x <= n; ++x) {
            const char c = terminal.Buffer().GetChar(x, y).Ch;
            s += c == 0 ? '.' : c;
        }
        return s;
    }

    TComTerminal terminal;
};

} // namespace

TEST_F(TerminalOnPty, ShowsWhatArrivesAndAnswersQueries)
{
    pty.Write(std::string("Hello\r\nWorld\x1b[3;5H*\x1b[1;3H\x1b[K\x1b[6n\x1b[c\x1b[5n"));
    EXPECT_EQ(Answer(std::string("\x1b[1;3R\x1b[?1;2c\x1b[0n")), "\x1b[1;3R\x1b[?1;2c\x1b[0n");
    EXPECT_EQ(Row(1, 6), "He....");
    EXPECT_EQ(Row(2, 6), "World.");
    EXPECT_EQ(Row(3, 6), "....*.");
    EXPECT_EQ(terminal.CaretPos(), QPoint(3, 1));

    // Erase the screen, move, report again: the answer is never shown.
    pty.Write(std::string("\x1b[2J\x1b[12;34f\x1b[6n"));
    EXPECT_EQ(Answer(std::string("\x1b[12;34R")), "\x1b[12;34R");
    EXPECT_EQ(terminal.Buffer().GetLastLine(), 0);

    terminal.SetEmulation(teVT52);
    pty.Write(std::string("\x1bY%*V\x1bZ"));
    EXPECT_EQ(Answer(std::string("\x1b/Z")), "\x1b/Z");
    EXPECT_EQ(terminal.Buffer().GetChar(11, 6).Ch, 'V');
}

TEST_F(TerminalOnPty, TypedKeysReachThePeerOnlyWhileThePortIsOpen)
{
    terminal.SendLF = true;
    QTest::keyClicks(&terminal, "hi");
    QTest::keyClick(&terminal, Qt::Key_Return);
    QTest::keyClick(&terminal, Qt::Key_Up);
    QTest::keyClick(&terminal, Qt::Key_Home);
    EXPECT_EQ(Answer(std::string("hi\r\n\x1b[A\x1b[H")), "hi\r\n\x1b[A\x1b[H");
    EXPECT_EQ(terminal.Buffer().GetLastLine(), 0) << "no local echo";
    // Text is 8-bit: a Latin-1 key is its one byte.
    QTest::sendKeyEvent(QTest::Click, &terminal, Qt::Key_Eacute, QString(QChar(0xE9)), Qt::NoModifier);
    EXPECT_EQ(Answer(1), "\xE9");

    // The peer switches to application cursor keys; Home then sends nothing.
    pty.Write(std::string("\x1b[?1h"));
    ASSERT_TRUE(ServeUntil([&] { return terminal.AppCursorKeys(); }));
    QTest::keyClick(&terminal, Qt::Key_Left);
    QTest::keyClick(&terminal, Qt::Key_Home);
    QTest::keyClick(&terminal, Qt::Key_Down);
    EXPECT_EQ(Answer(std::string("\x1bOD\x1bOB")), "\x1bOD\x1bOB");

    terminal.LocalEcho = true;
    QTest::keyClicks(&terminal, "ok");
    EXPECT_EQ(Answer(std::string("ok")), "ok");
    EXPECT_EQ(Row(1, 3), "ok.") << "echoed";
    pty.Write(std::string("\x1b[?1l"));
    ASSERT_TRUE(ServeUntil([&] { return !terminal.AppCursorKeys(); }));
    QTest::keyClick(&terminal, Qt::Key_Return);
    QTest::keyClick(&terminal, Qt::Key_Right);
    EXPECT_EQ(Answer(std::string("\r\n\x1b[C")), "\r\n\x1b[C");
    EXPECT_EQ(terminal.CaretPos(), QPoint(2, 2)) << "the LF after the CR and the cursor code are echoed too";

    port.Close();
    EXPECT_FALSE(terminal.Connected());
    QTest::keyClicks(&terminal, "zz");
    QTest::keyClick(&terminal, Qt::Key_Up);
    EXPECT_EQ(Answer(1, 200), "");
    EXPECT_EQ(Row(1, 3), "ok.") << "nothing sent, nothing echoed";

    terminal.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    QTest::keyClicks(&terminal, "y");
    EXPECT_EQ(Answer(std::string("y")), "y");
}

TEST(TerminalPort, ARemovedPortIsForgottenAndRebindingMovesTheLink)
{
    TComTerminal terminal;
    auto first = std::make_unique<TComPort>();
    TComPort second;
    terminal.SetComPort(first.get());
    EXPECT_FALSE(first->TriggersOnRxChar()) << "the terminal's link takes the received bytes";
    terminal.SetComPort(&second);
    EXPECT_TRUE(first->TriggersOnRxChar());
    EXPECT_FALSE(second.TriggersOnRxChar());
    terminal.SetComPort(first.get());
    first.reset();
    EXPECT_EQ(terminal.ComPort(), nullptr);
    EXPECT_FALSE(terminal.Connected());
    terminal.SetConnected(true); // no port: nothing to open
    EXPECT_TRUE(second.TriggersOnRxChar());
}
