// Fuzzing the escape-code parsers of both families and the terminal's Write
// with what a peer may send. The first bytes choose the terminal's size and
// options; the rest is received text, cut into pieces at chosen places.
#include "serial/PortEscapes.h"
#include "serial/PortTerminal.h"

#include <QApplication>
#include <QScrollBar>
#include <cstdlib>
#include <sstream>

namespace {

[[noreturn]] void Fail(const char* what)
{
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

void CheckParser(TEscapeCodes& codes, TEscapeCodes& reparser, const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const TEscapeResult r = codes.ProcessChar(char(data[i]));
        if (codes.Data().size() >= TEscapeCodes::kMaxSequence)
            Fail("a sequence grew past its limit");
        if (r != erCode)
            continue;
        if (codes.Code == ecNotCompleted)
            Fail("an unfinished code was reported");
        for (int n = 0; n <= int(codes.Params.size()) + 1; ++n)
            (void)TEscapeCodes::GetParam(n, &codes.Params);
        // What is generated for the code parses back to it.
        const std::string text = codes.EscCodeToStr(codes.Code, &codes.Params);
        if (!text.empty()) {
            TEscapeResult back = erNothing;
            for (char c : text)
                back = reparser.ProcessChar(c);
            if (back != erCode || reparser.Code != codes.Code)
                Fail("a generated sequence did not parse back");
            reparser.Params.clear();
        }
        codes.Params.clear();
    }
}

void CheckCarets(TCustomComTerminal& t)
{
    const QPoint c = t.CaretPos();
    if (c.x() < 1 || c.x() > t.Columns() || c.y() < 1 || c.y() > t.Rows())
        Fail("the caret left the screen");
    if (t.Buffer().Columns() != t.Columns() || t.Buffer().Rows() != t.Rows())
        Fail("the buffer's size differs from the terminal's");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        TEscapeCodesVT100 vt100, back100;
        CheckParser(vt100, back100, data, size);
        TEscapeCodesVT52 vt52, back52;
        CheckParser(vt52, back52, data, size);
    }
    if (size < 4)
        return 0;

    static TComTerminal* terminal = [] {
        auto* t = new TComTerminal;
        t->resize(160, 120);
        return t;
    }();
    TComTerminal& t = *terminal;
    const uint8_t options = data[0];
    t.SetEmulation(TTermEmulation(options % 3));
    t.WrapLines = options & 0x04;
    t.AppendLF = options & 0x08;
    t.Force7Bit = options & 0x10;
    t.SetColumns(2 + data[1] % 140);
    t.SetRows(2 + data[2] % 40);
    t.ClearScreen();
    const size_t cut = data[3];
    data += 4;
    size -= 4;
    // Two pieces, as the port hands them over.
    const size_t first = size == 0 ? 0 : cut % (size + 1);
    t.Write(data, int32_t(first));
    CheckCarets(t);
    t.Write(data + first, int32_t(size - first));
    CheckCarets(t);
    // Changing the size keeps both carets inside: the next text lands in the grid.
    if (options & 0x20) {
        t.SetColumns(2 + cut % 7);
        t.SetRows(2 + cut % 5);
        t.WriteStr("\x1b[u\x1b" "8x");
        CheckCarets(t);
    }
    if (options & 0x40) {
        t.horizontalScrollBar()->setValue(int(cut));
        t.verticalScrollBar()->setValue(int(cut));
        (void)t.viewport()->grab();
    }
    if (options & 0x80) {
        std::ostringstream out;
        t.SaveToStream(out);
    }
    // Queued work (scroll-bar layout, repaints) runs as the event loop would run it.
    QCoreApplication::sendPostedEvents();
    return 0;
}
