// The Read Configuration window on its own: layout by caption widths, its
// place in the settings, its buttons during a job, and the read-back step of
// the reply handler fed with records by hand.
#include "link/Responses.h"
#include "link/Serial.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "support/MainWindowFixture.h"
#include "tools/Readconfig.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

TMsgRecord Reply(std::initializer_list<uint8_t> bytes)
{
    TMsgRecord m;
    for (uint8_t b : bytes)
        m.data[m.length++] = b;
    return m;
}

} // namespace

class ReadConfigWindow : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        platform::SetBeepHook([this](uint32_t type) { beeps.push_back(type); });
        platform::SetExceptionDisplayHook([this](const std::string& m) { shown.push_back(m); });
        form.Create();
    }
    void TearDown() override
    {
        delete formReadConfig;
        platform::SetExceptionDisplayHook({});
        platform::SetBeepHook({});
        MainWindowFixture::TearDown();
    }
    TformReadConfig* Open()
    {
        form->menuReadConfigClick();
        return formReadConfig;
    }
    void Close(TformReadConfig* window)
    {
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Reading with every request recorded instead of sent.
    TformReadConfig* Reading()
    {
        TformReadConfig* window = Open();
        for (auto& item : window->items)
            item.request = [this](uint8_t code) { requests.push_back(code); };
        form->repeaterAddr[0] = 0x12;
        form->repeaterAddr[1] = 0x34;
        form->repeaterAddr[2] = 0x56;
        window->itemIndex = 0;
        form->opState = osReadConfig;
        return window;
    }

    std::vector<uint32_t> beeps;
    std::vector<std::string> shown;
    std::vector<uint8_t> requests;
};

TEST_F(ReadConfigWindow, ButtonsTakeTheWidestCaption)
{
    TformReadConfig* window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->btnRead->text(), "&Read");
    EXPECT_EQ(window->btnAbort->text(), "&Abort");
    EXPECT_EQ(window->btnRead->width(), 100) << "short captions: the least width";
    EXPECT_EQ(window->btnClear->x(), 16 + 100 + 32);
    EXPECT_EQ(window->btnSave->x(), 16 + 2 * (100 + 32));
    EXPECT_EQ(window->btnAbort->x(), window->btnRead->x());
    EXPECT_TRUE(window->btnAbort->isHidden());
    EXPECT_FALSE(window->btnRead->isEnabled()) << "no repeater selected";
    Close(window);

    form->langStrings[69] = "&Clear the whole report now";
    form->langStrings[62] = "Konfiguration lesen";
    window = Open();
    const int w = CaptionWidth(window, "&Clear the whole report now") + 24;
    ASSERT_GT(w, 100);
    for (QPushButton* b : {window->btnRead, window->btnClear, window->btnSave, window->btnAbort})
        EXPECT_EQ(b->width(), w) << b->objectName().toStdString();
    EXPECT_EQ(window->btnSave->x(), 16 + 2 * (w + 32));
    EXPECT_EQ(window->windowTitle(), " Konfiguration lesen");
}

TEST_F(ReadConfigWindow, OneWindowWhoseGlobalIsNulledWhenItCloses)
{
    TformReadConfig* window = Open();
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(Open(), window);
    Close(window);
    EXPECT_EQ(formReadConfig, nullptr);
    EXPECT_NE(Open(), nullptr);
}

TEST_F(ReadConfigWindow, PlaceIsKeptAndAMissingValueStopsTheRestSilently)
{
    TformReadConfig* window = Open();
    window->move(40, 60);
    window->resize(600, 300);
    Close(window);
    {
        TRegistry reg(KEY_READ);
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Drosen\\KVT Config Tool"));
        EXPECT_EQ(reg.ReadInteger("Read Top"), 60);
        EXPECT_EQ(reg.ReadInteger("Read Left"), 40);
        EXPECT_EQ(reg.ReadInteger("Read Height"), 300);
        EXPECT_EQ(reg.ReadInteger("Read Width"), 600);
    }
    window = Open();
    EXPECT_EQ(window->pos(), QPoint(40, 60));
    EXPECT_EQ(window->size(), QSize(600, 300));
    Close(window);

    {
        // Top and height are read before the left edge, which is not a number.
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool", false));
        reg.WriteInteger("Read Top", 80);
        reg.WriteInteger("Read Height", 250);
        reg.WriteString("Read Left", "left");
        reg.WriteInteger("Read Width", 700);
        reg.CloseKey();
    }
    window = Open();
    EXPECT_EQ(window->y(), 80);
    EXPECT_EQ(window->height(), 250);
    EXPECT_EQ(window->width(), 535) << "not read after the bad value";
    EXPECT_TRUE(shown.empty());
    Close(window);

    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool", false));
        reg.WriteInteger("Read Height", -20);
        reg.WriteInteger("Read Left", 10);
        reg.WriteInteger("Read Width", 0);
        reg.CloseKey();
    }
    window = Open();
    EXPECT_GE(window->width(), 160) << "never too small to be seen";
    EXPECT_GE(window->height(), 100);
}

TEST_F(ReadConfigWindow, AFailedSaveOfThePlaceNeverKeepsTheWindowOpen)
{
    TformReadConfig* window = Open();
    platform::SetRegistryFile("/proc/self/no-such-folder/registry.txt");
    Close(window);
    EXPECT_EQ(formReadConfig, nullptr) << "closed all the same";
    EXPECT_EQ(shown.size(), 1u) << "the failure is shown";
    platform::SetRegistryFile(dir.File("registry.txt"));
}

TEST_F(ReadConfigWindow, ButtonsDuringAJob)
{
    TformReadConfig* window = Open();
    form->EnableControls(false);
    for (QPushButton* b : {window->btnRead, window->btnClear, window->btnSave})
        EXPECT_FALSE(b->isEnabled());
    EXPECT_TRUE(window->btnAbort->isEnabled());
    window->btnRead->hide();
    window->btnAbort->show();
    form->EndOperation();
    EXPECT_TRUE(window->btnClear->isEnabled());
    EXPECT_FALSE(window->btnRead->isHidden());
    EXPECT_TRUE(window->btnAbort->isHidden());
}

TEST_F(ReadConfigWindow, StepTakesRefusalsWithCodeOneOnly)
{
    TformReadConfig* window = Reading();
    const TMsgRecord firmware = Reply({0xA8, 0xC9, 0x12, 0x34, 0x56, 0x20, 1, 2, 3, 4, 5});
    const TMsgRecord refusal1 = Reply({0xA8, 0xFF, 0x12, 0x34, 0x56, 0xC8, 1});
    const TMsgRecord refusal2 = Reply({0xA8, 0xFF, 0x12, 0x34, 0x56, 0xC8, 2});
    const TMsgRecord otherRepeater = Reply({0xA8, 0xFF, 0x12, 0x34, 0x57, 0xC8, 1});

    ProcessRepeaterReply(form, &refusal2);
    ProcessRepeaterReply(form, &otherRepeater);
    EXPECT_EQ(window->boxResults->count(), 0);
    EXPECT_TRUE(requests.empty());

    ProcessRepeaterReply(form, &refusal1);
    ASSERT_EQ(window->boxResults->count(), 1);
    EXPECT_EQ(window->Lines()[0], "#32 - Configuration rejected by the Repeater, Check firmware version");
    EXPECT_EQ(requests, std::vector<uint8_t>{0x01}) << "the next entry at once";
    EXPECT_EQ(window->itemIndex, 1);

    ProcessRepeaterReply(form, &firmware);
    EXPECT_EQ(window->boxResults->count(), 1) << "a late firmware reply is not the ECU number's";
}

TEST_F(ReadConfigWindow, StepWalksToTheEndAndCompletes)
{
    TformReadConfig* window = Reading();
    window->itemIndex = 26;
    const TMsgRecord sim = Reply({0xA8, 0xC9, 0x12, 0x34, 0x56, 0x1B, '0', '7', 0});
    ProcessRepeaterReply(form, &sim);
    EXPECT_EQ(window->Lines(), (std::vector<std::string>{"SIM Card Number = 07", "  -- Read Complete --"}));
    EXPECT_EQ(window->itemIndex, 27);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->StatusText(), "  Read Complete");

    // Past the table (or before it) nothing is indexed.
    for (int32_t index : {27, -1, 1000}) {
        form->opState = osReadConfig;
        window->itemIndex = index;
        ProcessRepeaterReply(form, &sim);
        EXPECT_EQ(window->boxResults->count(), 2) << index;
        EXPECT_EQ(form->opState, osReadConfig) << index;
    }
}

TEST_F(ReadConfigWindow, StepEndsTheJobWhenTheWindowIsGone)
{
    Close(Reading());
    const TMsgRecord anything = Reply({0xA8, 0xCB, 0x12, 0x34, 0x56, 0x05});
    ProcessRepeaterReply(form, &anything);
    EXPECT_EQ(form->opState, osIdle);
}

TEST_F(ReadConfigWindow, ReadClickWithoutARepeater)
{
    TformReadConfig* window = Open();
    window->show();
    window->btnRead->setEnabled(true);
    QTest::mouseClick(window->btnRead, Qt::LeftButton);
    EXPECT_EQ(form->StatusText(), "  No Repeater selected");
    EXPECT_EQ(beeps, std::vector<uint32_t>{0x10});
    EXPECT_EQ(window->boxResults->count(), 0);
    EXPECT_EQ(form->opState, osIdle);
}
