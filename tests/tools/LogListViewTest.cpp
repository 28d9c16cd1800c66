// The list view of long logs: selection by clicks and keys as in a list box,
// scrolling by whole rows of a fixed height, appends that leave the view and
// the selection alone.
#include "tools/LogListView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kRow = 15;
constexpr int kInSight = 10; // whole rows the viewport shows

class LogListViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QStringList rows;
        for (int i = 0; i < 100; ++i)
            rows << QString("row %1").arg(i);
        model.setStringList(rows);
        view.setModel(&model);
        view.setRowHeight(kRow);
        view.show();
        QCoreApplication::processEvents();
        // Make the viewport exactly ten rows high, whatever the frame and bars take.
        view.resize(300, view.height() - view.viewport()->height() + kInSight * kRow);
        QCoreApplication::processEvents();
        ASSERT_EQ(view.viewport()->height(), kInSight * kRow);
    }
    void Append(const QString& text)
    {
        const int row = model.rowCount();
        model.insertRows(row, 1);
        model.setData(model.index(row), text);
    }
    void Click(int y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(view.viewport(), button, {}, QPoint(10, y));
    }
    // The current row is wholly in sight.
    bool CurrentInSight() const
    {
        const int top = view.currentRow() * kRow - Bar()->value();
        return top >= 0 && top + kRow <= view.viewport()->height();
    }
    QScrollBar* Bar() const { return view.verticalScrollBar(); }

    QStringListModel model;
    TLogListView view;
};

} // namespace

TEST_F(LogListViewTest, ScrollRangeIsRowsTimesHeight)
{
    EXPECT_EQ(Bar()->maximum(), 100 * kRow - kInSight * kRow);
    EXPECT_EQ(Bar()->singleStep(), kRow);
    EXPECT_EQ(view.indexAt(QPoint(5, 0)).row(), 0);
    EXPECT_EQ(view.indexAt(QPoint(5, 3 * kRow + 14)).row(), 3);
    view.scrollToBottom();
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
    EXPECT_EQ(view.topRow(), 90);
    EXPECT_EQ(view.indexAt(QPoint(5, kInSight * kRow - 1)).data().toString(), QString("row 99"));
}

TEST_F(LogListViewTest, ClickSelectsTheRowUnderTheMouse)
{
    Click(3 * kRow + 2);
    EXPECT_EQ(view.currentRow(), 3);
    EXPECT_EQ(view.currentIndex().data().toString(), QString("row 3"));
    Click(7 * kRow + 2, Qt::RightButton);
    EXPECT_EQ(view.currentRow(), 3) << "only the left button selects";

    Bar()->setValue(kRow / 2); // row 10 is half in sight at the bottom
    Click(kInSight * kRow - 2);
    EXPECT_EQ(view.currentRow(), 10);
    EXPECT_TRUE(CurrentInSight()) << "a half-shown row is scrolled into sight";

    model.setStringList({"a", "b"});
    EXPECT_EQ(view.currentRow(), -1) << "a new list has no selection";
    Click(1 * kRow + 2);
    EXPECT_EQ(view.currentRow(), 1);
    Click(5 * kRow + 2);
    EXPECT_EQ(view.currentRow(), 1) << "below the last row nothing changes";
}

TEST_F(LogListViewTest, KeysMoveTheSelectionAndKeepItInSight)
{
    struct Case {
        int from;
        Qt::Key key;
        int to;
    } cases[] = {
        {-1, Qt::Key_Down, 0},     {-1, Qt::Key_Up, 0},     {-1, Qt::Key_PageDown, 0}, {5, Qt::Key_Up, 4},
        {0, Qt::Key_Up, 0},        {5, Qt::Key_Down, 6},    {99, Qt::Key_Down, 99},    {5, Qt::Key_Home, 0},
        {5, Qt::Key_End, 99},      {9, Qt::Key_Down, 10},   {5, Qt::Key_PageDown, 14}, {95, Qt::Key_PageDown, 99},
        {20, Qt::Key_PageUp, 11},  {3, Qt::Key_PageUp, 0},  {50, Qt::Key_Up, 49},
    };
    for (const Case& c : cases) {
        view.setCurrentRow(c.from);
        view.scrollToRow(c.from);
        QTest::keyClick(&view, c.key);
        EXPECT_EQ(view.currentRow(), c.to) << "from " << c.from << " key " << std::hex << int(c.key);
        EXPECT_TRUE(CurrentInSight()) << "from " << c.from << " key " << std::hex << int(c.key);
    }
    view.setCurrentRow(50);
    Bar()->setValue(0);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.currentRow(), 51);
    EXPECT_EQ(view.topRow(), 51 - kInSight + 1) << "the view follows a selection out of sight";
}

TEST_F(LogListViewTest, AppendsLeaveTheViewAndTheSelection)
{
    Click(4 * kRow + 2);
    Bar()->setValue(2 * kRow);
    const int before = Bar()->maximum();
    for (int i = 0; i < 30; ++i)
        Append(QString("new %1").arg(i));
    EXPECT_EQ(Bar()->maximum(), before + 30 * kRow);
    EXPECT_EQ(Bar()->value(), 2 * kRow);
    EXPECT_EQ(view.currentIndex().data().toString(), QString("row 4"));

    // Following the end: scroll to the bottom after each append.
    for (int i = 30; i < 40; ++i) {
        Append(QString("new %1").arg(i));
        view.scrollToBottom();
        EXPECT_EQ(view.indexAt(QPoint(5, kInSight * kRow - 1)).data().toString(), QString("new %1").arg(i));
    }
    EXPECT_EQ(view.currentRow(), 4);

    // A row inserted above the selection moves it down with its row.
    model.insertRows(0, 1);
    EXPECT_EQ(view.currentIndex().data().toString(), QString("row 4"));
    model.removeRows(0, 3);
    EXPECT_EQ(view.currentIndex().data().toString(), QString("row 4"));
    model.removeRows(2, 1);
    EXPECT_EQ(view.currentRow(), -1) << "the selected row went";
}

// The scroll bar repaints only where its handle changed, the rows only as
// far as they hold text: what is on the screen after each append is what a
// repaint of the whole window shows, with rows of many widths, following the
// end, paused in the middle, and with a row selected.
TEST_F(LogListViewTest, AppendsRepaintAsAWholeRepaintWould)
{
    // Rows that come with their text, as the message log's do (a row set
    // after its insertion repaints the whole view).
    QStandardItemModel log;
    for (const char* text : {"a", "b", "c"})
        log.appendRow(new QStandardItem(text));
    view.setModel(&log);
    QCoreApplication::processEvents();
    QWidget* window = view.window();
    // Each part as shown, and as it draws itself afresh.
    const auto same = [window](QWidget* part) {
        const QRect at(part->mapTo(window, QPoint(0, 0)), part->size());
        const QImage shown = window->screen()->grabWindow(window->winId()).toImage().copy(at);
        return shown.convertToFormat(QImage::Format_RGB32) == part->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    for (int i = 0; i < 90; ++i) {
        log.appendRow(new QStandardItem(QString("new %1 ").arg(i) + QString(i % 7 * 2, QLatin1Char('W'))));
        if (i == 75)
            Click(kInSight * kRow - 5);
        if (i < 40 || i >= 60)
            view.scrollToBottom();
        QCoreApplication::processEvents();
        ASSERT_TRUE(same(view.viewport())) << "rows, after " << i + 1 << " appends";
        ASSERT_TRUE(!Bar()->isVisible() || same(Bar())) << "scroll bar, after " << i + 1 << " appends";
    }
}

// A bar taller than the bands it is painted in looks as the style draws it
// whole, at either end of the range and in between.
TEST_F(LogListViewTest, ATallScrollBarIsDrawnAsTheStyleDrawsIt)
{
    QScrollBar* bar = Bar();
    QWidget* window = view.window();
    ASSERT_GE(bar->height(), 140);
    for (const int value : {0, bar->maximum() / 2, bar->maximum()}) {
        bar->setValue(value);
        window->repaint();
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = Qt::Vertical;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        option.subControls = QStyle::SC_All;
        QImage drawn(bar->size(), QImage::Format_RGB32);
        drawn.fill(Qt::black);
        QPainter painter(&drawn);
        bar->style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, bar);
        painter.end();
        const QRect at(bar->mapTo(window, QPoint(0, 0)), bar->size());
        const QImage shown =
            window->screen()->grabWindow(window->winId()).toImage().copy(at).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown, drawn) << "at " << value;
    }
}

// Each row is its text in one line, from the left margin, centred in the
// row's height, as a text laid out in the row's rectangle is: plain and
// other texts, the selected row, and scrolled across.
TEST_F(LogListViewTest, RowsAreDrawnAsTextCentredInTheirRow)
{
    model.setStringList({"C0 7A CC 00 24 1F 00", QString::fromUtf8("Gr\u00FC\u00DFe \u00C6"), "gjpqy |_", "selected"});
    Click(3 * kRow + 4);
    Append(QString(120, QLatin1Char('x')));
    QCoreApplication::processEvents();
    for (const int across : {0, 7}) {
        view.horizontalScrollBar()->setValue(across);
        const QImage shown = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QImage drawn(shown.size(), QImage::Format_RGB32);
        drawn.fill(view.palette().color(QPalette::Base));
        QPainter p(&drawn);
        p.setFont(view.font());
        for (int row = 0; row < model.rowCount(); ++row) {
            const QRect rect(0, row * kRow, drawn.width(), kRow);
            const bool selected = row == view.currentRow();
            if (selected)
                p.fillRect(rect, view.palette().brush(QPalette::Active, QPalette::Highlight));
            p.setPen(view.palette().color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text));
            p.drawText(rect.adjusted(2 - across, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       model.index(row).data().toString());
        }
        p.end();
        // The focus frame of the selected row is the style's: compare the others.
        for (int row = 0; row < model.rowCount(); ++row) {
            if (row == view.currentRow())
                continue;
            EXPECT_EQ(shown.copy(0, row * kRow, shown.width(), kRow), drawn.copy(0, row * kRow, shown.width(), kRow))
                << "row " << row << " across " << across;
        }
    }
}

TEST_F(LogListViewTest, WideRowsGiveAHorizontalRange)
{
    QScrollBar* across = view.horizontalScrollBar();
    EXPECT_EQ(across->maximum(), 0);
    Append(QString(200, QLatin1Char('A')));
    QCoreApplication::processEvents();
    EXPECT_GT(across->maximum(), 0);
    EXPECT_GE(across->maximum() + view.viewport()->width(), view.fontMetrics().horizontalAdvance(QString(200, 'A')));
    // Fewer characters can still be wider; as can a row outside printable ASCII.
    for (const QString& row : {QString(300, QLatin1Char('i')), QString(160, QLatin1Char('W')),
                               QString(170, QChar(0x00C6)), QString(40, QLatin1Char('\t')) + 'M'}) {
        Append(row);
        QCoreApplication::processEvents();
        EXPECT_GE(across->maximum() + view.viewport()->width(), view.fontMetrics().horizontalAdvance(row)) << row.size();
    }
}
