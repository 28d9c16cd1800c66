#pragma once
// Sizing rules the small dialogs share: their buttons and boxes are made as
// wide as the captions of the current language need.
#include "app/Languages.h"

#include <QCheckBox>
#include <QFont>
#include <QPushButton>
#include <QWidget>
#include <algorithm>
#include <initializer_list>

namespace dialogsizing {

inline void SetPixelSize(QWidget* widget, int px)
{
    QFont font = widget->font();
    font.setPixelSize(px);
    widget->setFont(font);
}

inline void SetWidth(QWidget* widget, int width)
{
    widget->resize(width, widget->height());
}

// A check box as wide as its caption + 19, or as the style's mark and
// spacing need when they take more.
inline int CheckBoxWidth(const QCheckBox* box)
{
    return std::max(CaptionWidth(box, box->text()) + 19, box->sizeHint().width());
}

// One width for a row of buttons: the largest of `least` and each caption + `pad`.
inline int SharedButtonWidth(std::initializer_list<const QPushButton*> buttons, int least, int pad)
{
    int width = least;
    for (const QPushButton* b : buttons)
        width = std::max(width, CaptionWidth(b, b->text()) + pad);
    return width;
}

// An OK and Cancel pair in `clientWidth`: Cancel at the right edge, OK 16 pixels to its left.
inline void PlaceOkCancel(QPushButton* ok, QPushButton* cancel, int clientWidth)
{
    const int width = SharedButtonWidth({ok, cancel}, 75, 48);
    SetWidth(ok, width);
    SetWidth(cancel, width);
    cancel->move(clientWidth - width, cancel->y());
    ok->move(cancel->x() - width - 16, ok->y());
}

} // namespace dialogsizing
