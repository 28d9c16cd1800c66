// The packet cutter: start and stop strings, fixed size, handler positions,
// the full-buffer discard, and a real port feeding it through its link.
#include "platform/ExceptionDisplay.h"
#include "serial/PortPacket.h"
#include "support/PortOnPty.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <stdexcept>

namespace {

// Every event in order: "D:" for a discard, "P:" for a packet.
struct Recorder {
    std::vector<std::string> events;
    void Attach(TComDataPacket& packet)
    {
        packet.OnDiscard = [this](QObject*, const std::string& s) { events.push_back("D:" + s); };
        packet.OnPacket = [this](QObject*, const std::string& s) { events.push_back("P:" + s); };
    }
};

struct Rules {
    std::string start, stop;
    int32_t size = 0;
    bool include = false;
    bool caseless = false;
    int32_t max = 1024;
};

void Apply(TComDataPacket& p, const Rules& r)
{
    p.SetStartString(r.start);
    p.SetStopString(r.stop);
    p.SetSize(r.size);
    p.SetIncludeStrings(r.include);
    p.SetCaseInsensitive(r.caseless);
    p.SetMaxBufferSize(r.max);
}

using Events = std::vector<std::string>;

} // namespace

TEST(PacketCutter, RulesTable)
{
    struct Case {
        const char* what;
        Rules rules;
        std::vector<std::string> chunks;
        Events expected;
        std::string waiting;
        bool inPacket;
    };
    const std::string k1023(1023, 'a');
    const Case cases[] = {
        {"no stop rule: every chunk is a packet", {"<", ""}, {"xx<a", "b>"}, {"P:xx<a", "P:b>"}, "", false},
        {"start and stop", {"<", ">"}, {"xx<ab>yy<c"}, {"D:xx", "P:ab", "D:yy"}, "<c", true},
        {"start and stop, split at every byte", {"<", ">"}, {"x", "x", "<", "a", "b", ">", "y", "y", "<", "c"},
         {"D:xx", "P:ab", "D:yy"}, "<c", true},
        {"strings kept", {"<", ">", 0, true}, {"xx<ab>yy<c"}, {"D:xx", "P:<ab>", "D:yy"}, "<c", true},
        {"fixed size, no start", {"", "", 4}, {"abcdefghij"}, {"P:abcd", "P:efgh"}, "ij", true},
        {"fixed size after a start", {"<", "", 4}, {"x<abcde"}, {"D:x", "P:abc"}, "de", false},
        {"size or stop, whichever first", {"", ";", 4}, {"ab;", "cdefg;"}, {"P:ab", "P:cdef", "P:g"}, "", true},
        {"size before stop once the buffer holds it", {"", ";", 4}, {"ab;cd"}, {"P:ab;c"}, "d", true},
        {"stop equal to start", {"#", "#"}, {"#ab#cd#"}, {"P:ab", "D:cd"}, "#", true},
        {"stop equal to start, empty packet", {"#", "#"}, {"##x"}, {"P:"}, "x", false},
        {"multi-byte strings", {"<<", ">>"}, {"<<a>b>>c"}, {"P:a>b"}, "c", false},
        {"stop only", {"", "\r\n"}, {"one\r\ntwo\r", "\nthr"}, {"P:one", "P:two"}, "thr", true},
        {"case insensitive END", {"", "end", 0, false, true}, {"abcEND"}, {"P:abc"}, "", true},
        {"case sensitive misses END", {"", "end"}, {"abcEND"}, {}, "abcEND", true},
        {"case insensitive start", {"go", "!", 0, false, true}, {"xGOab!"}, {"D:x", "P:ab"}, "", false},
        {"full buffer without an end", {"<", ">"}, {"<", k1023}, {"D:<" + k1023}, "", false},
        {"one short of full", {"<", ">"}, {"<", k1023.substr(1)}, {}, "<" + k1023.substr(1), true},
        {"full buffer without a start", {"<", ">", 0, false, false, 4}, {"abcd"}, {"D:abcd"}, "", false},
        {"no limit", {"<", ">", 0, false, false, 0}, {k1023, k1023}, {}, k1023 + k1023, false},
        {"zero bytes are data", {"<", ">"}, {std::string("\0<\0>", 4)}, {std::string("D:\0", 3), std::string("P:\0", 3)},
         "", false},
    };
    for (const Case& c : cases) {
        TComDataPacket packet;
        Apply(packet, c.rules);
        Recorder rec;
        rec.Attach(packet);
        for (const std::string& chunk : c.chunks)
            packet.AddData(chunk);
        EXPECT_EQ(rec.events, c.expected) << c.what;
        EXPECT_EQ(packet.Buffer(), c.waiting) << c.what;
        EXPECT_EQ(packet.InPacket(), c.inPacket) << c.what;
    }
}

TEST(PacketCutter, HandlerPositionsAreOneBasedAndClampedToTheBuffer)
{
    struct Case {
        const char* what;
        int32_t start; // what OnCustomStart answers
        int32_t stop;  // what OnCustomStop answers
        Events expected;
        std::string waiting;
    };
    const Case cases[] = {
        {"start at 3, stop after 2", 3, 2, {"D:ab", "P:cd", "P:ef"}, ""},
        {"0 is no start", 0, 2, {}, "abcdef"},
        {"below -1 is no start", -5, 2, {}, "abcdef"},
        {"-1 falls back to the start string", -1, 2, {"D:ab", "P:d", "P:ef"}, ""},
        {"past the end: all discarded", 99, 2, {"D:abcdef"}, ""},
        {"stop past the end: the rest is the packet", 1, 99, {"P:abcdef"}, ""},
        {"stop 0 or below -1: not ended", 1, -7, {}, "abcdef"},
    };
    for (const Case& c : cases) {
        TComDataPacket packet;
        packet.SetStartString("<");
        Recorder rec;
        rec.Attach(packet);
        bool first = true;
        packet.OnCustomStart = [&](QObject*, const std::string&, int32_t& pos) {
            // Only the first start is the handler's; later ones follow the string.
            pos = first ? c.start : 1;
            first = false;
        };
        packet.OnCustomStop = [&](QObject*, const std::string&, int32_t& pos) { pos = c.stop; };
        packet.AddData(c.start == -1 ? "ab<def" : "abcdef");
        EXPECT_EQ(rec.events, c.expected) << c.what;
        EXPECT_EQ(packet.Buffer(), c.waiting) << c.what;
    }
}

TEST(PacketCutter, ChangingARuleDiscardsTheBufferExceptWhileLoading)
{
    TComDataPacket packet;
    Recorder rec;
    rec.Attach(packet);
    packet.SetStartString("<");
    packet.SetStopString(">");
    packet.AddData("<abc");
    packet.SetStopString(">"); // same value: nothing
    EXPECT_TRUE(rec.events.empty());
    packet.SetCaseInsensitive(true);
    EXPECT_EQ(rec.events, Events{"D:<abc"});
    EXPECT_FALSE(packet.InPacket());
    packet.AddData("<x");
    packet.SetSize(9);
    packet.AddData("<y");
    packet.SetStartString("[");
    EXPECT_EQ(rec.events, (Events{"D:<abc", "D:<x", "D:<y"}));
    packet.AddData("z");
    packet.BeginLoading();
    packet.SetStopString("]");
    packet.Loaded();
    EXPECT_EQ(packet.Buffer(), "z") << "a window being loaded keeps what is buffered";
    packet.SetIncludeStrings(true);
    packet.SetMaxBufferSize(5);
    EXPECT_EQ(packet.Buffer(), "z") << "these two are only stored";

    // Without a start string the next packet begins right after a packet, with
    // nothing buffered; a new rule ends it all the same.
    TComDataPacket fresh;
    Recorder log;
    log.Attach(fresh);
    fresh.SetStopString(">");
    fresh.AddData("ab>");
    fresh.SetStartString("<");
    EXPECT_FALSE(fresh.InPacket());
    fresh.AddData("xx<cd>");
    EXPECT_EQ(log.events, (Events{"P:ab", "D:xx", "P:cd"}));
}

TEST(PacketCutter, FullBufferIsDiscardedEvenWhenAHandlerRaised)
{
    TComDataPacket packet;
    Recorder rec;
    rec.Attach(packet);
    packet.SetStartString("<");
    packet.SetStopString(">");
    packet.SetMaxBufferSize(8);
    packet.OnPacket = [&](QObject*, const std::string& s) {
        rec.events.push_back("P:" + s);
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(packet.AddData("<a>bbbbbbbbbb"), std::runtime_error);
    EXPECT_EQ(rec.events, (Events{"P:a", "D:bbbbbbbbbb"}));
    EXPECT_TRUE(packet.Buffer().empty());
    EXPECT_FALSE(packet.InPacket());
}

namespace {

struct ManyPackets {
    size_t packets = 0;
    size_t count = 0;
};

void* CutManyPackets(void* arg)
{
    auto* result = static_cast<ManyPackets*>(arg);
    TComDataPacket packet;
    packet.SetSize(1);
    packet.SetMaxBufferSize(0);
    packet.OnPacket = [result](QObject*, const std::string&) { ++result->packets; };
    packet.AddData(std::string(result->count, 'x'));
    return nullptr;
}

} // namespace

TEST(PacketCutter, ManyPacketsInOneChunkNeedNoStackPerPacket)
{
    // On a thread with a small stack: one frame per packet would overflow it.
    ManyPackets result;
    result.count = 20000;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, CutManyPackets, &result), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(result.packets, result.count);
}

TEST(PacketCutter, CustomStopOnAnEmptyBufferGivesNoEmptyPackets)
{
    TComDataPacket packet;
    Recorder rec;
    rec.Attach(packet);
    packet.OnCustomStop = [](QObject*, const std::string&, int32_t& pos) { pos = 1; };
    packet.AddData("ab");
    EXPECT_EQ(rec.events, (Events{"P:a", "P:b"})) << "and it does not spin on the empty rest";
}

// ---------------------------------------------------------------- on a port

class PacketOnPort : public PortOnPty {};

TEST_F(PacketOnPort, CutsWhatTheFarEndSendsAndTakesTheDataFromOnRxChar)
{
    TComDataPacket packet;
    Recorder rec;
    rec.Attach(packet);
    packet.SetStartString("<");
    packet.SetStopString(">");
    int rxChar = 0;
    port.OnRxChar = [&](QObject*, int32_t) { ++rxChar; };
    EXPECT_TRUE(port.TriggersOnRxChar());
    packet.SetComPort(&port);
    EXPECT_EQ(packet.ComPort(), &port);
    EXPECT_FALSE(port.TriggersOnRxChar()) << "the link reads the data itself";
    port.Open();
    pty.Write(std::string("xx<ab>yy<c"));
    ASSERT_TRUE(ServeUntil([&] { return packet.Buffer() == "<c"; }));
    EXPECT_EQ(rec.events, (Events{"D:xx", "P:ab", "D:yy"}));
    pty.Write(std::string("d>"));
    ASSERT_TRUE(ServeUntil([&] { return rec.events.size() == 4; }));
    EXPECT_EQ(rec.events.back(), "P:cd");
    EXPECT_EQ(rxChar, 0);
    EXPECT_TRUE(shown.empty());

    packet.SetComPort(nullptr);
    EXPECT_TRUE(port.TriggersOnRxChar()) << "unregistered: OnRxChar gets the data again";
    pty.Write(std::string("<e>"));
    ASSERT_TRUE(ServeUntil([&] { return rxChar > 0; }));
    EXPECT_EQ(rec.events.size(), 4u);

    // Destroyed while bound: no received data reaches the freed packet.
    auto bound = std::make_unique<TComDataPacket>();
    bound->SetStopString(">");
    bound->SetComPort(&port);
    bound.reset();
    EXPECT_TRUE(port.TriggersOnRxChar());
    rxChar = 0;
    pty.Write(std::string("<f>"));
    ASSERT_TRUE(ServeUntil([&] { return rxChar > 0; }));
}

TEST_F(PacketOnPort, FixedSizeAndAHandlerFailureShownByTheEventGuard)
{
    TComDataPacket packet;
    Recorder rec;
    rec.Attach(packet);
    packet.SetSize(4);
    packet.SetComPort(&port);
    port.Open();
    pty.Write(std::string("abcdefghij"));
    ASSERT_TRUE(ServeUntil([&] { return rec.events.size() == 2 && packet.Buffer() == "ij"; }));
    EXPECT_EQ(rec.events, (Events{"P:abcd", "P:efgh"}));

    packet.OnPacket = [](QObject*, const std::string&) { throw EComPort(3); };
    pty.Write(std::string("kl"));
    ASSERT_TRUE(ServeUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown.front(), ComErrorMessage(3));
    EXPECT_TRUE(packet.Buffer().empty());
}

TEST_F(PacketOnPort, ForgetsAPortThatIsDestroyed)
{
    TComDataPacket packet;
    {
        TComPort other;
        packet.SetComPort(&other);
        EXPECT_EQ(packet.ComPort(), &other);
    }
    EXPECT_EQ(packet.ComPort(), nullptr);
    packet.SetComPort(&port); // and can be bound again
    EXPECT_EQ(packet.ComPort(), &port);
}
