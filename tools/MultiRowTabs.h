#pragma once
// A tab control whose tabs wrap into as many rows as its width needs, so that
// every tab stays in view (a QTabBar only scrolls). The row holding the
// current tab lies next to the page and the other rows follow above it in
// turn; with more than one row each row is stretched to the full width.
// Tabs and pane are drawn with the current style's tab elements.
#include <QStringList>
#include <QWidget>
#include <vector>

class QStackedWidget;
class QStyleOptionTab;
class QStyleOptionTabWidgetFrame;

class TMultiRowTabs : public QWidget {
    Q_OBJECT
public:
    explicit TMultiRowTabs(QWidget* parent = nullptr);

    int addTab(QWidget* page, const QString& text);
    int count() const { return int(texts_.size()); }
    int indexOf(const QWidget* page) const;
    QWidget* widget(int index) const;
    int currentIndex() const;
    QWidget* currentWidget() const;
    void setCurrentIndex(int index);
    void setCurrentWidget(QWidget* page);
    QString tabText(int index) const;
    void setTabText(int index, const QString& text);

    // Where tab `index` is drawn, in this widget's coordinates (empty for no tab).
    QRect tabRect(int index) const;
    int tabAt(QPoint pos) const;
    int rowCount() const { return rows_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentChanged(int index);

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QSize TabSize(int index) const;
    void InitTab(QStyleOptionTab* option, int index) const;
    void InitFrame(QStyleOptionTabWidgetFrame* option) const;
    // Places the tabs in rows for the present width and the page below them.
    void Relayout();

    QStackedWidget* pages_;
    QStringList texts_;
    std::vector<QRect> rects_;
    std::vector<int> rowOf_;
    int rows_ = 1;
    int barHeight_ = 0;
    int hovered_ = -1;
};
