#include "platform/ScreenFit.h"

#include <QApplication>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <memory>

namespace platform {

namespace {

QMargins KnownFrame(const QWidget* window)
{
    const QRect frame = window->frameGeometry(), client = window->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

// The frame around the window's client area. Before a window manager has
// framed a window, the frame of another one already framed stands in for it:
// the same manager will put the same decorations around it.
QMargins Frame(const QWidget* window)
{
    const QMargins known = KnownFrame(window);
    if (!known.isNull() || window->windowFlags().testFlag(Qt::FramelessWindowHint))
        return known;
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other != window && other->isVisible() && !other->windowFlags().testFlag(Qt::FramelessWindowHint))
            if (const QMargins m = KnownFrame(other); !m.isNull())
                return m;
    return known;
}

} // namespace

QRect AvailableArea(const QWidget* window)
{
    const QScreen* screen = QGuiApplication::screenAt(window->frameGeometry().center());
    if (!screen)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QSize FrameExtra(const QWidget* window)
{
    const QMargins m = Frame(window);
    return {m.left() + m.right(), m.top() + m.bottom()};
}

QSize LargestClientSize(const QWidget* window)
{
    return AvailableArea(window).size() - FrameExtra(window);
}

void KeepOnScreen(QWidget* window)
{
    const QRect area = AvailableArea(window);
    if (area.isEmpty())
        return;
    if (window->minimumSize() != window->maximumSize() && !window->isMaximized() && !window->isFullScreen()) {
        const QSize largest = LargestClientSize(window);
        const QSize size = window->size().boundedTo(largest).expandedTo(window->minimumSize());
        if (size != window->size())
            window->resize(size);
    }
    const QRect frame = window->geometry().marginsAdded(Frame(window));
    // Left and top edges win over right and bottom: the title bar and the
    // close box stay within reach.
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    // By the frame's offset: before a window is framed, its position may
    // still be its client area's.
    if (x != frame.left() || y != frame.top())
        window->move(window->pos() + QPoint(x - frame.left(), y - frame.top()));
}

void WhenFramed(QWidget* window, std::function<void()> then)
{
    constexpr int kPollMs = 20, kPolls = 50;
    auto* timer = new QTimer(window);
    timer->setObjectName("framePoll"); // for tests that wait for the window to settle
    timer->setInterval(kPollMs);
    auto polls = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, window, [window, timer, polls, then = std::move(then)] {
        if (KnownFrame(window).isNull() && ++*polls < kPolls && !window->windowFlags().testFlag(Qt::FramelessWindowHint))
            return;
        timer->stop();
        timer->deleteLater();
        then();
    });
    timer->start();
}

void KeepOnScreenAsShown(QWidget* window)
{
    KeepOnScreen(window);
    WhenFramed(window, [window] { KeepOnScreen(window); });
}

} // namespace platform
