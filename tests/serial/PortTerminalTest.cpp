// The terminal control: cells, caret, wrap and scrolling, escape codes carried
// out, keys, painting, and its settings dialog.
#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "serial/PortTermSetup.h"
#include "serial/PortTerminal.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <sstream>

namespace {

// Row y as text, columns 1..n, an empty cell as ".".
std::string RowText(TCustomComTerminal& t, int y, int n = 0)
{
    std::string s;
    if (n == 0)
        n = t.Buffer().Columns();
    for (int x = 1; x <= n; ++x) {
        const char c = t.Buffer().GetChar(x, y).Ch;
        s += c == 0 ? '.' : c;
    }
    return s;
}

std::string Saved(TCustomComTerminal& t)
{
    std::ostringstream out;
    t.SaveToStream(out);
    return out.str();
}

QPoint At(int x, int y)
{
    return QPoint(x, y);
}

} // namespace

TEST(TermBuffer, TabsEveryEightColumnsAndLineLengths)
{
    TComTerminal t;
    TComTermBuffer& b = t.Buffer();
    EXPECT_EQ(b.Columns(), 80);
    EXPECT_EQ(b.Rows(), 24);
    EXPECT_EQ(b.NextTab(1), 1);
    EXPECT_EQ(b.NextTab(2), 9);
    EXPECT_EQ(b.NextTab(74), 0) << "none up to the last column";
    EXPECT_TRUE(b.GetTab(73));
    b.SetTab(5, true);
    EXPECT_EQ(b.NextTab(2), 5);
    b.ClearAllTabs();
    EXPECT_EQ(b.NextTab(1), 0);

    EXPECT_EQ(b.GetLastLine(), 0);
    b.SetChar(7, 3, TComTermChar {'x'});
    EXPECT_EQ(b.GetLineLength(3), 7);
    EXPECT_EQ(b.GetLastLine(), 3);
    // Outside the grid nothing is written and an empty cell is read.
    for (QPoint p : {At(0, 1), At(81, 1), At(1, 0), At(1, 25), At(-5, -5), At(INT_MAX, INT_MAX)}) {
        b.SetChar(p.x(), p.y(), TComTermChar {'!'});
        EXPECT_EQ(b.GetChar(p.x(), p.y()).Ch, 0);
    }
    EXPECT_EQ(b.GetLastLine(), 3);
    EXPECT_EQ(b.GetLineLength(0), 0);
    EXPECT_EQ(b.GetLineLength(25), 0);
}

TEST(Terminal, DefaultsAndLimits)
{
    TComTerminal t;
    EXPECT_EQ(t.Columns(), 80);
    EXPECT_EQ(t.Rows(), 24);
    EXPECT_EQ(t.AltColor(), 10921638u);
    EXPECT_EQ(t.Color(), clBlack);
    EXPECT_EQ(t.FontColor(), clWhite);
    EXPECT_EQ(t.Emulation(), teVT100orANSI);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT100*>(t.EscapeCodes()), nullptr);
    EXPECT_EQ(t.Caret(), tcBlock);
    EXPECT_EQ(t.size(), QSize(400, 250));
    EXPECT_TRUE(QFontInfo(t.TermFont()).fixedPitch()) << "the system's fixed-pitch font stands for Fixedsys";
    EXPECT_EQ(t.TermFont().pointSize(), 9);

    const std::pair<int, int> columns[] = {{1, 2}, {300, 256}, {132, 132}, {-5, 2}, {INT_MAX, 256}};
    for (auto [in, out] : columns) {
        t.SetColumns(in);
        EXPECT_EQ(t.Columns(), out);
        EXPECT_EQ(t.Buffer().Columns(), out);
    }
    t.SetRows(500);
    EXPECT_EQ(t.Rows(), 100);
    t.SetRows(0);
    EXPECT_EQ(t.Rows(), 2);
}

TEST(Terminal, WrapOffOverwritesTheLastColumnWrapOnContinuesAndScrolls)
{
    TComTerminal t;
    t.SetColumns(4);
    t.SetRows(2);
    t.WriteStr("abcdef");
    EXPECT_EQ(RowText(t, 1), "abcf");
    EXPECT_EQ(t.CaretPos(), At(4, 1));

    t.ClearScreen();
    t.WrapLines = true;
    t.WriteStr("abcdefgh");
    // Writing the last cell scrolls at once; the caret waits in column 1.
    EXPECT_EQ(RowText(t, 1), "efgh");
    EXPECT_EQ(RowText(t, 2), "....");
    EXPECT_EQ(t.CaretPos(), At(1, 2));
    t.WriteStr("i");
    EXPECT_EQ(RowText(t, 2), "i...");
}

TEST(Terminal, ControlCharactersMoveTheCaret)
{
    TComTerminal t;
    t.SetRows(3);
    t.WriteStr("ab\tc\bd\r\ne\x0c" "f\x01g");
    EXPECT_EQ(RowText(t, 1, 10), "ab......d.");
    EXPECT_EQ(RowText(t, 2, 3), "e..");
    EXPECT_EQ(RowText(t, 3, 4), ".fg.") << "FF feeds a line, other controls do nothing";
    t.WriteStr("\n");
    EXPECT_EQ(RowText(t, 2, 3), ".fg") << "a line feed on the last row scrolls";
    EXPECT_EQ(RowText(t, 3, 3), "...");
    EXPECT_EQ(t.CaretPos(), At(4, 3));
    t.WriteStr("\r\b\b");
    EXPECT_EQ(t.CaretPos(), At(1, 3)) << "never left of column 1";
    t.WriteStr("\t\t");
    EXPECT_EQ(t.CaretPos(), At(17, 3)) << "from a stop to the next one";
    // A tab with no stop ahead stays.
    t.Buffer().ClearAllTabs();
    t.WriteStr("\r\t");
    EXPECT_EQ(t.CaretPos(), At(1, 3));
}

TEST(Terminal, EscapeCodesCarriedOut)
{
    TComTerminal t;
    t.WriteStr("\x1b[5;10HX");
    EXPECT_EQ(t.Buffer().GetChar(10, 5).Ch, 'X');
    t.WriteStr("\x1b[2A\x1b[3DY");
    EXPECT_EQ(t.Buffer().GetChar(8, 3).Ch, 'Y');
    t.WriteStr("\x1b[H");
    EXPECT_EQ(t.CaretPos(), At(1, 1));
    t.WriteStr("\x1b[;5H");
    EXPECT_EQ(t.CaretPos(), At(1, 1)) << "the joined parameter is not a number";
    t.WriteStr("\x1b[3;4f\x1b[B\x1b[C");
    EXPECT_EQ(t.CaretPos(), At(5, 4));

    // Huge counts saturate and clamp; a count too large for 32 bits reads as 1.
    const std::pair<const char*, QPoint> moves[] = {
        {"\x1b[2147483647C", At(80, 4)}, {"\x1b[2147483647D", At(1, 4)}, {"\x1b[2147483647B", At(1, 24)},
        {"\x1b[2147483647A", At(1, 1)},  {"\x1b[-2147483648A", At(1, 24)}, {"\x1b[99999999999A", At(1, 23)},
        {"\x1b[-2147483648;-2147483648H", At(1, 1)}, {"\x1b[999;999H", At(80, 24)}};
    for (const auto& [text, where] : moves) {
        t.WriteStr(text);
        EXPECT_EQ(t.CaretPos(), where) << testing::PrintToString(std::string(text));
    }

    t.ClearScreen();
    t.WriteStr("0123456789\r\nabcdefghij\r\nABCDEFGHIJ\x1b[2;4H\x1b[K");
    EXPECT_EQ(RowText(t, 2, 10), "abc.......");
    t.WriteStr("\x1b[1;5H\x1b[J");
    EXPECT_EQ(RowText(t, 1, 10), "0123......");
    EXPECT_EQ(RowText(t, 3, 10), "..........");
    t.WriteStr("\x1b[1;3H\x1b[2K");
    EXPECT_EQ(RowText(t, 1, 10), "..........");
    EXPECT_EQ(t.CaretPos(), At(1, 1));
    t.WriteStr("zz\x1b[2J");
    EXPECT_EQ(t.Buffer().GetLastLine(), 0);
    EXPECT_EQ(t.CaretPos(), At(1, 1));

    // Tabs, save and restore, the screen test.
    t.WriteStr("\x1b[3g\x1b[1;5H\x1bH\r\t");
    EXPECT_EQ(t.CaretPos(), At(5, 1));
    t.WriteStr("\x1b[g\r\t");
    EXPECT_EQ(t.CaretPos(), At(1, 1)) << "the only stop was cleared";
    t.WriteStr("\x1b[3;3H\x1b[s\x1b[H\x1b[u");
    EXPECT_EQ(t.CaretPos(), At(3, 3));
    t.WriteStr("\x1b#8");
    EXPECT_EQ(RowText(t, 24), std::string(80, 'E'));
    EXPECT_EQ(t.Buffer().GetChar(80, 24).FrontColor, clWhite);

    // A reverse line feed on the first row scrolls the screen down.
    t.ClearScreen();
    t.SetEmulation(teVT52);
    t.WriteStr("top\x1bI");
    EXPECT_EQ(RowText(t, 1, 4), "....");
    EXPECT_EQ(RowText(t, 2, 4), "top.");
    EXPECT_EQ(t.CaretPos(), At(4, 1));
    t.WriteStr("\x1b" "B\x1bI");
    EXPECT_EQ(RowText(t, 2, 4), "top.") << "below it only the caret moves";
}

TEST(Terminal, AttributesGiveTheCellColours)
{
    TComTerminal t;
    t.WriteStr("a\x1b[1mb\x1b[7mc\x1b[21md\x1b[4me\x1b[24;27mf\x1b[1;4;7m\x1b[0mg\x1b[7m\x1b[mh");
    const TColor font = clWhite, back = clBlack, alt = 10921638;
    const struct {
        TColor front, back;
        bool underline;
    } cells[] = {{font, back, false}, {alt, back, false},  {alt, font, false}, {back, font, false},
                 {back, font, true},  {font, back, false}, {font, back, false}, {font, back, false}};
    for (int x = 1; x <= 8; ++x) {
        const TComTermChar c = t.Buffer().GetChar(x, 1);
        EXPECT_EQ(c.Ch, "abcdefgh"[x - 1]);
        EXPECT_EQ(c.FrontColor, cells[x - 1].front) << x;
        EXPECT_EQ(c.BackColor, cells[x - 1].back) << x;
        EXPECT_EQ(c.Underline, cells[x - 1].underline) << x;
    }
    // ESC 7 and ESC 8 keep the attributes with the caret; ESC c resets them.
    t.WriteStr("\x1b[2;2H\x1b[7m\x1b" "7\x1b[0m\x1b[H\x1b" "8i\x1b" "cj");
    EXPECT_EQ(t.Buffer().GetChar(2, 2).BackColor, font);
    EXPECT_EQ(t.Buffer().GetChar(3, 2).BackColor, back);
}

TEST(Terminal, ModesSwitchColumnsWrapAndCursorKeysAndKeepTheCaretsInside)
{
    TComTerminal t;
    t.WriteStr("text\x1b[?3h");
    EXPECT_EQ(t.Columns(), 132);
    EXPECT_EQ(t.Buffer().GetLastLine(), 0) << "cleared";
    t.WriteStr("\x1b[5;120H\x1b[s\x1b[5;130H\x1b[?3l");
    EXPECT_EQ(t.Columns(), 80);
    EXPECT_EQ(t.CaretPos(), At(80, 5)) << "the caret stays inside the new width";
    t.WriteStr("X\x1b[u");
    EXPECT_EQ(t.Buffer().GetChar(80, 5).Ch, 'X');
    EXPECT_EQ(t.CaretPos(), At(80, 5)) << "and so does the saved caret";

    t.WriteStr("\x1b[24;1H\x1b" "7");
    t.SetRows(10);
    EXPECT_EQ(t.CaretPos(), At(1, 10));
    t.WriteStr("\x1b[H\x1b" "8Y");
    EXPECT_EQ(t.Buffer().GetChar(1, 10).Ch, 'Y');

    t.WriteStr("\x1b[7h");
    EXPECT_TRUE(t.WrapLines);
    t.WriteStr("\x1b[7l\x1b[?1h");
    EXPECT_FALSE(t.WrapLines);
    EXPECT_TRUE(t.AppCursorKeys());
    t.WriteStr("\x1b[?1l\x1b[h\x1b[?9h");
    EXPECT_FALSE(t.AppCursorKeys());
    EXPECT_EQ(t.Columns(), 80);
}

TEST(Terminal, ReceivedTextPassesThroughTheOptionsAndEvents)
{
    TComTerminal t;
    std::string chars;
    std::vector<std::pair<TEscapeCode, std::string>> unhandled;
    t.OnChar = [&](QObject* sender, char c) {
        EXPECT_EQ(sender, &t);
        chars += c;
    };
    t.OnUnhandledCode = [&](QObject*, TEscapeCode code, const std::string& data) { unhandled.emplace_back(code, data); };
    t.WriteStr("a\r\x1b[5zb\x1bOD\x1b[24;1R");
    EXPECT_EQ(chars, "a\rb") << "every character, controls too";
    ASSERT_EQ(unhandled.size(), 3u);
    EXPECT_EQ(unhandled[0], std::make_pair(ecUnknown, std::string("[5z")));
    EXPECT_EQ(unhandled[1], std::make_pair(ecAppCursorLeft, std::string("OD")));
    EXPECT_EQ(unhandled[2], std::make_pair(ecReportCursorPos, std::string("[24;1R")));
    EXPECT_TRUE(t.EscapeCodes()->Params.empty()) << "cleared after each code";

    t.SetEmulation(teNone);
    EXPECT_EQ(t.EscapeCodes(), nullptr);
    t.ClearScreen();
    t.WriteStr("\x1b[A");
    EXPECT_EQ(RowText(t, 1, 3), "[A.") << "no emulation: ESC is a control that does nothing";
    // A parser of the program's own.
    t.OnGetEscapeCodes = [](QObject*, std::unique_ptr<TEscapeCodes>& codes) {
        if (!codes)
            codes = std::make_unique<TEscapeCodesVT52>();
    };
    t.SetEmulation(teVT100orANSI);
    t.SetEmulation(teNone);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT52*>(t.EscapeCodes()), nullptr);

    // A handler set after construction is asked for the first emulation too.
    TComTerminal fresh;
    int asked = 0;
    fresh.OnGetEscapeCodes = [&](QObject*, std::unique_ptr<TEscapeCodes>& codes) {
        ++asked;
        codes = std::make_unique<TEscapeCodesVT52>();
    };
    fresh.WriteStr("\x1bY%*V");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(fresh.Buffer().GetChar(11, 6).Ch, 'V');
}

TEST(Terminal, InputSplitAtEveryByteGivesTheSameScreen)
{
    const std::string input = "ab\x1b[3;5Hxy\x1b[1mz\x1b[2K\r\ncd\x1b[2Aq\x1b#8\x1b[2J\x1b[10;10fend\x1b[?3hw\x1b" "7";
    TComTerminal whole;
    whole.WriteStr(input);
    for (size_t k = 0; k <= input.size(); ++k) {
        TComTerminal split;
        split.WriteStr(input.substr(0, k));
        split.WriteStr(input.substr(k));
        ASSERT_EQ(split.Columns(), whole.Columns()) << k;
        ASSERT_EQ(split.CaretPos(), whole.CaretPos()) << k;
        for (int y = 1; y <= whole.Rows(); ++y)
            ASSERT_EQ(RowText(split, y), RowText(whole, y)) << "split at " << k << ", row " << y;
    }
}

TEST(Terminal, SaveAndLoadStreams)
{
    TComTerminal t;
    EXPECT_EQ(Saved(t), "");
    std::istringstream in("ab\r\n\r\n   x\x1b" "A\tz");
    t.LoadFromStream(in);
    EXPECT_EQ(Saved(t), "ab\r\n\r\n   xA   z") << "ESC is a control that shows nothing; no trailing empties";
    t.ClearScreen();
    t.WriteStr("\x1b[2;3Hq");
    EXPECT_EQ(Saved(t), "\r\n  q") << "an empty cell inside a row is a blank";
}

// What the port's link hands over, as the port does.
struct ReceivingTerminal : TComTerminal {
    using TCustomComTerminal::RxBuf;
};

TEST(Terminal, ReceivedBytesTakeAppendLFForce7BitAndTheStringEvent)
{
    ReceivingTerminal t;
    t.AppendLF = true;
    t.RxBuf("ab\rc", 4);
    EXPECT_EQ(RowText(t, 1, 3), "ab.");
    EXPECT_EQ(RowText(t, 2, 3), "c..") << "a CR ends in column 1 of the next row";

    t.ClearScreen();
    t.AppendLF = false;
    t.Force7Bit = true;
    t.RxBuf("\xc1\xe2", 2);
    EXPECT_EQ(RowText(t, 1, 2), "Ab");
    t.Force7Bit = false;
    std::vector<std::string> seen;
    t.OnStrRecieved = [&](QObject*, std::string& s) {
        seen.push_back(s);
        s = "<" + s + ">";
    };
    t.RxBuf("\xc1", 1);
    EXPECT_EQ(seen, std::vector<std::string> {"\xc1"});
    EXPECT_EQ(RowText(t, 1, 5), "Ab<\xc1>");
    t.RxBuf(nullptr, 5);
    t.RxBuf("x", 0);
    EXPECT_EQ(seen.size(), 1u);
}

// ------------------------------------------------------------------ keys, caret, painting

namespace {

// A window with the terminal and one more control to move the focus to.
struct Window {
    Window()
    {
        terminal = new TComTerminal(&top);
        terminal->move(0, 0);
        other = new QLineEdit(&top);
        other->move(0, 260);
        top.resize(420, 300);
        top.show();
        QApplication::setActiveWindow(&top);
        terminal->setFocus();
        QApplication::processEvents();
    }
    QWidget top;
    TComTerminal* terminal;
    QLineEdit* other;
};

QColor Pixel(TCustomComTerminal& t, QPoint at)
{
    return t.viewport()->grab().toImage().pixelColor(at);
}

} // namespace

TEST(TerminalKeys, WithoutAPortTypingShowsNothingAndArrowsMoveOnlyAsWindowsKeys)
{
    Window w;
    TComTerminal& t = *w.terminal;
    t.LocalEcho = true;
    std::string pressed;
    t.OnKeyPress = [&](QObject*, char& key) { pressed += key; };
    QTest::keyClicks(&t, "abc");
    QTest::keyClick(&t, Qt::Key_Return);
    EXPECT_EQ(pressed, "abc\r");
    EXPECT_EQ(t.Buffer().GetLastLine(), 0) << "nothing is sent, so nothing is echoed";

    QTest::keyClick(&t, Qt::Key_Right);
    EXPECT_EQ(t.CaretPos(), At(1, 1)) << "terminal keys are only sent";
    t.ArrowKeys = akWindows;
    QTest::keyClick(&t, Qt::Key_Right);
    QTest::keyClick(&t, Qt::Key_Right);
    QTest::keyClick(&t, Qt::Key_Down);
    EXPECT_EQ(t.CaretPos(), At(3, 2));
    QTest::keyClick(&t, Qt::Key_Up);
    QTest::keyClick(&t, Qt::Key_Left);
    EXPECT_EQ(t.CaretPos(), At(2, 1));
    QTest::keyClick(&t, Qt::Key_Home);
    EXPECT_EQ(t.CaretPos(), At(1, 1));
}

TEST(TerminalKeys, TabMovesTheFocusUnlessWanted)
{
    Window w;
    TComTerminal& t = *w.terminal;
    std::string pressed;
    t.OnKeyPress = [&](QObject*, char& key) { pressed += key; };
    ASSERT_TRUE(t.hasFocus());
    QTest::keyClick(&t, Qt::Key_Tab);
    EXPECT_EQ(pressed, "");
    EXPECT_TRUE(w.other->hasFocus());
    t.setFocus();
    t.WantTab = true;
    QTest::keyClick(&t, Qt::Key_Tab);
    EXPECT_EQ(pressed, "\t");
    EXPECT_TRUE(t.hasFocus());
}

TEST(TerminalCaret, OnlyWithTheFocusAndShapedByTheCaretSetting)
{
    Window w;
    TComTerminal& t = *w.terminal;
    ASSERT_TRUE(t.CaretCreated());
    const int cw = t.CharWidth(), ch = t.CharHeight();
    EXPECT_EQ(t.CaretRect(), QRect(0, 0, cw, ch));
    t.WriteStr("ab\r\n");
    t.WriteStr("\x1b[3;4H");
    EXPECT_EQ(t.CaretRect(), QRect(3 * cw, 2 * ch, cw, ch));
    t.SetCaret(tcUnderline);
    EXPECT_EQ(t.CaretRect(), QRect(3 * cw, 2 * ch + ch - ch / 8, cw, ch / 8));
    t.SetCaret(tcNone);
    EXPECT_TRUE(t.CaretRect().isEmpty());
    t.SetCaret(tcBlock);
    // The caret inverts its cell.
    const QPoint inside(3 * cw + cw / 2, 2 * ch + 1);
    EXPECT_EQ(Pixel(t, inside), QColor(Qt::white));
    w.other->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(t.CaretCreated());
    EXPECT_TRUE(t.CaretRect().isEmpty());
    EXPECT_EQ(Pixel(t, inside), QColor(Qt::black));
}

TEST(TerminalPaint, CellsAreDrawnAndClippedToTheBuffer)
{
    TComTerminal t;
    t.resize(400, 250);
    t.show();
    const int cw = t.CharWidth(), ch = t.CharHeight();
    t.SetColumns(3);
    t.SetRows(2);
    t.WriteStr("\x1b[7m \x1b[0m C\r\n\x1b[7m ");
    const QImage image = t.viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white)) << "an inverse blank";
    EXPECT_EQ(image.pixelColor(cw + 1, ch + 1), QColor(Qt::black)) << "an empty cell";
    EXPECT_EQ(image.pixelColor(1, ch + 1), QColor(Qt::white));
    for (QPoint outside : {QPoint(3 * cw + 2, 1), QPoint(1, 2 * ch + 2), QPoint(390, 230)})
        EXPECT_EQ(image.pixelColor(outside), QColor(Qt::black)) << "nothing beyond the buffer";
    // Some of "C" is drawn in the font colour.
    bool lit = false;
    for (int y = 0; y < ch; ++y)
        for (int x = 2 * cw; x < 3 * cw; ++x)
            lit = lit || image.pixelColor(x, y).lightness() > 128;
    EXPECT_TRUE(lit);
}

TEST(TerminalPaint, AScrolledViewShowsTheFarCellsAndNothingBeyond)
{
    TComTerminal t;
    t.resize(120, 90);
    t.show();
    QApplication::processEvents();
    const int cw = t.CharWidth(), ch = t.CharHeight();
    QScrollBar* h = t.horizontalScrollBar();
    QScrollBar* v = t.verticalScrollBar();
    ASSERT_GT(h->maximum(), 0);
    ASSERT_GT(v->maximum(), 0);
    // An inverse blank is a white cell; the caret (which inverts) goes elsewhere.
    t.WriteStr("\x1b[24;80H\x1b[7m \x1b[H");
    h->setValue(h->maximum());
    v->setValue(v->maximum());
    QApplication::processEvents();
    EXPECT_EQ(t.TopLeft(), QPoint(h->maximum() + 1, v->maximum() + 1));
    const QPoint cell((80 - t.TopLeft().x()) * cw + 1, (24 - t.TopLeft().y()) * ch + 1);
    EXPECT_EQ(Pixel(t, cell), QColor(Qt::white));
    // Further than the buffer reaches: the view is clipped, whatever the size.
    t.resize(3000, 3000);
    QApplication::processEvents();
    EXPECT_EQ(h->maximum(), 0);
    EXPECT_EQ(t.TopLeft(), QPoint(1, 1));
    EXPECT_EQ(Pixel(t, QPoint(81 * cw, 1)), QColor(Qt::black));
    t.SetColumns(2);
    t.SetRows(2);
    EXPECT_EQ(Pixel(t, QPoint(79 * cw + 1, 23 * ch + 1)), QColor(Qt::black));
}

namespace {

// The centre of a scroll bar's thumb, where a user grabs it.
QPoint Thumb(QScrollBar* bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar).center();
}

void Wheel(TCustomComTerminal& t, QPoint angle)
{
    const QPoint at = t.viewport()->rect().center();
    QWheelEvent wheel(at, t.viewport()->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(t.viewport(), &wheel);
}

} // namespace

TEST(TerminalScroll, OnlyBarsInUseScrollAndTheThumbIsFollowedOnlyWithSmoothScroll)
{
    TComTerminal t;
    t.resize(120, 90);
    t.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&t));
    QScrollBar* h = t.horizontalScrollBar();
    QScrollBar* v = t.verticalScrollBar();
    // A page is the client height in cells, for both bars.
    EXPECT_EQ(h->pageStep(), t.viewport()->height() / t.CharWidth());
    EXPECT_EQ(v->pageStep(), t.viewport()->height() / t.CharHeight());
    QTest::mouseClick(v, Qt::LeftButton, {}, QPoint(v->width() / 2, Thumb(v).y() + v->height() / 3));
    EXPECT_EQ(t.TopLeft().y(), 1 + v->pageStep());
    QTest::mouseClick(h, Qt::LeftButton, {}, QPoint(Thumb(h).x() + h->width() / 3, h->height() / 2));
    EXPECT_EQ(t.TopLeft().x(), 1 + h->pageStep());

    for (bool smooth : {false, true}) {
        t.SetSmoothScroll(smooth);
        v->setValue(0);
        const int before = t.TopLeft().y();
        const QPoint grab = Thumb(v);
        QTest::mousePress(v, Qt::LeftButton, {}, grab);
        QMouseEvent drag(QEvent::MouseMove, grab + QPoint(0, 6), v->mapToGlobal(grab + QPoint(0, 6)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(v, &drag);
        EXPECT_EQ(t.TopLeft().y() != before, smooth) << "while the thumb is dragged, smooth " << smooth;
        QTest::mouseRelease(v, Qt::LeftButton, {}, grab + QPoint(0, 6));
        EXPECT_GT(t.TopLeft().y(), before) << "let go, smooth " << smooth;
    }

    for (TScrollStyle style : {ssNone, ssVertical, ssHorizontal}) {
        t.SetScrollBars(style);
        EXPECT_EQ(t.TopLeft(), QPoint(1, 1)) << int(style);
        Wheel(t, QPoint(0, -120));
        Wheel(t, QPoint(-120, 0));
        EXPECT_EQ(t.TopLeft().x() > 1, style == ssHorizontal) << "only a bar in use scrolls, " << int(style);
        EXPECT_EQ(t.TopLeft().y() > 1, style == ssVertical) << int(style);
        h->setValue(0);
        v->setValue(0);
    }
}

TEST(TerminalFont, AProportionalFontIsReplacedAndLosesItsUnderline)
{
    TComTerminal t;
    QFont font("DejaVu Sans");
    font.setPointSize(14);
    font.setUnderline(true);
    t.SetTermFont(font);
    EXPECT_EQ(t.TermFont().family(), TCustomComTerminal::DefaultFont().family());
    EXPECT_FALSE(t.TermFont().underline());
    EXPECT_EQ(t.TermFont().pointSize(), 14);
    EXPECT_EQ(t.CharHeight(), QFontMetrics(t.TermFont()).height());
    t.SetAutoSize(true);
    EXPECT_EQ(t.width(), 80 * t.CharWidth() + 2 * t.frameWidth());
    EXPECT_EQ(t.height(), 24 * t.CharHeight() + 2 * t.frameWidth());
}

TEST(TerminalFont, TheFontDialogOffersFixedPitchFontsAndOnlyOkReplacesTheFont)
{
    TComTerminal t;
    const QString before = t.TermFont().family();
    for (bool ok : {false, true}) {
        bool monospacedOnly = false;
        platform::SetModalHook([&](QDialog& dialog) {
            auto& fonts = dynamic_cast<QFontDialog&>(dialog);
            monospacedOnly = fonts.testOption(QFontDialog::MonospacedFonts);
            fonts.show();
            fonts.setCurrentFont(QFont("Liberation Mono", 12));
            auto* buttons = fonts.findChild<QDialogButtonBox*>();
            QTest::mouseClick(buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
            return fonts.result();
        });
        t.SelectFont();
        platform::SetModalHook({});
        EXPECT_TRUE(monospacedOnly);
        EXPECT_EQ(t.TermFont().family(), ok ? QString("Liberation Mono") : before);
    }
    EXPECT_EQ(t.TermFont().pointSize(), 12);
}

// ------------------------------------------------------------------ settings dialog

namespace {

// Drives the dialog as a user would and closes it with OK or Cancel.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(TComTrmSetForm&)> fill, bool ok = true)
    {
        platform::SetModalHook([this, fill, ok](QDialog& dialog) {
            auto& form = dynamic_cast<TComTrmSetForm&>(dialog);
            form.show();
            shown = true;
            caption = form.windowTitle().toStdString();
            columnsText = form.Edit1->text().toStdString();
            caretIndex = form.ComboBox1->currentIndex();
            fill(form);
            QTest::mouseClick(ok ? form.Button1 : form.Button2, Qt::LeftButton);
            return form.result();
        });
    }
    ~DialogDriver() { platform::SetModalHook({}); }
    bool shown = false;
    std::string caption, columnsText;
    int caretIndex = -2;
};

void Retype(QLineEdit* edit, const char* text)
{
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

} // namespace

TEST(TerminalSetup, OkAppliesEverySettingAndCancelNone)
{
    TComTerminal t;
    t.WriteStr("keep");
    {
        DialogDriver driver([](TComTrmSetForm& f) {
            for (QCheckBox* box : {f.CheckBox1, f.CheckBox2, f.CheckBox3, f.CheckBox4, f.CheckBox5})
                QTest::keyClick(box, Qt::Key_Space);
            QTest::keyClick(f.ComboBox1, Qt::Key_Down);
            QTest::keyClick(f.ComboBox2, Qt::Key_Down);
            QTest::keyClick(f.ComboBox3, Qt::Key_Down);
            Retype(f.Edit1, "100");
        }, false);
        t.ShowSetupDialog();
        EXPECT_TRUE(driver.shown);
        EXPECT_EQ(driver.caption, "Setup");
        EXPECT_EQ(driver.columnsText, "80");
    }
    EXPECT_FALSE(t.LocalEcho || t.SendLF || t.WrapLines || t.Force7Bit || t.AppendLF);
    EXPECT_EQ(t.Caret(), tcBlock);
    EXPECT_EQ(t.Columns(), 80);
    EXPECT_EQ(RowText(t, 1, 4), "keep") << "Cancel changes nothing";

    {
        DialogDriver driver([](TComTrmSetForm& f) {
            for (QCheckBox* box : {f.CheckBox1, f.CheckBox2, f.CheckBox3, f.CheckBox4, f.CheckBox5})
                QTest::keyClick(box, Qt::Key_Space);
            QTest::keyClick(f.ComboBox1, Qt::Key_Down);
            QTest::keyClick(f.ComboBox2, Qt::Key_Down);
            QTest::keyClick(f.ComboBox3, Qt::Key_Down);
        });
        EditComTerminal(&t);
    }
    EXPECT_TRUE(t.LocalEcho && t.SendLF && t.WrapLines && t.Force7Bit && t.AppendLF);
    EXPECT_EQ(t.Caret(), tcUnderline);
    EXPECT_EQ(t.Emulation(), teVT52);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT52*>(t.EscapeCodes()), nullptr) << "a new parser at once";
    EXPECT_EQ(t.ArrowKeys, akWindows);
    EXPECT_EQ(RowText(t, 1, 4), "keep") << "the same size keeps the screen";
}

TEST(TerminalSetup, EachBoxSetsItsOwnFlag)
{
    QCheckBox* TComTrmSetForm::*const boxes[] = {&TComTrmSetForm::CheckBox1, &TComTrmSetForm::CheckBox2,
                                                 &TComTrmSetForm::CheckBox3, &TComTrmSetForm::CheckBox4,
                                                 &TComTrmSetForm::CheckBox5};
    bool TCustomComTerminal::*const flags[] = {&TCustomComTerminal::LocalEcho, &TCustomComTerminal::SendLF,
                                               &TCustomComTerminal::WrapLines, &TCustomComTerminal::Force7Bit,
                                               &TCustomComTerminal::AppendLF};
    for (size_t i = 0; i < 5; ++i) {
        TComTerminal t;
        DialogDriver driver([&](TComTrmSetForm& f) { QTest::keyClick(f.*boxes[i], Qt::Key_Space); });
        EditComTerminal(&t);
        for (size_t j = 0; j < 5; ++j)
            EXPECT_EQ(t.*flags[j], i == j) << "box " << i + 1 << ", flag " << j;
    }
}

TEST(TerminalSetup, SizeTextsAreClampedOrDefaultedAndAChangeClears)
{
    const struct {
        const char* columns;
        const char* rows;
        int wantColumns, wantRows;
    } rows[] = {{"abc", "", 80, 24}, {"1000", "500", 256, 100}, {"1", "1", 2, 2}, {"99999999999", "-3", 80, 2},
                {"40", "12", 40, 12}};
    for (const auto& row : rows) {
        TComTerminal t;
        t.WriteStr("\x1b[24;80Hold");
        DialogDriver driver([&](TComTrmSetForm& f) {
            Retype(f.Edit1, row.columns);
            Retype(f.Edit2, row.rows);
        });
        EditComTerminal(&t);
        EXPECT_EQ(t.Columns(), row.wantColumns) << row.columns;
        EXPECT_EQ(t.Rows(), row.wantRows) << row.rows;
        if (row.wantColumns != 80 || row.wantRows != 24) {
            EXPECT_EQ(t.Buffer().GetLastLine(), 0) << "a new size clears the screen";
            EXPECT_LE(t.CaretPos().x(), t.Columns());
            EXPECT_LE(t.CaretPos().y(), t.Rows());
            const QPoint at = t.CaretPos();
            t.WriteStr("x");
            EXPECT_EQ(t.Buffer().GetChar(at.x(), at.y()).Ch, 'x') << "written inside the grid";
        }
    }
}

TEST(TerminalSetup, ACaretTheListDoesNotOfferIsKept)
{
    TComTerminal t;
    t.SetCaret(tcNone);
    DialogDriver driver([](TComTrmSetForm&) {});
    EditComTerminal(&t);
    EXPECT_EQ(driver.caretIndex, -1) << "shown with no selection";
    EXPECT_EQ(t.Caret(), tcNone);
}
