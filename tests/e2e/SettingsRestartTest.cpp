// The settings of the last run, end to end: what the user changed on the
// configuration page is back after a restart, and a key that lacks a value
// stops the load there.
#include "e2e/Clicks.h"
#include "e2e/Harness.h"

#include "platform/Registry.h"
#include "support/SettingsKey.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace {

class SettingsRestart : public JobsEndToEnd {
protected:
    void Restart()
    {
        form->close();
        delete form;
        form = nullptr;
        formMain = nullptr;
        StartAndConnect();
        Advance(200);
    }

    void Show(QWidget* page)
    {
        form->pageMain->setCurrentWidget(form->tabConfig);
        form->pageKvt->setCurrentWidget(page);
    }

    void TypeText(QWidget* widget, const char* text)
    {
        for (const char* c = text; *c; ++c)
            clicks::Type(widget, *c);
    }
};

TEST_F(SettingsRestart, WhatTheUserChangedIsBackAfterARestart)
{
    Show(form->tabPatrol);
    clicks::Click(form->Patrol_Mon_Box);
    clicks::Click(form->Patrol_Thu_Box);
    clicks::Click(form->boxPatrolDaily);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(form->comboPatrolHour, &down);
    Show(form->tabAlarms);
    clicks::Click(form->boxLowVantBat);
    clicks::Click(form->boxChangeViaSms);
    form->editAlarmMsg->clear();
    TypeText(form->editAlarmMsg, "LEAK AT 3");
    Show(form->tabReport);
    clicks::Click(form->radioGprs);
    clicks::Click(form->boxReportFortnightly);
    TypeText(form->comboHostTel->lineEdit(), "+447700900123");
    clicks::Click(form->btnHostNum);
    Show(form->tabEngineering);
    clicks::Click(form->configItems[0].box);
    clicks::Click(form->configItems[40].box);
    clicks::Click(form->editManualMsg1);
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QCoreApplication::sendEvent(form->editManualMsg1, &home);
    TypeText(form->editManualMsg1, "c03a02");
    clicks::Click(form->editManualMsg2); // typed in the middle of the field
    TypeText(form->editManualMsg2, "3a");
    QKeyEvent zoneDown(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendEvent(form->spinnerTimeZone, &zoneDown);
    form->viewDatabase->setColumnWidth(2, 77); // a dragged column border
    form->move(25, 35);
    form->resize(820, 640);

    const std::string shownMessage2 = form->editManualMsg2->displayText().toStdString();
    EXPECT_NE(shownMessage2.find("3A"), std::string::npos);
    form->close();
    const SettingsValues saved = ReadSettingsValues();
    const SettingsValues savedPort = ReadSettingsValues("portVigilator");
    EXPECT_EQ(saved.at("MME1"), "\"C03A02\"");
    EXPECT_EQ(saved.at("Phonebook 0"), "\"+447700900123\"");
    EXPECT_EQ(saved.at("Time Zone"), "dword:-3");
    Restart();
    EXPECT_TRUE(form->portVigilator->Connected()) << "the stored port";
    EXPECT_TRUE(form->boxPatrolDaily->isChecked());
    EXPECT_FALSE(form->Patrol_Mon_Box->isEnabled());
    EXPECT_EQ(form->editAlarmMsg->text().toStdString(), "LEAK AT 3");
    EXPECT_EQ(form->comboHostTel->count(), 1);
    EXPECT_EQ(form->editManualMsg1->displayText().left(8).toStdString(), "C0 3A 02");
    EXPECT_EQ(form->editManualMsg2->displayText().toStdString(), shownMessage2);
    EXPECT_EQ(form->pos(), QPoint(25, 35));
    EXPECT_EQ(form->size(), QSize(785, 600)) << "a start opens at the size its layout needs";
    EXPECT_EQ(form->viewDatabase->columnWidth(2), 77);

    form->close();
    SettingsValues again = ReadSettingsValues();
    EXPECT_EQ(again.at("Width"), "dword:785");
    EXPECT_EQ(again.at("Height"), "dword:600");
    again["Width"] = saved.at("Width");
    again["Height"] = saved.at("Height");
    EXPECT_EQ(again, saved) << "the second run saved what the first one did";
    EXPECT_EQ(ReadSettingsValues("portVigilator"), savedPort);
}

TEST_F(EndToEnd, AKeyLackingOneValueStopsTheLoadThere)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool", true));
        reg.WriteInteger("Active Main Page", 3);
        reg.WriteInteger("Col 9", 66);
        reg.DeleteValue("Col 10");
        reg.CloseKey();
    }
    StartAndConnect();
    EXPECT_EQ(form->viewDatabase->columnWidth(9), 66) << "read before the gap";
    EXPECT_EQ(form->pageMain->currentIndex(), 1) << "read after it: the start-up page";
    EXPECT_EQ(form->portVigilator->Port(), "COM1") << "the port's settings come last";
    EXPECT_FALSE(form->portVigilator->Connected());
    dialogs.clear();
    beeps.clear();
}

} // namespace
