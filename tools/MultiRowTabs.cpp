#include "tools/MultiRowTabs.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>
#include <algorithm>

TMultiRowTabs::TMultiRowTabs(QWidget* parent) : QWidget(parent), pages_(new QStackedWidget(this))
{
    // Like a tab bar: reached with the Tab key, not taken by a click.
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true); // for the hover look of the tab under the mouse
    QObject::connect(pages_, &QStackedWidget::currentChanged, this, [this](int index) {
        Relayout();
        emit currentChanged(index);
    });
    Relayout();
}

int TMultiRowTabs::addTab(QWidget* page, const QString& text)
{
    texts_.append(text);
    const int index = pages_->addWidget(page);
    Relayout();
    return index;
}

int TMultiRowTabs::indexOf(const QWidget* page) const { return pages_->indexOf(page); }

QWidget* TMultiRowTabs::widget(int index) const { return pages_->widget(index); }

int TMultiRowTabs::currentIndex() const { return pages_->currentIndex(); }

QWidget* TMultiRowTabs::currentWidget() const { return pages_->currentWidget(); }

void TMultiRowTabs::setCurrentIndex(int index)
{
    if (index >= 0 && index < count())
        pages_->setCurrentIndex(index);
}

void TMultiRowTabs::setCurrentWidget(QWidget* page) { setCurrentIndex(indexOf(page)); }

QString TMultiRowTabs::tabText(int index) const { return index >= 0 && index < count() ? texts_[index] : QString(); }

void TMultiRowTabs::setTabText(int index, const QString& text)
{
    if (index < 0 || index >= count())
        return;
    texts_[index] = text;
    Relayout();
}

QRect TMultiRowTabs::tabRect(int index) const
{
    return index >= 0 && size_t(index) < rects_.size() ? rects_[size_t(index)] : QRect();
}

int TMultiRowTabs::tabAt(QPoint pos) const
{
    for (size_t i = 0; i < rects_.size(); ++i)
        if (rects_[i].contains(pos))
            return int(i);
    return -1;
}

QSize TMultiRowTabs::sizeHint() const
{
    const int frame = 2 * (style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 2);
    const QSize page = pages_->sizeHint();
    return {page.width() + frame, barHeight_ + page.height() + frame};
}

QSize TMultiRowTabs::minimumSizeHint() const
{
    const int frame = 2 * (style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 2);
    const QSize page = pages_->minimumSizeHint();
    return {page.width() + frame, barHeight_ + page.height() + frame};
}

QSize TMultiRowTabs::TabSize(int index) const
{
    // As a tab bar sizes its tabs: text, the style's spaces, then the style's own additions.
    QStyleOptionTab option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    option.text = texts_[index];
    const QFontMetrics metrics = fontMetrics();
    const QSize contents(
        metrics.size(Qt::TextShowMnemonic, texts_[index]).width() +
            style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this),
        metrics.height() + style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this));
    return style()->sizeFromContents(QStyle::CT_TabBarTab, &option, contents, this);
}

void TMultiRowTabs::Relayout()
{
    const int n = count();
    const int width = std::max(1, this->width());
    std::vector<QSize> sizes(static_cast<size_t>(n));
    std::vector<int> rowStart {0};
    rowOf_.assign(size_t(n), 0);
    int rowHeight = 0;
    int x = 0;
    for (int i = 0; i < n; ++i) {
        sizes[size_t(i)] = TabSize(i);
        rowHeight = std::max(rowHeight, sizes[size_t(i)].height());
        if (x > 0 && x + sizes[size_t(i)].width() > width) {
            rowStart.push_back(i);
            x = 0;
        }
        rowOf_[size_t(i)] = int(rowStart.size()) - 1;
        x += sizes[size_t(i)].width();
    }
    const int oldBar = barHeight_;
    rows_ = int(rowStart.size());
    barHeight_ = n > 0 ? rows_ * rowHeight : 0;

    const int current = currentIndex();
    const int currentRow = current >= 0 ? rowOf_[size_t(current)] : 0;
    rects_.assign(size_t(n), QRect());
    for (int r = 0; r < rows_; ++r) {
        const int first = rowStart[size_t(r)];
        const int end = r + 1 < rows_ ? rowStart[size_t(r) + 1] : n;
        int used = 0;
        for (int i = first; i < end; ++i)
            used += sizes[size_t(i)].width();
        // Rows share the width only when there are several; one row keeps its tabs' own widths.
        const int spare = rows_ > 1 ? std::max(0, width - used) : 0;
        // Counted from the page upwards: the current tab's row, then the rows after it in turn.
        const int fromPage = (r - currentRow + rows_) % rows_;
        const int top = (rows_ - 1 - fromPage) * rowHeight;
        const int tabs = end - first;
        int left = 0;
        for (int i = first; i < end; ++i) {
            const int k = i - first;
            const int extra = spare * (k + 1) / tabs - spare * k / tabs;
            rects_[size_t(i)] = QRect(left, top, sizes[size_t(i)].width() + extra, rowHeight);
            left += rects_[size_t(i)].width();
        }
    }

    QStyleOptionTabWidgetFrame frame;
    InitFrame(&frame);
    pages_->setGeometry(style()->subElementRect(QStyle::SE_TabWidgetTabContents, &frame, this));
    if (barHeight_ != oldBar)
        updateGeometry();
    update();
}

void TMultiRowTabs::InitFrame(QStyleOptionTabWidgetFrame* option) const
{
    option->initFrom(this);
    option->lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    option->shape = QTabBar::RoundedNorth;
    option->tabBarSize = QSize(width(), barHeight_);
    option->tabBarRect = QRect(0, 0, width(), barHeight_);
    option->selectedTabRect = tabRect(currentIndex());
}

void TMultiRowTabs::InitTab(QStyleOptionTab* option, int index) const
{
    option->initFrom(this);
    option->state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    option->rect = rects_[size_t(index)];
    option->row = rowOf_[size_t(index)];
    option->shape = QTabBar::RoundedNorth;
    option->features |= QStyleOptionTab::HasFrame; // drawn on a pane, as in a tab widget
    option->text = texts_[index];
    const int current = currentIndex();
    if (index == current) {
        option->state |= QStyle::State_Selected;
        if (hasFocus())
            option->state |= QStyle::State_HasFocus;
    }
    if (index == hovered_)
        option->state |= QStyle::State_MouseOver;
    // Each row has its own first and last tab.
    const bool first = index == 0 || rowOf_[size_t(index) - 1] != option->row;
    const bool last = index + 1 == count() || rowOf_[size_t(index) + 1] != option->row;
    option->position = first && last ? QStyleOptionTab::OnlyOneTab
                       : first       ? QStyleOptionTab::Beginning
                       : last        ? QStyleOptionTab::End
                                     : QStyleOptionTab::Middle;
    option->selectedPosition = !first && index - 1 == current ? QStyleOptionTab::PreviousIsSelected
                               : !last && index + 1 == current ? QStyleOptionTab::NextIsSelected
                                                               : QStyleOptionTab::NotAdjacent;
}

void TMultiRowTabs::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        Relayout();
    QWidget::changeEvent(event);
}

void TMultiRowTabs::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

void TMultiRowTabs::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    InitFrame(&frame);
    frame.rect = style()->subElementRect(QStyle::SE_TabWidgetTabPane, &frame, this);
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
    // The current tab last: it may overlap its neighbours and the pane's edge.
    // Styles may paint a selected tab's foot further down than the pane's
    // edge, which a tab bar of its own would clip.
    painter.setClipRect(0, 0, width(), barHeight_);
    const int current = currentIndex();
    for (int i = 0; i < count(); ++i) {
        if (i == current)
            continue;
        QStyleOptionTab tab;
        InitTab(&tab, i);
        painter.drawControl(QStyle::CE_TabBarTab, tab);
    }
    if (current >= 0) {
        QStyleOptionTab tab;
        InitTab(&tab, current);
        painter.drawControl(QStyle::CE_TabBarTab, tab);
    }
}

void TMultiRowTabs::mousePressEvent(QMouseEvent* event)
{
    const int index = event->button() == Qt::LeftButton ? tabAt(event->position().toPoint()) : -1;
    if (index < 0) {
        event->ignore();
        return;
    }
    setCurrentIndex(index);
}

void TMultiRowTabs::mouseMoveEvent(QMouseEvent* event)
{
    const int index = tabAt(event->position().toPoint());
    if (index != hovered_) {
        hovered_ = index;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void TMultiRowTabs::leaveEvent(QEvent* event)
{
    hovered_ = -1;
    update();
    QWidget::leaveEvent(event);
}

void TMultiRowTabs::keyPressEvent(QKeyEvent* event)
{
    const int n = count();
    const int current = currentIndex();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    // Ctrl+Tab and Ctrl+Shift+Tab reach here from any control on the page, and go round.
    if (ctrl && n > 1 && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
        const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        setCurrentIndex((current + (back ? n - 1 : 1)) % n);
        return;
    }
    // The arrow keys only while the tabs themselves have the focus, and without going round.
    if (hasFocus() && !ctrl) {
        if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up) {
            setCurrentIndex(std::max(0, current - 1));
            return;
        }
        if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Down) {
            setCurrentIndex(std::min(n - 1, current + 1));
            return;
        }
    }
    QWidget::keyPressEvent(event);
}
