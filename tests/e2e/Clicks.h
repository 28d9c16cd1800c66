#pragma once
// The user's mouse and keyboard, as events delivered to the widgets: a left
// click on a button, a key typed into an edit, and a right click that opens
// a widget's popup menu and picks one of its items.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

namespace clicks {

inline void MouseAt(QWidget* widget, QPoint at, QEvent::Type type, Qt::MouseButton button)
{
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, local, global, button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A left click in the middle of the widget (a disabled widget takes none).
inline void Click(QWidget* widget)
{
    const QPoint middle = widget->rect().center();
    MouseAt(widget, middle, QEvent::MouseButtonPress, Qt::LeftButton);
    MouseAt(widget, middle, QEvent::MouseButtonRelease, Qt::LeftButton);
}

// One character typed on the keyboard into the widget.
inline void Type(QWidget* widget, char character)
{
    const QString text(QChar::fromLatin1(character));
    const int key = character >= 'a' && character <= 'z' ? Qt::Key_A + (character - 'a') : int(character);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// Records each colour `role` of the widget's palette takes while the
// returned watch lives.
inline std::unique_ptr<QObject> WatchPalette(QWidget* widget, QPalette::ColorRole role, std::vector<QColor>& seen)
{
    struct Watch : QObject {
        QPalette::ColorRole role;
        std::vector<QColor>* seen;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::PaletteChange)
                seen->push_back(static_cast<QWidget*>(o)->palette().color(role));
            return false;
        }
    };
    auto watch = std::make_unique<Watch>();
    watch->role = role;
    watch->seen = &seen;
    widget->installEventFilter(watch.get());
    return watch;
}

// A right click on `widget` that opens `menu`, then a click on `item` in it.
// The menu runs its own event loop; the click on the item comes from there.
inline void ChooseFromPopup(QWidget* widget, QMenu* menu, QAction* item)
{
    QTimer::singleShot(0, menu, [menu, item] {
        if (!menu->isVisible())
            return;
        const QPoint at = menu->actionGeometry(item).center();
        MouseAt(menu, at, QEvent::MouseMove, Qt::NoButton);
        MouseAt(menu, at, QEvent::MouseButtonPress, Qt::LeftButton);
        MouseAt(menu, at, QEvent::MouseButtonRelease, Qt::LeftButton);
    });
    const QPoint middle = widget->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, middle, widget->mapToGlobal(middle));
    QApplication::sendEvent(widget, &event);
}

} // namespace clicks
