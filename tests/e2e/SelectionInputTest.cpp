// Repeater selection and the logger database view, driven by real key and
// mouse events.
#include "e2e/Harness.h"

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

bool ClockSent(const sim::InterfaceUnit& unit)
{
    for (const auto& f : unit.Received())
        if (f.IsRelay() && f.RepeaterCommand() == 0xD0)
            return true;
    return false;
}

// Clicks the header of a column of the view, where a user would.
void ClickHeader(QTreeWidget* view, int column)
{
    QHeaderView* header = view->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

std::string Order(const QTreeWidget* view)
{
    std::string s;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        s += view->topLevelItem(i)->text(0).toStdString();
    return s;
}

// What the view's delegate draws for one cell, on white.
QImage DrawCell(QTreeWidget* view, QTreeWidgetItem* row, int column)
{
    QImage image(120, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    option.palette.setColor(QPalette::Base, Qt::white);
    option.palette.setColor(QPalette::Button, Qt::white);
    QPainter painter(&image);
    const QModelIndex index = view->model()->index(view->indexOfTopLevelItem(row), column);
    view->itemDelegate()->paint(&painter, option, index);
    return image;
}

enum class Ink { None, Red, Green, Dark };

// The colour the text is drawn in, and where its ink lies.
Ink InkOf(const QImage& image, int* left = nullptr, int* right = nullptr)
{
    int red = 0, green = 0, dark = 0, lo = image.width(), hi = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c == Qt::white)
                continue;
            lo = std::min(lo, x);
            hi = std::max(hi, x);
            if (c.red() > 150 && c.green() < 90 && c.blue() < 90)
                ++red;
            else if (c.green() > 60 && c.red() < 60 && c.blue() < 60)
                ++green;
            else if (c.red() < 90 && c.green() < 90 && c.blue() < 90)
                ++dark;
        }
    if (left)
        *left = lo;
    if (right)
        *right = hi;
    if (red > green && red > dark)
        return Ink::Red;
    if (green > red && green > dark)
        return Ink::Green;
    return dark > 0 ? Ink::Dark : Ink::None;
}

} // namespace

TEST_F(EndToEnd, SelectingWithTheKeyboardRunsTheStepsOfAClick)
{
    sim->AddRepeater(1234567);
    sim->AddRepeater(5);
    StartAndConnect();
    Advance(200);
    TRepeaterListBox* box = form->boxRepeaters;
    ASSERT_EQ(box->count(), 2);
    form->adminOptions |= 0x4; // the clock on selection
    form->rssiMisses = 3;
    sim->ClearReceived();

    QTest::keyClick(box, Qt::Key_Home);
    EXPECT_EQ(form->textSelectedRepeater->text().toStdString(), "0000-0005") << "the list is sorted";
    EXPECT_EQ(form->textRssiError->text().toStdString(), "Wait ...");
    EXPECT_EQ(form->rssiMisses, 0);
    for (QPushButton* b : {form->btnConfig, form->btnDeploy, form->btnAbandon, form->btnClearDatabase,
                           form->btnPatrol, form->btnReadDatabase})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    Advance(100);
    EXPECT_TRUE(ClockSent(*sim));

    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(form->textSelectedRepeater->text().toStdString(), "0123-4567");
    EXPECT_EQ(form->repeaterAddr[2], 0x87);

    // A key that moves nothing is no selection.
    form->rssiMisses = 2;
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(form->rssiMisses, 2);
}

class DatabaseViewTest : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        Start();
        view = form->viewDatabase;
        ASSERT_TRUE(view->isVisible());
    }
    QTreeWidgetItem* Row(const char* serial, const char* signal, qint64 patrol, const char* level)
    {
        auto* item = new QTreeWidgetItem(view);
        item->setText(0, serial);
        item->setText(1, signal);
        item->setText(3, "t");
        item->setData(3, Qt::UserRole, patrol);
        item->setText(5, level);
        return item;
    }
    QTreeWidget* view = nullptr;
};

TEST_F(DatabaseViewTest, AClickOnAColumnHeaderSortsByIt)
{
    ASSERT_TRUE(view->header()->sectionsClickable());
    Row("B", "19%", 300, "200");
    Row("A", "7%", 100, "-1"); // read as the byte 255
    Row("C", "x", 200, "3");
    const struct {
        int column;
        const char* order;
        const char* why;
    } clicks[] = {
        {3, "ACB", "oldest patrol first"},
        {3, "BCA", "a second click: newest first"},
        {1, "CAB", "another column sorts ascending; no digits reads as 0"},
        {5, "CBA", "levels as unsigned bytes"},
        {0, "ABC", "serial numbers as text"},
    };
    for (const auto& click : clicks) {
        ClickHeader(view, click.column);
        EXPECT_EQ(Order(view), click.order) << click.why;
        EXPECT_EQ(form->sortColumn, click.column);
    }
}

TEST_F(DatabaseViewTest, SortingKeepsTheSelectedRow)
{
    Row("B", "19%", 300, "1");
    QTreeWidgetItem* a = Row("A", "7%", 100, "2");
    Row("C", "x", 200, "3");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(a).center());
    ASSERT_EQ(view->selectedItems(), QList<QTreeWidgetItem*>{a});
    ClickHeader(view, 3);
    ClickHeader(view, 3);
    EXPECT_EQ(Order(view), "BCA");
    EXPECT_EQ(view->selectedItems(), QList<QTreeWidgetItem*>{a});
    EXPECT_EQ(view->currentItem(), a);
}

TEST_F(DatabaseViewTest, ColoursGoOnlyToRowsOfExactlyTenSubItems)
{
    auto withSubItems = [&](int subItems, const char* signal) {
        auto* item = new QTreeWidgetItem(view);
        for (int c = 0; c <= subItems; ++c)
            item->setText(c, "");
        item->setText(0, "0000-0001");
        item->setText(1, signal);
        return item;
    };
    QTreeWidgetItem* full = withSubItems(10, "19%");
    QTreeWidgetItem* fullHigh = withSubItems(10, "20%");
    QTreeWidgetItem* shortRow = withSubItems(9, "19%");
    QTreeWidgetItem* shortRow4 = withSubItems(4, "19%");
    EXPECT_EQ(InkOf(DrawCell(view, full, 1)), Ink::Red);
    EXPECT_EQ(InkOf(DrawCell(view, fullHigh, 1)), Ink::Green);
    EXPECT_EQ(InkOf(DrawCell(view, shortRow, 1)), Ink::Dark) << "its own count, not the view's columns";
    EXPECT_EQ(InkOf(DrawCell(view, shortRow4, 1)), Ink::Dark);
}

TEST_F(DatabaseViewTest, CellsAreCentredButTheSerialNumber)
{
    auto* item = new QTreeWidgetItem(view);
    for (int c = 0; c <= 10; ++c)
        item->setText(c, "88");
    int left = 0, right = 0;
    ASSERT_NE(InkOf(DrawCell(view, item, 0), &left, &right), Ink::None);
    EXPECT_LT(left, 12) << "column 0 is left-aligned";
    for (int column = 1; column <= 10; ++column) {
        ASSERT_NE(InkOf(DrawCell(view, item, column), &left, &right), Ink::None) << column;
        EXPECT_NEAR((left + right) / 2.0, 60, 3) << "column " << column;
    }
    for (int column = 1; column <= 10; ++column)
        EXPECT_EQ(view->headerItem()->textAlignment(column) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST_F(EndToEnd, ARepeaterLeavingTheListNeverMovesTheSelection)
{
    for (uint32_t id : {5u, 1234567u, 7654321u})
        sim->AddRepeater(id);
    StartAndConnect();
    Advance(200);
    TRepeaterListBox* box = form->boxRepeaters;
    ASSERT_EQ(box->count(), 3);
    QListWidgetItem* middle = box->findItems(" 0123-4567", Qt::MatchExactly).value(0);
    ASSERT_TRUE(middle);
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualItemRect(middle).center());
    ASSERT_EQ(form->textSelectedRepeater->text().toStdString(), "0123-4567");

    // Another repeater leaves: the selection stays where the user put it.
    sim->RemoveRepeater(5);
    Advance(2100);
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(form->GetSelectedRepeaterAddress(), 1234567);
    EXPECT_TRUE(form->textSelectedRepeater->text().startsWith("0123-4567"));
    EXPECT_TRUE(form->btnDeploy->isEnabled());

    // The selected one leaves: nothing is selected, its neighbour neither.
    sim->RemoveRepeater(1234567);
    Advance(2100);
    ASSERT_EQ(box->count(), 1);
    EXPECT_TRUE(box->selectedItems().isEmpty());
    EXPECT_EQ(form->GetSelectedRepeaterAddress(), -1);
    EXPECT_EQ(form->textSelectedRepeater->text().toStdString(), "<None>");
    EXPECT_EQ(form->repeaterAddr[0], 0xFF);
    for (QPushButton* b : {form->btnConfig, form->btnDeploy, form->btnAbandon})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    sim->ClearReceived();
    Advance(3100);
    for (const auto& f : sim->Received())
        EXPECT_FALSE(f.IsRelay()) << "no signal poll goes to the repeater left in the list";
}
