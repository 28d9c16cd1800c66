// The tab control whose tabs wrap into rows: every tab in view, the current
// tab's row next to the page, switching by mouse and keyboard.
#include "tools/MultiRowTabs.h"
#include "tools/Readdebuglogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

class MultiRowTabs : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&window);
        tabs = new TMultiRowTabs(&window);
        layout->addWidget(tabs);
        for (int i = 0; i < 8; ++i) {
            auto* page = new QWidget();
            auto* pageLayout = new QVBoxLayout(page);
            edits.push_back(new QLineEdit(page));
            buttons.push_back(new QPushButton("Press", page));
            pageLayout->addWidget(edits.back());
            pageLayout->addWidget(buttons.back());
            tabs->addTab(page, QString("  Tab number %1  ").arg(i));
        }
        QObject::connect(tabs, &TMultiRowTabs::currentChanged, [this](int index) { changes.push_back(index); });
        window.resize(320, 240);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // The lowest tab bottom: the row next to the page.
    int PageRowBottom() const
    {
        int bottom = 0;
        for (int i = 0; i < tabs->count(); ++i)
            bottom = std::max(bottom, tabs->tabRect(i).bottom());
        return bottom;
    }
    void ExpectEveryTabInView() const
    {
        for (int i = 0; i < tabs->count(); ++i) {
            EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(i))) << i;
            EXPECT_GE(tabs->tabRect(i).width(), QFontMetrics(tabs->font()).horizontalAdvance(tabs->tabText(i))) << i;
            for (int j = 0; j < i; ++j)
                EXPECT_FALSE(tabs->tabRect(i).intersects(tabs->tabRect(j))) << i << " " << j;
        }
    }

    QWidget window;
    TMultiRowTabs* tabs = nullptr;
    std::vector<QLineEdit*> edits;
    std::vector<QPushButton*> buttons;
    std::vector<int> changes;
};

} // namespace

TEST_F(MultiRowTabs, TabsWrapIntoRowsThatFillTheWidth)
{
    EXPECT_GE(tabs->rowCount(), 3);
    ExpectEveryTabInView();
    for (int i = 0; i < tabs->count(); ++i) {
        if (i + 1 == tabs->count() || tabs->tabRect(i + 1).top() != tabs->tabRect(i).top()) {
            EXPECT_EQ(tabs->tabRect(i).right(), tabs->width() - 1) << "the last tab of a row ends at the edge";
        }
    }
    EXPECT_EQ(tabs->tabRect(0).bottom(), PageRowBottom()) << "the current tab's row lies next to the page";
    EXPECT_GT(tabs->currentWidget()->mapTo(tabs, QPoint()).y(), PageRowBottom()) << "the page lies below the tabs";

    // Wide enough for all: one row, each tab as wide as it needs.
    window.resize(2000, 240);
    QCoreApplication::processEvents();
    EXPECT_EQ(tabs->rowCount(), 1);
    ExpectEveryTabInView();
    EXPECT_EQ(tabs->tabRect(1).left(), tabs->tabRect(0).right() + 1);
    EXPECT_LT(tabs->tabRect(7).right(), tabs->width() - 1);
}

TEST_F(MultiRowTabs, AClickOnATabInAnyRowShowsItsPageAndBringsItsRowDown)
{
    for (int i : {5, 2, 7, 0, 3, 6, 1, 4}) {
        const int rowTop = tabs->tabRect(i).top();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
        EXPECT_EQ(tabs->currentIndex(), i);
        EXPECT_TRUE(tabs->widget(i)->isVisible()) << i;
        EXPECT_EQ(tabs->tabRect(i).bottom(), PageRowBottom()) << i;
        for (int j = 0; j < tabs->count(); ++j) {
            if (tabs->tabRect(j).top() == rowTop || j == i) {
                EXPECT_EQ(tabs->tabRect(j).bottom() == PageRowBottom(), tabs->tabRect(j).top() == tabs->tabRect(i).top())
                    << "the whole row moves: " << j;
            }
        }
        ExpectEveryTabInView();
    }
    EXPECT_EQ(changes, (std::vector<int> {5, 2, 7, 0, 3, 6, 1, 4}));
    // Outside the tabs a click changes nothing.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, QPoint(tabs->width() / 2, tabs->height() - 4));
    EXPECT_EQ(tabs->currentIndex(), 4);
}

TEST_F(MultiRowTabs, KeysSwitchTabs)
{
    enum Target { Edit, Button, Bar };
    struct Step {
        Target target;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int from, to;
    };
    const Step steps[] = {
        {Edit, Qt::Key_Tab, Qt::ControlModifier, 0, 1},
        {Edit, Qt::Key_Tab, Qt::ControlModifier, 7, 0}, // round from the last
        {Button, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 3, 2},
        {Button, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier, 3, 2},
        {Edit, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 0, 7}, // round from the first
        {Bar, Qt::Key_Right, Qt::NoModifier, 2, 3},
        {Bar, Qt::Key_Left, Qt::NoModifier, 2, 1},
        {Bar, Qt::Key_Left, Qt::NoModifier, 0, 0}, // no going round
        {Bar, Qt::Key_Right, Qt::NoModifier, 7, 7},
        {Button, Qt::Key_Right, Qt::NoModifier, 2, 2}, // only the focused tabs take the arrows
    };
    for (const Step& s : steps) {
        tabs->setCurrentIndex(s.from);
        const size_t page = size_t(s.from);
        QWidget* target = s.target == Edit ? static_cast<QWidget*>(edits[page])
                          : s.target == Button ? static_cast<QWidget*>(buttons[page])
                                               : tabs;
        target->setFocus();
        ASSERT_TRUE(target->hasFocus());
        QTest::keyClick(target, s.key, s.modifiers);
        EXPECT_EQ(tabs->currentIndex(), s.to) << s.from << " key " << s.key;
    }
}

TEST(DebugLogsTabs, EveryTabIsInViewAndAClickShowsItsPage)
{
    TformDebugLogs window(nullptr);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    QCoreApplication::processEvents();
    TMultiRowTabs* tabs = window.pageControl;
    EXPECT_EQ(tabs->rowCount(), 2);
    const QWidget* pages[] = {window.tabSummary,   window.tabSmsSuccess, window.tabSmsFails, window.tabRadioFails,
                              window.tabLogonFails, window.tabSimFails,   window.tabModemFails, window.tabSmsReceived};
    for (int i = 7; i >= 0; --i) {
        EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(i))) << i;
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
        EXPECT_EQ(tabs->currentWidget(), pages[i]) << i;
        EXPECT_TRUE(pages[i]->isVisible()) << i;
    }
    window.close();
}
