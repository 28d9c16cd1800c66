#include "tools/LogListView.h"

#include <QAbstractItemModel>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>
#include <algorithm>
#include <climits>

namespace {
constexpr int kTextMargin = 2; // pixels left and right of a row's text
constexpr int kBand = 64;      // lines of a scroll bar painted at a time
constexpr int kSplitLines = 96; // the raster engine's threaded fills start there

// Printable ASCII: every glyph from the font itself, none wider than its widest.
bool PlainAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u' ' && c <= u'~'; });
}

// A scroll bar that repaints only where it looks different. Every appended
// row changes the range; a plain scroll bar then repaints all of itself (a
// fill the raster engine hands to its thread pool once it is tall), though at
// most the ends of the handle moved, and once the handle is at its least
// length at the bottom nothing moved at all.
class TLogScrollBar : public QScrollBar {
public:
    explicit TLogScrollBar(Qt::Orientation orientation) : QScrollBar(orientation)
    {
        look_ = Look();
        KeepOpaque();
    }

protected:
    void sliderChange(SliderChange change) override
    {
        const Looks now = Look();
        if (change == SliderOrientationChange || style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this) ||
            !now.SameBesidesHandle(look_)) {
            QScrollBar::sliderChange(change);
        } else {
            QRegion changed;
            if (now.handle != look_.handle)
                changed += Moved(look_.handle, now.handle);
            // Some styles grey the arrow that cannot move the handle further.
            if (now.atMinimum != look_.atMinimum)
                changed += Part(QStyle::SC_ScrollBarSubLine);
            if (now.atMaximum != look_.atMaximum)
                changed += Part(QStyle::SC_ScrollBarAddLine);
            if (!changed.isEmpty())
                update(changed);
        }
        look_ = now;
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QScrollBar::resizeEvent(event);
        look_ = Look();
    }
    void changeEvent(QEvent* event) override
    {
        QScrollBar::changeEvent(event); // repaints for what it changes
        look_ = Look();
        if (event->type() == QEvent::StyleChange)
            KeepOpaque();
    }
    // The raster engine splits a fill of 96 lines or more over its thread
    // pool and waits for it: a whole bar of a few hundred pixels woke every
    // pool thread several times and the UI thread as often. Painted in bands
    // of fewer lines, through the same code, the pixels are the same and no
    // thread wakes.
    void paintEvent(QPaintEvent* event) override
    {
        // Painted into the window's store, whose engine clips to what is
        // repainted; a painter shared for a grab keeps its own clip.
        QPoint offset;
        QPaintDevice* store = sharedPainter() ? nullptr : redirected(&offset);
        QPaintEngine* engine = store ? store->paintEngine() : nullptr;
        const QRegion whole = engine ? engine->systemClip() : QRegion();
        // A fill is split once it covers that many lines of what is repainted
        // (a moved handle's few strips seldom do); each band is a whole pass.
        int lines = 0;
        for (const QRect& r : whole)
            lines += r.height();
        if (whole.isEmpty() || lines < kSplitLines) {
            QScrollBar::paintEvent(event);
            return;
        }
        const QRect bounds = whole.boundingRect();
        for (int top = bounds.top(); top <= bounds.bottom(); top += kBand) {
            const QRegion band = whole & QRect(bounds.left(), top, bounds.width(), kBand);
            if (band.isEmpty())
                continue;
            engine->setSystemClip(band);
            QScrollBar::paintEvent(event);
        }
        engine->setSystemClip(whole);
    }

private:
    // A bar that is not transient is drawn whole by the style, groove and
    // all: what lies under it (the window, the view's frame, the bar's box)
    // need not be painted first each time a part of it is.
    void KeepOpaque()
    {
        setAttribute(Qt::WA_OpaquePaintEvent, !style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this));
    }
    // What the style draws from, as far as the value and the range go.
    struct Looks {
        QRect handle;
        QStyle::State state;
        QStyle::SubControls active;
        bool atMinimum = false, atMaximum = false, empty = false;
        bool SameBesidesHandle(const Looks& o) const { return state == o.state && active == o.active && empty == o.empty; }
    };
    QRect Part(QStyle::SubControl part) const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_ScrollBar, &option, part, this);
    }
    Looks Look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        Looks l;
        l.handle = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
        l.state = option.state;
        l.active = option.activeSubControls;
        l.atMinimum = option.sliderPosition == option.minimum;
        l.atMaximum = option.sliderPosition == option.maximum;
        l.empty = option.minimum == option.maximum;
        return l;
    }
    // Along the bar, a handle looks the same all through but at its ends
    // (borders, rounded corners) and, in some styles, at its middle (a grip):
    // those of the old and the new handle are what can have changed.
    QRegion Moved(const QRect& from, const QRect& to) const
    {
        constexpr int end = 4, grip = 8;
        const bool vertical = orientation() == Qt::Vertical;
        // Across the whole bar, for what a style draws beside the handle.
        const auto along = [this, vertical](int first, int last) {
            return vertical ? QRect(0, first, width(), last - first + 1) : QRect(first, 0, last - first + 1, height());
        };
        const auto lo = [vertical](const QRect& r) { return vertical ? r.top() : r.left(); };
        const auto hi = [vertical](const QRect& r) { return vertical ? r.bottom() : r.right(); };
        const auto mid = [&](const QRect& r) { return (lo(r) + hi(r)) / 2; };
        QRegion region;
        region += along(std::min(lo(from), lo(to)) - end, std::max(lo(from), lo(to)) + end);
        region += along(std::min(hi(from), hi(to)) - end, std::max(hi(from), hi(to)) + end);
        region += along(mid(from) - grip, mid(from) + grip);
        region += along(mid(to) - grip, mid(to) + grip);
        return region & rect();
    }
    Looks look_;
};

} // namespace

TLogListView::TLogListView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBar(new TLogScrollBar(Qt::Vertical));
    setHorizontalScrollBar(new TLogScrollBar(Qt::Horizontal));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    UpdateRanges();
}

void TLogListView::setModel(QAbstractItemModel* model)
{
    if (model_)
        model_->disconnect(this);
    model_ = model;
    if (model_) {
        connect(model_, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex& parent, int first, int last) {
                    if (!parent.isValid())
                        RowsInserted(first, last);
                });
        connect(model_, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex& parent, int first, int last) {
                    if (!parent.isValid())
                        RowsRemoved(first, last);
                });
        connect(model_, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                    Measure(topLeft.row(), bottomRight.row());
                    UpdateRanges();
                    viewport()->update();
                });
        connect(model_, &QAbstractItemModel::modelReset, this, [this] { Reset(); });
        // Rows moved about: the selection cannot be followed, the extent still holds.
        connect(model_, &QAbstractItemModel::layoutChanged, this, [this] { setCurrentRow(-1); viewport()->update(); });
        connect(model_, &QAbstractItemModel::rowsMoved, this, [this] { setCurrentRow(-1); viewport()->update(); });
        connect(model_, &QObject::destroyed, this, [this] {
            model_ = nullptr;
            Reset();
        });
    }
    Reset();
}

void TLogListView::setRowHeight(int pixels)
{
    rowHeight_ = std::max(1, pixels);
    UpdateRanges();
    viewport()->update();
}

void TLogListView::setCurrentRow(int row)
{
    if (row < -1 || row >= Rows())
        row = -1;
    if (row == current_)
        return;
    UpdateRow(current_);
    current_ = row;
    UpdateRow(current_);
}

QModelIndex TLogListView::currentIndex() const { return model_ && current_ >= 0 ? model_->index(current_, 0) : QModelIndex(); }

int TLogListView::rowAt(int y) const
{
    const qint64 at = qint64(y) + verticalScrollBar()->value();
    if (at < 0)
        return -1;
    const qint64 row = at / rowHeight_;
    return row < Rows() ? int(row) : -1;
}

QModelIndex TLogListView::indexAt(const QPoint& point) const
{
    const int row = rowAt(point.y());
    return row >= 0 ? model_->index(row, 0) : QModelIndex();
}

int TLogListView::topRow() const { return verticalScrollBar()->value() / rowHeight_; }

void TLogListView::scrollToBottom() { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); }

void TLogListView::scrollToRow(int row)
{
    if (row < 0 || row >= Rows())
        return;
    QScrollBar* bar = verticalScrollBar();
    const int top = row * rowHeight_;
    if (top < bar->value())
        bar->setValue(top);
    else if (top + rowHeight_ > bar->value() + viewport()->height())
        bar->setValue(top + rowHeight_ - viewport()->height());
}

// ------------------------------------------------------------ painting

void TLogListView::paintEvent(QPaintEvent* event)
{
    const int rows = Rows();
    if (rows == 0)
        return;
    QPainter p(viewport());
    const int y0 = verticalScrollBar()->value();
    const int x0 = horizontalScrollBar()->value();
    const QRect area = event->rect();
    const int first = std::max(0, (y0 + area.top()) / rowHeight_);
    const int last = std::min(rows - 1, (y0 + area.bottom()) / rowHeight_);
    const QPalette::ColorGroup group = !isEnabled()        ? QPalette::Disabled
                                       : isActiveWindow() ? QPalette::Active
                                                          : QPalette::Inactive;
    const QPalette& pal = palette();
    const int width = viewport()->width();
    const QFontMetricsF line(font(), viewport());
    for (int row = first; row <= last; ++row) {
        const QRect rowRect(0, row * rowHeight_ - y0, width, rowHeight_);
        const bool selected = row == current_;
        if (selected)
            p.fillRect(rowRect, pal.brush(group, QPalette::Highlight));
        p.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QString text = Text(row);
        const QRect textRect = rowRect.adjusted(kTextMargin - x0, 0, 0, 0);
        if (PlainAscii(text)) // where a text layout would put it, without laying out a line
            p.drawText(QPointF(textRect.left(), textRect.top() + (textRect.height() - line.height()) / 2 + line.ascent()),
                       text);
        else
            p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        if (selected && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rowRect;
            focus.backgroundColor = pal.color(group, QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
    }
}

void TLogListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    // A view that shows the last row keeps showing it, also when a scroll bar
    // comes and takes some of its height.
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->maximum() > 0 && bar->value() == bar->maximum();
    UpdateRanges();
    if (atEnd)
        scrollToBottom();
}

void TLogListView::scrollContentsBy(int dx, int dy)
{
    // Only the part that can hold text is moved: the view exposes, repaints
    // and sends to the screen a strip that wide for each row it follows.
    const int used = UsedWidth();
    if (dx == 0 && used < viewport()->width())
        viewport()->scroll(0, dy, QRect(0, 0, used, viewport()->height()));
    else
        viewport()->scroll(dx, dy);
}

void TLogListView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        widest_ = 0;
        Measure(0, Rows() - 1);
        UpdateRanges();
    }
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::EnabledChange)
        viewport()->update();
}

// ------------------------------------------------------------ mouse and keys

void TLogListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    // Below the last row a click selects nothing and keeps the selection.
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0)
        SelectAndShow(row);
}

void TLogListView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || Rows() == 0)
        return;
    // Dragging moves the selection, as far as the last row.
    const int y = std::clamp(event->position().toPoint().y(), 0, std::max(0, viewport()->height() - 1));
    const int row = rowAt(y);
    SelectAndShow(row >= 0 ? row : Rows() - 1);
}

void TLogListView::keyPressEvent(QKeyEvent* event)
{
    const int rows = Rows();
    const int page = std::max(1, RowsInSight() - 1);
    int row = current_;
    switch (event->key()) {
    case Qt::Key_Up:
        row = std::max(0, current_ - 1);
        break;
    case Qt::Key_Down:
        row = current_ + 1;
        break;
    case Qt::Key_PageUp:
        row = std::max(0, current_ - page);
        break;
    case Qt::Key_PageDown:
        row = current_ < 0 ? 0 : current_ + page;
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = rows - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
    if (rows > 0)
        SelectAndShow(std::min(row, rows - 1));
}

void TLogListView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    UpdateRow(current_);
}

void TLogListView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    UpdateRow(current_);
}

// ------------------------------------------------------------ the model's changes

int TLogListView::Rows() const { return model_ ? model_->rowCount() : 0; }

QString TLogListView::Text(int row) const { return model_->data(model_->index(row, 0), Qt::DisplayRole).toString(); }

int TLogListView::RowsInSight() const { return viewport()->height() / rowHeight_; }

void TLogListView::UpdateRanges()
{
    const int height = viewport()->height();
    const int width = viewport()->width();
    const qint64 content = qint64(Rows()) * rowHeight_;
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, int(std::clamp<qint64>(content - height, 0, INT_MAX)));
    v->setPageStep(std::max(1, height));
    v->setSingleStep(rowHeight_);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, widest_ - width));
    h->setPageStep(std::max(1, width));
    h->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
}

void TLogListView::UpdateRow(int row)
{
    if (row < 0)
        return;
    viewport()->update(0, row * rowHeight_ - verticalScrollBar()->value(), viewport()->width(), rowHeight_);
}

int TLogListView::UsedWidth() const
{
    // Right of the widest row the view is blank, unless a row is selected:
    // its highlight takes the whole width. A glyph may reach past its advance.
    const int width = viewport()->width();
    if (current_ >= 0)
        return width;
    return std::clamp(widest_ + fontMetrics().maxWidth() - horizontalScrollBar()->value(), 0, width);
}

void TLogListView::Measure(int first, int last)
{
    if (!model_)
        return;
    const QFontMetrics metrics = fontMetrics();
    // Printable ASCII is no wider than its length in the font's widest
    // character: a row that cannot pass the widest so far is not shaped
    // (most of a log's rows).
    const qint64 widestChar = metrics.maxWidth();
    for (int row = std::max(0, first); row <= last; ++row) {
        const QString text = Text(row);
        if (PlainAscii(text) && text.size() * widestChar + 2 * kTextMargin <= widest_)
            continue;
        widest_ = std::max(widest_, metrics.horizontalAdvance(text) + 2 * kTextMargin);
    }
}

void TLogListView::RowsInserted(int first, int last)
{
    if (current_ >= first)
        current_ += last - first + 1;
    Measure(first, last);
    UpdateRanges();
    // Rows from `first` on moved down: repaint them only where they are in
    // sight. Rows added at the end moved nothing: below them was empty.
    const int top = first * rowHeight_ - verticalScrollBar()->value();
    const bool atEnd = last == Rows() - 1;
    const int bottom = atEnd ? (last + 1) * rowHeight_ - verticalScrollBar()->value() : viewport()->height();
    if (top < viewport()->height() && bottom > 0)
        viewport()->update(0, std::max(0, top), UsedWidth(), std::min(bottom, viewport()->height()) - std::max(0, top));
}

void TLogListView::RowsRemoved(int first, int last)
{
    if (current_ > last)
        current_ -= last - first + 1;
    else if (current_ >= first)
        current_ = -1;
    UpdateRanges();
    viewport()->update();
}

void TLogListView::Reset()
{
    current_ = -1;
    widest_ = 0;
    Measure(0, Rows() - 1);
    UpdateRanges();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void TLogListView::SelectAndShow(int row)
{
    setCurrentRow(row);
    scrollToRow(row);
}
