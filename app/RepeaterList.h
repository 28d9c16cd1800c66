#pragma once
// The repeater list box. A selection made with the keyboard (arrow keys,
// Home, End, page keys, typing a name) counts as a click on the item, as a
// mouse click does.
#include <QKeyEvent>
#include <QListWidget>
#include <functional>

class TRepeaterListBox : public QListWidget {
public:
    using QListWidget::QListWidget;

    // Called after a key press has moved the selection to another item.
    std::function<void()> OnKeySelect;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const QListWidgetItem* before = currentItem();
        QListWidget::keyPressEvent(event);
        if (currentItem() && currentItem() != before && OnKeySelect)
            OnKeySelect();
    }
};
