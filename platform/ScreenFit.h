#pragma once
// Windows kept on the screen: the available area of the screen a window is
// on (the primary screen when it is on none), and a window moved and, where it
// may be, shrunk so that its frame lies inside that area.
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace platform {

// The available area (without panels and docks) of the screen that holds
// the centre of the window's frame, else the window's own screen, else the
// primary screen; empty without any screen.
QRect AvailableArea(const QWidget* window);

// The frame's extra size around the client area; before the window is
// framed, that of another window already framed.
QSize FrameExtra(const QWidget* window);

// The largest client size whose frame fits the available area.
QSize LargestClientSize(const QWidget* window);

// Moves the window so that its frame lies inside the available area; a window
// larger than the area is first shrunk to it, unless its size is fixed.
void KeepOnScreen(QWidget* window);

// Runs `then` once the window system has framed the window (at once when it
// has), or after a second without a frame: a window manager frames a window
// only after it is first shown, and says nothing to it when it has.
void WhenFramed(QWidget* window, std::function<void()> then);

// KeepOnScreen now, and again once the window is framed: for a window
// being shown.
void KeepOnScreenAsShown(QWidget* window);

} // namespace platform
