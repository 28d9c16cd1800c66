#pragma once
// What the small dialogs and tool windows share: their fonts, frame, pages
// and OK/Cancel pair, and the sizing rules that make their buttons and boxes
// as wide as the captions of the current language need.
#include "app/Languages.h"
#include "platform/ExceptionDisplay.h"
#include "platform/ScreenFit.h"

#include <QCheckBox>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
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

inline QFont PixelFont(const char* family, int px)
{
    QFont font(family);
    font.setPixelSize(px);
    return font;
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

template <class W>
W* Make(QWidget* parent, const char* name, int x, int y)
{
    auto* w = new W(parent);
    w->setObjectName(name);
    w->move(x, y);
    return w;
}

// A label showing `text`, sized to it.
inline QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y, const QString& text = {})
{
    auto* label = Make<QLabel>(parent, name, x, y);
    label->setText(text);
    label->adjustSize();
    return label;
}

// Centres a window on its screen (Qt would centre a dialog on its owner),
// and within it when it is larger.
// Called when the window is shown, once its size is known.
inline void CentreOnScreen(QWidget* window)
{
    if (const QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    platform::KeepOnScreen(window);
}

// A fixed-size dialog's window: a title and close box only.
inline void SetFixedDialogFlags(QDialog* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

// A fixed-size dialog with a title and close box only, in 13 pixel Arial, and
// the client area `border` in from its edges that holds its controls.
inline QWidget* MakeDialogFrame(QDialog* dialog, const char* name, int border, int clientWidth, int clientHeight)
{
    dialog->setObjectName(name);
    SetFixedDialogFlags(dialog);
    dialog->setFont(PixelFont("Arial", 13));
    auto* clientArea = new QWidget(dialog);
    clientArea->setObjectName("clientArea");
    clientArea->setGeometry(border, border, clientWidth, clientHeight);
    return clientArea;
}

// The tab control of a paged dialog, above its button panel, in 15 pixel captions.
inline QTabWidget* MakePageControl(QWidget* clientArea, int height)
{
    auto* pages = new QTabWidget(clientArea);
    pages->setObjectName("pageControl");
    SetPixelSize(pages, 15);
    pages->setGeometry(0, 0, clientArea->width(), height);
    return pages;
}

// A tab sheet and the area `border` inside it that holds its controls, named
// after the sheet + "Client".
inline QWidget* AddPage(QTabWidget* pages, QWidget*& sheet, const char* name, int border)
{
    sheet = new QWidget;
    sheet->setObjectName(name);
    pages->addTab(sheet, {});
    auto* inner = new QWidget(sheet);
    inner->setObjectName(QString(name) + "Client");
    inner->move(border, border);
    return inner;
}

// The panel at the foot of a paged dialog with its OK (the default) and Cancel.
inline QWidget* MakeButtonPanel(QWidget* clientArea, int height, QPushButton*& ok, QPushButton*& cancel)
{
    auto* panel = new QWidget(clientArea);
    panel->setObjectName("Panel1");
    panel->setGeometry(0, clientArea->height() - height, clientArea->width(), height);
    ok = Make<QPushButton>(panel, "btnOk", 0, 9);
    cancel = Make<QPushButton>(panel, "btnCancel", 0, 9);
    for (QPushButton* b : {ok, cancel})
        b->resize(75, 25);
    ok->setDefault(true);
    ok->setAutoDefault(false);
    return panel;
}

// OK ends the dialog with 1 after its handler (if any) has run, Cancel with 2.
template <class D>
void ConnectOkCancel(D* dialog, QPushButton* ok, QPushButton* cancel, void (D::*onOk)() = nullptr)
{
    QObject::connect(ok, &QPushButton::clicked, dialog, [dialog, onOk] {
        if (onOk)
            platform::Guarded([dialog, onOk] { (dialog->*onOk)(); });
        dialog->done(1);
    });
    QObject::connect(cancel, &QPushButton::clicked, dialog, [dialog] { dialog->done(2); });
}

// The dialog made `clientWidth` wide inside its border: the client area and
// the controls that span it, OK and Cancel at its right edge.
inline void FitClientWidth(QDialog* dialog, QWidget* clientArea, int clientWidth,
                           std::initializer_list<QWidget*> spanning, QPushButton* ok, QPushButton* cancel)
{
    SetWidth(clientArea, clientWidth);
    for (QWidget* w : spanning)
        SetWidth(w, clientWidth);
    PlaceOkCancel(ok, cancel, clientWidth);
    const int border = clientArea->x();
    dialog->setFixedSize(clientWidth + 2 * border, clientArea->height() + 2 * border);
}

} // namespace dialogsizing
