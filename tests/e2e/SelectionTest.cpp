// Repeater selection and the logger database view.
#include "e2e/Harness.h"

#include "platform/Dialogs.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QLineEdit>
#include <QSpinBox>
#include <QCheckBox>

TEST_F(EndToEnd, SelectingAndClearingARepeater)
{
    sim->AddRepeater(1234567);
    sim->AddRepeater(5);
    StartAndConnect();
    Advance(200);
    QListWidget* box = form->boxRepeaters;
    ASSERT_EQ(box->count(), 2);
    box->setCurrentRow(box->findItems(" 0123-4567", Qt::MatchExactly).front() == box->item(0) ? 0 : 1);
    form->boxRepeatersClick();
    EXPECT_EQ(form->textSelectedRepeater->text().toStdString(), "0123-4567");
    EXPECT_EQ(form->textRssiError->text().toStdString(), "Wait ...");
    EXPECT_TRUE(form->btnDeploy->isEnabled());
    EXPECT_FALSE(form->btnLogOn->isEnabled()) << "the signal-strength reply enables the GSM buttons";
    EXPECT_EQ(form->repeaterAddr[0], 0x12);
    EXPECT_EQ(form->repeaterAddr[1], 0xD6);
    EXPECT_EQ(form->repeaterAddr[2], 0x87);

    form->boxRepeatersDblClick();
    EXPECT_EQ(form->textSelectedRepeater->text().toStdString(), "<None>");
    EXPECT_EQ(form->textRssiError->text().toStdString(), "<No Repeater selected>");
    EXPECT_EQ(form->repeaterAddr[0], 0xFF);
    EXPECT_FALSE(form->btnDeploy->isEnabled());
    EXPECT_EQ(form->GetSelectedRepeaterAddress(), -1);
}

TEST_F(EndToEnd, ClockOnSelectionOnlyWhileIdle)
{
    sim->AddRepeater(0x123456);
    StartAndConnect();
    Advance(200);
    form->adminOptions |= 0x4;
    form->SetStatusText("  before");
    sim->ClearReceived();
    form->boxRepeaters->setCurrentRow(0);
    form->boxRepeatersClick();
    EXPECT_EQ(form->StatusText(), "  before") << "the status text stays";
    EXPECT_FALSE(form->timerMsgTimeout->Enabled()) << "the link retry alone covers it";
    Advance(100);
    bool clock = false;
    for (const auto& f : sim->Received())
        clock = clock || (f.IsRelay() && f.RepeaterCommand() == 0xD0);
    EXPECT_TRUE(clock);
    sim->ClearReceived();
    form->opState = osClearDatabase;
    form->boxRepeatersClick();
    Advance(100);
    for (const auto& f : sim->Received())
        EXPECT_FALSE(f.IsRelay() && f.RepeaterCommand() == 0xD0);
    form->opState = osIdle;
}

TEST_F(JobsEndToEnd, OneCalibrationQuestionAtATime)
{
    repeater->SetCalibrationError(true);
    TickOnly({0});
    int asked = 0;
    platform::SetMessageDlgHook([&](const std::string& text, platform::MsgDlgType type, uint32_t) {
        dialogs.push_back({text, int(type)});
        ++asked;
        // While the question is open, a duplicate report comes in.
        sim::Bytes report(16, 0);
        report[0] = 0x2D;
        report[2] = 0x51;
        report[4] = 0x12;
        report[5] = 0x34;
        report[6] = 0x56;
        sim->SendMessage(report);
        Advance(200);
        return int(platform::mrYes);
    });
    form->btnConfigClick();
    Advance(3000);
    EXPECT_EQ(asked, 1);
    EXPECT_NE(form->StatusText().find("Configuration successfully completed"), std::string::npos);
}

TEST_F(EndToEnd, UpDownsStepTheirEdits)
{
    Start();
    form->spinnerTimeZone->setValue(-5);
    EXPECT_EQ(form->editTimezone->text().toStdString(), "-5");
    form->editSerialNum->setText("7");
    form->spinnerSerialNumClick(true);
    EXPECT_EQ(form->editSerialNum->text().toStdString(), "00000008");
    form->editSerialNum->setText("0");
    form->spinnerSerialNumClick(false);
    EXPECT_EQ(form->editSerialNum->text().toStdString(), "00000000");
    form->editSerialNum->setText("16777215");
    form->spinnerSerialNumClick(true);
    EXPECT_EQ(form->editSerialNum->text().toStdString(), "16777215");
    form->editSerialNum->setText("x1");
    form->spinnerSerialNumClick(true);
    EXPECT_EQ(form->editSerialNum->text().toStdString(), "x1");
    form->boxEcuUsesSerial->setChecked(true);
    EXPECT_FALSE(form->editEcuNum->isEnabled());
    form->boxEcuUsesSerial->setChecked(false);
    EXPECT_TRUE(form->editEcuNum->isEnabled());
}

TEST_F(EndToEnd, SerialUpDownNeverRunsOutOfRange)
{
    Start();
    form->editSerialNum->setText("00000010");
    for (int i = 0; i < 5; ++i)
        form->spinnerSerialNum->stepUp();
    EXPECT_EQ(form->editSerialNum->text().toStdString(), "00000015");
    for (int i = 0; i < 7; ++i)
        form->spinnerSerialNum->stepDown();
    EXPECT_EQ(form->editSerialNum->text().toStdString(), "00000008");
}
