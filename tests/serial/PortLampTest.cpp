// The signal lamp: its pictures and painting, the state rules, following a
// port's signals (also a real port's receive and transmit activity), rings.
#include "platform/Clock.h"
#include "platform/CommKernel.h"
#include "platform/ExceptionDisplay.h"
#include "serial/PortLamp.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

namespace {

QImage Resource(const char* name) { return QImage(QString(":/serial/") + name).convertToFormat(QImage::Format_ARGB32); }

// What the lamp shows at its centre, painted on white.
QRgb CentrePixel(TComLed& lamp)
{
    QImage image(lamp.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    lamp.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // no window background: the lamp has none
    return image.pixel(lamp.width() / 2, lamp.height() / 2);
}

QRgb OnWhite(const QImage& picture)
{
    QImage image(picture.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter(&image).drawImage(0, 0, picture);
    return image.pixel(picture.width() / 2, picture.height() / 2);
}

struct StateLog {
    std::vector<TLedState> states;
    void Attach(TComLed& lamp)
    {
        lamp.OnChange = [this, &lamp](QObject* sender, TLedState s) {
            EXPECT_EQ(sender, &lamp);
            states.push_back(s);
        };
    }
};

} // namespace

TEST(SignalLamp, DefaultsAndTheStateRules)
{
    TComLed lamp;
    EXPECT_EQ(lamp.size(), QSize(25, 25));
    EXPECT_EQ(lamp.LedSignal(), lsConn);
    EXPECT_EQ(lamp.Kind(), lkRedLight);
    EXPECT_EQ(lamp.State(), lsOff);
    EXPECT_EQ(lamp.RingDuration(), 1000u);
    StateLog log;
    log.Attach(lamp);
    lamp.SetState(lsOn);
    lamp.SetState(lsOn);
    lamp.SetState(lsOff);
    EXPECT_EQ(log.states, (std::vector<TLedState>{lsOn, lsOn, lsOff})) << "every set, changed or not";
    lamp.BeginLoading();
    lamp.SetState(lsOn);
    lamp.Loaded();
    EXPECT_EQ(lamp.State(), lsOn);
    EXPECT_EQ(log.states.size(), 3u) << "not while loading";

    TComPort port;
    lamp.SetComPort(&port);
    try {
        lamp.SetState(lsOff);
        ADD_FAILURE() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 19);
        EXPECT_EQ(std::string(e.what()), "Cannot change led state if ComPort is selected");
    }
    EXPECT_EQ(lamp.State(), lsOn) << "bound to a closed port: the state stays";
    lamp.SetComPort(nullptr);
    EXPECT_EQ(lamp.State(), lsOff) << "unbinding switches it off";
}

TEST(SignalLamp, EachKindPaintsItsPicturesCentredAndDisabledShowsOff)
{
    struct Case {
        TLedKind kind;
        const char* on;
        const char* off;
    };
    const Case cases[] = {
        {lkRedLight, "LEDREDON", "LEDREDOFF"},          {lkGreenLight, "LEDGREENON", "LEDGREENOFF"},
        {lkBlueLight, "LEDBLUEON", "LEDBLUEOFF"},       {lkYellowLight, "LEDYELLOWON", "LEDYELLOWOFF"},
        {lkPurpleLight, "LEDPURPLEON", "LEDPURPLEOFF"}, {lkBulb, "LEDBULBON", "LEDBULBOFF"},
    };
    for (const Case& c : cases) {
        const QImage on = Resource(c.on), off = Resource(c.off);
        ASSERT_FALSE(on.isNull()) << c.on;
        ASSERT_FALSE(off.isNull()) << c.off;
        ASSERT_NE(OnWhite(on), OnWhite(off)) << c.on;
        TComLed lamp;
        lamp.SetKind(c.kind == lkRedLight ? lkGreenLight : lkRedLight);
        lamp.SetKind(c.kind);
        lamp.SetState(lsOn);
        EXPECT_EQ(CentrePixel(lamp), OnWhite(on)) << c.on;
        lamp.setEnabled(false);
        EXPECT_EQ(CentrePixel(lamp), OnWhite(off)) << c.off << " while disabled";
        lamp.setEnabled(true);
        lamp.SetState(lsOff);
        EXPECT_EQ(CentrePixel(lamp), OnWhite(off)) << c.off;
    }
    TComLed lamp;
    CentrePixel(lamp); // the pictures are loaded when first needed
    const int w = lamp.CurrentPicture().width(), h = lamp.CurrentPicture().height();
    lamp.resize(40, 31);
    EXPECT_EQ(lamp.PicturePosition(), QPoint((40 - w) / 2, (31 - h) / 2));
    lamp.resize(w - 5, h - 5);
    EXPECT_EQ(lamp.PicturePosition(), QPoint(0, 0)) << "never left of or above the control";
}

TEST(SignalLamp, OwnGlyphsOnlyForTheCustomKind)
{
    QImage square(9, 9, QImage::Format_ARGB32);
    square.fill(Qt::magenta); // the bottom-left colour: made transparent
    for (int y = 2; y < 7; ++y)
        for (int x = 2; x < 7; ++x)
            square.setPixel(x, y, qRgb(0, 0, 200));
    TComLed lamp;
    lamp.SetGlyphOn(QPixmap::fromImage(square));
    EXPECT_TRUE(lamp.GlyphOn().isNull()) << "not custom: ignored";
    lamp.SetKind(lkCustom);
    lamp.SetGlyphOn(QPixmap::fromImage(square));
    QImage grey(9, 9, QImage::Format_ARGB32);
    grey.fill(qRgb(90, 90, 90));
    lamp.SetGlyphOff(QPixmap::fromImage(grey));
    const QImage glyph = lamp.GlyphOn().toImage();
    EXPECT_EQ(qAlpha(glyph.pixel(0, 0)), 0);
    EXPECT_EQ(glyph.pixel(4, 4), qRgb(0, 0, 200));
    lamp.SetState(lsOn);
    EXPECT_EQ(CentrePixel(lamp), qRgb(0, 0, 200));
    QImage image(lamp.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    lamp.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // no window background: the lamp has none
    EXPECT_EQ(image.pixel(9, 9), qRgb(255, 255, 255)) << "the transparent edge shows what is behind";
    lamp.SetState(lsOff);
    EXPECT_EQ(CentrePixel(lamp), qRgb(255, 255, 255)) << "all one colour: all transparent";
}

TEST(SignalLamp, EachSignalHasExactlyOneHandlerOnTheLink)
{
    TComLed lamp;
    for (TComLedSignal s : {lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx, lsConn}) {
        lamp.SetLedSignal(s);
        const TComLink& l = *lamp.Link();
        const bool set[] = {bool(l.OnConn), bool(l.OnCTSChange), bool(l.OnDSRChange), bool(l.OnRLSDChange),
                            bool(l.OnRing),  bool(l.OnRx),        bool(l.OnTx)};
        const int index[] = {0, 1, 2, 3, 4, 5, 6}; // lsConn .. lsTx in the order above
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(set[i], index[i] == int(s)) << int(s) << " handler " << i;
    }
}

TEST(SignalLamp, RingLightsItForRingDuration)
{
    platform::TimeControl::UseVirtualTime();
    {
        TComPort port;
        TComLed lamp;
        lamp.SetLedSignal(lsRing);
        lamp.SetComPort(&port);
        StateLog log;
        log.Attach(lamp);
        port.CallRing();
        EXPECT_EQ(lamp.State(), lsOn);
        platform::TimeControl::Advance(999);
        EXPECT_EQ(lamp.State(), lsOn);
        platform::TimeControl::Advance(1);
        EXPECT_EQ(lamp.State(), lsOff);
        lamp.SetRingDuration(250);
        port.CallRing();
        platform::TimeControl::Advance(249);
        EXPECT_EQ(lamp.State(), lsOn);
        platform::TimeControl::Advance(1);
        EXPECT_EQ(lamp.State(), lsOff);
        platform::TimeControl::Advance(5000);
        EXPECT_EQ(log.states, (std::vector<TLedState>{lsOn, lsOff, lsOn, lsOff})) << "the timer stops after a ring";
    }
    platform::TimeControl::UseRealTime();
}

class LampOnPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetExceptionDisplayHook([this](const std::string& m) { shown.push_back(m); });
        port.SetPort(pty.SlavePath());
        port.FlowControl()->SetFlowControl(fcNone);
    }
    void TearDown() override { platform::SetExceptionDisplayHook({}); }

    Pty pty;
    TComPort port;
    std::vector<std::string> shown;
};

TEST_F(LampOnPort, ConnectionLampFollowsOpenCloseAndTheDestroyedPort)
{
    auto own = std::make_unique<TComPort>();
    own->SetPort(pty.SlavePath());
    TComLed lamp;
    StateLog log;
    log.Attach(lamp);
    own->Open();
    lamp.SetComPort(own.get());
    EXPECT_EQ(lamp.State(), lsOn) << "bound to an open port";
    own->Close();
    own->Open();
    EXPECT_EQ(log.states, (std::vector<TLedState>{lsOn, lsOff, lsOn}));
    own.reset();
    EXPECT_EQ(lamp.ComPort(), nullptr);
    EXPECT_EQ(lamp.State(), lsOff);
    lamp.SetState(lsOn); // unbound again: the application may switch it
    EXPECT_TRUE(shown.empty());
}

TEST_F(LampOnPort, ModemLineLampsAreLitFromTheLinesAndEachFollowsItsOwn)
{
    // A pseudo-terminal has no modem lines: the kernel's answer stands in.
    namespace comm = platform::comm;
    std::atomic<int> lines = TIOCM_CTS | TIOCM_CAR;
    const comm::KernelCalls real = comm::Kernel();
    comm::Kernel().modemLines = [&lines](int, int* out) {
        *out = lines;
        return 0;
    };
    const auto restore = qScopeGuard([&] {
        port.Close();
        comm::Kernel() = real;
    });
    TComLed cts, dsr, rlsd;
    cts.SetLedSignal(lsCTS);
    dsr.SetLedSignal(lsDSR);
    rlsd.SetLedSignal(lsRLSD);
    port.Open();
    for (TComLed* lamp : {&cts, &dsr, &rlsd})
        lamp->SetComPort(&port);
    EXPECT_EQ(cts.State(), lsOn);
    EXPECT_EQ(dsr.State(), lsOff);
    EXPECT_EQ(rlsd.State(), lsOn);
    lines = TIOCM_DSR;
    ASSERT_TRUE(ServeUntil([&] { return dsr.State() == lsOn && cts.State() == lsOff && rlsd.State() == lsOff; }));

    // Going away is no state change the application hears of.
    auto bound = std::make_unique<TComLed>();
    bound->SetLedSignal(lsDSR);
    bound->SetComPort(&port);
    StateLog log;
    log.Attach(*bound);
    bound.reset();
    EXPECT_TRUE(log.states.empty());
    EXPECT_TRUE(shown.empty());
}

TEST_F(LampOnPort, FollowsReceiveAndTransmitActivity)
{
    TComLed rx, tx;
    rx.SetLedSignal(lsRx);
    tx.SetLedSignal(lsTx);
    rx.SetComPort(&port);
    tx.SetComPort(&port);
    StateLog rxLog, txLog;
    rxLog.Attach(rx);
    txLog.Attach(tx);
    std::string received;
    port.OnRxChar = [&](QObject*, int32_t count) {
        EXPECT_EQ(rx.State(), lsOn) << "lit while the data is handled";
        std::string s;
        port.ReadStr(s, count);
        received += s;
    };
    port.Open();
    pty.Write(std::string("hello"));
    ASSERT_TRUE(ServeUntil([&] { return received == "hello"; }));
    EXPECT_EQ(rx.State(), lsOff) << "all read: off again";
    ASSERT_GE(rxLog.states.size(), 2u);
    EXPECT_EQ(rxLog.states.front(), lsOn);

    EXPECT_EQ(port.WriteStr("out"), 3);
    EXPECT_EQ(txLog.states.front(), lsOn);
    EXPECT_EQ(pty.Read(3).size(), 3u);
    pty.Write(std::string("ok")); // the far end answers, as it does in this program's protocol
    ASSERT_TRUE(ServeUntil([&] { return tx.State() == lsOff && received == "hellook"; })) << "the output drained";
    EXPECT_EQ(txLog.states, (std::vector<TLedState>{lsOn, lsOff}));
    EXPECT_TRUE(shown.empty());
}

TEST_F(LampOnPort, ASignalChangeServesNoOtherEvent)
{
    TComLed rx;
    rx.SetLedSignal(lsRx);
    rx.SetComPort(&port);
    rx.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rx));
    bool queuedRan = false;
    bool ranInsideTheEvent = false;
    rx.OnChange = [&](QObject*, TLedState s) {
        if (s == lsOn) // something queued while the port's event is handled, e.g. a Close
            QMetaObject::invokeMethod(qApp, [&] { queuedRan = true; }, Qt::QueuedConnection);
    };
    port.OnRxChar = [&](QObject*, int32_t count) {
        ranInsideTheEvent = queuedRan; // the lamp has been repainted before this handler
        std::string s;
        port.ReadStr(s, count);
    };
    port.Open();
    pty.Write(std::string("x"));
    ASSERT_TRUE(ServeUntil([&] { return queuedRan; }));
    EXPECT_FALSE(ranInsideTheEvent);
}
