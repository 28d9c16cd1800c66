#include "platform/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace platform {

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
    return window->frameGeometry().size() - window->geometry().size();
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
    const QRect frame = window->frameGeometry();
    // Left and top edges win over right and bottom: the title bar and the
    // close box stay within reach.
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    // By the frame's offset: before a window is framed, its position may
    // still be its client area's.
    if (x != frame.left() || y != frame.top())
        window->move(window->pos() + QPoint(x - frame.left(), y - frame.top()));
}

} // namespace platform
