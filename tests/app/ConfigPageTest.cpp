// The configuration page: the telephone book behind the four telephone
// combos, the day masks with their "Every Day" boxes and the "Clear All
// Debug Data" box.
#include "app/ConfigItems.h"
#include "app/ConfigPage.h"
#include "app/Main.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace {

class ConfigPage : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        form.Create(); // wires the page
        WireConfigPage(form); // a second call must not double the handlers
        combos = {form->comboHostTel, form->comboEngineerTel, form->comboTestTel, form->comboAlarmTel};
        buttons = {form->btnHostNum, form->btnEngNum, form->btnTestNum, form->btnAlarmNum};
        for (QPushButton* b : buttons)
            SetAddToListButton(b);
    }

    std::vector<std::string> List(QComboBox* combo) const
    {
        std::vector<std::string> items;
        for (int i = 0; i < combo->count(); ++i)
            items.push_back(combo->itemText(i).toStdString());
        return items;
    }

    void ExpectAllLists(const std::vector<std::string>& expected) const
    {
        for (QComboBox* combo : combos)
            EXPECT_EQ(List(combo), expected) << combo->objectName().toStdString();
    }

    static void TypeKey(QComboBox* combo, Qt::Key key, const QString& text)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(combo->lineEdit(), &press);
    }

    void ClickLabel(QLabel* label) const
    {
        const QPointF inside(2, 2);
        QMouseEvent press(QEvent::MouseButtonPress, inside, label->mapToGlobal(inside), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, inside, label->mapToGlobal(inside), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(label, &press);
        QApplication::sendEvent(label, &release);
    }
    std::vector<QComboBox*> combos;
    std::vector<QPushButton*> buttons;
};

// ---------------------------------------------------------------- telephone book

TEST_F(ConfigPage, TelephoneBookIsSharedByTheFourCombos)
{
    form->comboEngineerTel->setEditText("typed here");
    AddNumberToLists(form, "01234 567890");
    AddNumberToLists(form, "+44 20 7946 0000");
    ExpectAllLists({"01234 567890", "+44 20 7946 0000"});
    // Adding leaves what the edit fields show alone.
    EXPECT_EQ(form->comboEngineerTel->currentText(), "typed here");
    EXPECT_EQ(form->comboHostTel->currentText(), "");

    // Surrounding blanks do not make a new number; an inner blank does count.
    AddNumberToLists(form, " 01234 567890\t");
    AddNumberToLists(form, "01234567890");
    ExpectAllLists({"01234 567890", "+44 20 7946 0000", "01234567890"});
    // Both sides are trimmed: a stored entry with blanks is stored untrimmed
    // and still matches the bare number.
    AddNumberToLists(form, " 555 ");
    AddNumberToLists(form, "555");
    ExpectAllLists({"01234 567890", "+44 20 7946 0000", "01234567890", " 555 "});
    RemoveNumberFromLists(form, " 555 ");
    // Compared exactly otherwise: a different case is a different entry.
    AddNumberToLists(form, "x1");
    AddNumberToLists(form, "X1");
    ExpectAllLists({"01234 567890", "+44 20 7946 0000", "01234567890", "x1", "X1"});

    EXPECT_EQ(GetPhoneListItem(form, 0), "01234 567890");
    EXPECT_EQ(GetPhoneListItem(form, 4), "X1");
    EXPECT_EQ(GetPhoneListItem(form, 5), "");
    EXPECT_EQ(GetPhoneListItem(form, 65535), "");

    // Removal takes the first exact match out of every list and keeps the
    // edit texts; trimmed or unknown numbers change nothing.
    form->comboTestTel->setCurrentIndex(2);
    ASSERT_EQ(form->comboTestTel->currentText(), "01234567890");
    RemoveNumberFromLists(form, " 01234 567890");
    RemoveNumberFromLists(form, "999");
    ExpectAllLists({"01234 567890", "+44 20 7946 0000", "01234567890", "x1", "X1"});
    RemoveNumberFromLists(form, "01234567890");
    ExpectAllLists({"01234 567890", "+44 20 7946 0000", "x1", "X1"});
    EXPECT_EQ(form->comboTestTel->currentText(), "01234567890");
    EXPECT_EQ(form->comboEngineerTel->currentText(), "typed here");
}

TEST_F(ConfigPage, NumberButtonsAddOrDeleteByTheirMode)
{
    // Add mode: the combo's text joins the book and the button stays.
    form->comboEngineerTel->setEditText("0800 111");
    form->btnEngNum->click();
    ExpectAllLists({"0800 111"});
    EXPECT_EQ(form->btnEngNum->text(), "Add to List");
    form->btnEngNum->click();
    ExpectAllLists({"0800 111"});

    // An empty number does nothing in either mode.
    form->comboAlarmTel->setEditText("");
    form->btnAlarmNum->click();
    SetDeleteFromListButton(form->btnAlarmNum);
    form->btnAlarmNum->click();
    ExpectAllLists({"0800 111"});
    EXPECT_EQ(form->btnAlarmNum->text(), "Delete from List");

    // Picking a number from a list puts that combo's button in delete mode.
    form->comboHostTel->setEditText("0900 222");
    form->btnHostNum->click();
    form->comboHostTel->setCurrentIndex(0);
    emit form->comboHostTel->activated(0);
    EXPECT_EQ(form->btnHostNum->text(), "Delete from List");
    EXPECT_EQ(form->btnHostNum->toolTip(), "Click here to remove the number from the telephone list");
    EXPECT_EQ(form->btnEngNum->text(), "Add to List");
    form->btnHostNum->click();
    ExpectAllLists({"0900 222"});
    EXPECT_EQ(form->btnHostNum->text(), "Add to List");
    EXPECT_EQ(form->btnHostNum->toolTip(), "Click here to save the number to the telephone list");

    // Any other caption counts as delete mode (the language table's text);
    // a number not in the book is left alone, but the mode goes back to add.
    form->btnTestNum->setText("Delete From List");
    form->comboTestTel->setEditText("123");
    form->btnTestNum->click();
    ExpectAllLists({"0900 222"});
    EXPECT_EQ(form->btnTestNum->text(), "Add to List");
}

TEST_F(ConfigPage, TypingIntoAComboPutsOnlyItsButtonInAddMode)
{
    for (QPushButton* b : buttons)
        SetDeleteFromListButton(b);
    form->comboTestTel->lineEdit()->setFocus();
    TypeKey(form->comboTestTel, Qt::Key_5, "5");
    EXPECT_EQ(form->btnTestNum->text(), "Add to List");
    for (QPushButton* b : {form->btnHostNum, form->btnEngNum, form->btnAlarmNum})
        EXPECT_EQ(b->text(), "Delete from List");
    // The key itself reaches the field unchanged.
    EXPECT_EQ(form->comboTestTel->currentText(), "5");

    // A key that types nothing (a bare Shift) is no key press of the field.
    TypeKey(form->comboAlarmTel, Qt::Key_Shift, "");
    EXPECT_EQ(form->btnAlarmNum->text(), "Delete from List");
    TypeKey(form->comboAlarmTel, Qt::Key_Backspace, "\b");
    EXPECT_EQ(form->btnAlarmNum->text(), "Add to List");

    // Tab moves the focus on and types nothing; Return and Escape are typed.
    const struct {
        Qt::Key key;
        const char* caption;
    } keys[] = {{Qt::Key_Tab, "Delete from List"}, {Qt::Key_Return, "Add to List"}, {Qt::Key_Escape, "Add to List"}};
    for (const auto& k : keys) {
        SetDeleteFromListButton(form->btnHostNum);
        QTest::keyClick(form->comboHostTel->lineEdit(), k.key);
        EXPECT_EQ(form->btnHostNum->text().toStdString(), k.caption) << QKeySequence(k.key).toString().toStdString();
    }
}

// ---------------------------------------------------------------- day masks

TEST_F(ConfigPage, DayMasksAndEveryDayBoxes)
{
    // Bit 0 is Sunday; bit 7 is no day.
    SetPatrolDaysMask(form, 0x22);
    EXPECT_TRUE(form->Patrol_Mon_Box->isChecked());
    EXPECT_TRUE(form->Patrol_Fri_Box->isChecked());
    SetReportDaysMask(form, 0x41);
    EXPECT_TRUE(form->Report_Sun_Box->isChecked());
    EXPECT_TRUE(form->Report_Sat_Box->isChecked());
    SetHistDaysMask(form, 0xFF);
    EXPECT_EQ(GetHistDaysMask(form), 0x7F);

    struct Group {
        QCheckBox* everyDay;
        std::array<QCheckBox*, 7> boxes;
        uint8_t (*get)(TformMain*);
        void (*set)(TformMain*, uint8_t);
        uint32_t TformMain::*remembered;
    };
    const Group groups[] = {
        {form->boxPatrolDaily, form->patrolDayBoxes, GetPatrolDaysMask, SetPatrolDaysMask, &TformMain::patrolDays},
        {form->boxReportDaily, form->reportDayBoxes, GetReportDaysMask, SetReportDaysMask, &TformMain::reportDays},
        {form->boxHistDaily, form->histDayBoxes, GetHistDaysMask, SetHistDaysMask, &TformMain::histDays},
    };
    for (const Group& g : groups) {
        SCOPED_TRACE(g.everyDay->objectName().toStdString());
        g.everyDay->setChecked(false);
        g.set(form, 0x22);
        g.everyDay->setChecked(true); // from code, as a loader would
        EXPECT_EQ(g.get(form), 0x7F);
        EXPECT_EQ(form->*g.remembered, 0x22u);
        for (QCheckBox* box : g.boxes)
            EXPECT_FALSE(box->isEnabled());
        g.everyDay->setChecked(false);
        EXPECT_EQ(g.get(form), 0x22);
        for (QCheckBox* box : g.boxes)
            EXPECT_TRUE(box->isEnabled());
    }
    // A user click on the box does the same.
    SetPatrolDaysMask(form, 0x05);
    form->boxPatrolDaily->click();
    EXPECT_EQ(GetPatrolDaysMask(form), 0x7F);
    form->boxPatrolDaily->click();
    EXPECT_EQ(GetPatrolDaysMask(form), 0x05);
}

// ---------------------------------------------------------------- clear all debug data

TEST_F(ConfigPage, ClearAllLocksTheFourteenBoxesAndRestoresThem)
{
    const auto& items = form->configItems;
    std::vector<QCheckBox*> debugBoxes;
    for (int i = 20; i <= 33; ++i)
        debugBoxes.push_back(items[size_t(i)].box);
    auto tickedMask = [&] {
        uint32_t mask = 0;
        for (size_t i = 0; i < debugBoxes.size(); ++i)
            if (debugBoxes[i]->isChecked())
                mask |= 1u << i;
        return mask;
    };
    auto expectLocked = [&](bool locked) {
        for (QCheckBox* box : debugBoxes)
            EXPECT_EQ(box->isEnabled(), !locked) << box->objectName().toStdString();
        EXPECT_EQ(form->labelClearData->isEnabled(), !locked);
    };

    // Through the box, then through its label: the same both ways.
    for (bool viaLabel : {false, true}) {
        SCOPED_TRACE(viaLabel ? "label" : "box");
        for (QCheckBox* box : debugBoxes)
            box->setChecked(false);
        form->boxClearSmsSuccess->setChecked(true);
        form->boxClearSmsFail->setChecked(true);
        EXPECT_EQ(GetDebugClearMask(form), 0x3u);

        viaLabel ? ClickLabel(form->textClearAll) : form->boxClearAll->click();
        EXPECT_TRUE(form->boxClearAll->isChecked());
        EXPECT_EQ(tickedMask(), 0x3FFFu);
        EXPECT_EQ(form->debugCounters, 0x3u);
        expectLocked(true);

        viaLabel ? ClickLabel(form->textClearAll) : form->boxClearAll->click();
        EXPECT_FALSE(form->boxClearAll->isChecked());
        EXPECT_EQ(tickedMask(), 0x3u);
        expectLocked(false);
    }

    // The remembered ticks are restored by bit, from code as well.
    form->debugCounters = 0x2001; // SMS Tx Success Counter and Received SMS Log
    form->boxClearAll->setChecked(false);
    form->boxClearAll->blockSignals(true);
    form->boxClearAll->setChecked(true);
    form->boxClearAll->blockSignals(false);
    form->boxClearAll->setChecked(false);
    EXPECT_TRUE(form->boxClearSmsSuccess->isChecked());
    EXPECT_TRUE(form->boxClearRxSmsLog->isChecked());
    EXPECT_EQ(tickedMask(), 0x2001u);
}

} // namespace
