#pragma once
// A list box for a long, growing list of one-line rows of equal height.
// Item views lay out every row after each insertion, so an append costs in
// proportion to the rows already there; this view only knows the row count
// and the widest row, and paints the rows in sight from the model.
#include <QAbstractScrollArea>
#include <QModelIndex>

class QAbstractItemModel;

class TLogListView : public QAbstractScrollArea {
public:
    explicit TLogListView(QWidget* parent = nullptr);

    // Rows are the model's top-level rows; their display text is shown.
    void setModel(QAbstractItemModel* model);
    QAbstractItemModel* model() const { return model_; }

    void setRowHeight(int pixels);
    int rowHeight() const { return rowHeight_; }

    // The selected row, -1 for none. Setting it does not scroll.
    int currentRow() const { return current_; }
    void setCurrentRow(int row);
    QModelIndex currentIndex() const;

    // The row under a point of the viewport, -1 (invalid) below the last row.
    int rowAt(int y) const;
    QModelIndex indexAt(const QPoint& point) const;

    // The first row at least partly in sight.
    int topRow() const;
    void scrollToBottom();
    void scrollToRow(int row); // the least scroll that shows the whole row

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int Rows() const;
    QString Text(int row) const;
    int RowsInSight() const;
    void UpdateRanges();
    void UpdateRow(int row);
    int UsedWidth() const; // pixels from the left that can hold more than the background
    void Measure(int first, int last);
    void RowsInserted(int first, int last);
    void RowsRemoved(int first, int last);
    void Reset();
    void SelectAndShow(int row);

    QAbstractItemModel* model_ = nullptr;
    int rowHeight_ = 15;
    int current_ = -1;
    int widest_ = 0; // pixels; kept when rows go, as a list box keeps its extent
};
