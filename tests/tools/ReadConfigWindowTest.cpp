// The Read Configuration window on its own: layout by caption widths, its
// place in the settings, and the read-back step fed with records by hand.
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
    void Store(const char* name, int value)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool", true));
        reg.WriteInteger(name, value);
    }
    void Reply(std::initializer_list<uint8_t> bytes)
    {
        TMsgRecord m;
        for (uint8_t b : bytes)
            m.data[m.length++] = b;
        ProcessRepeaterReply(form, &m);
    }

    std::vector<uint32_t> beeps;
    std::vector<std::string> shown;
};

TEST_F(ReadConfigWindow, ButtonsTakeTheWidestCaption)
{
    TformReadConfig* window = Open();
    EXPECT_EQ(window->btnRead->width(), 100) << "short captions: the least width";
    EXPECT_EQ(window->btnSave->x(), 16 + 2 * (100 + 32));
    EXPECT_FALSE(window->btnRead->isEnabled()) << "no repeater selected";
    Close(window);

    form->langStrings[69] = "&Clear the whole report now";
    form->langStrings[62] = "Konfiguration lesen";
    window = Open();
    const int w = CaptionWidth(window, "&Clear the whole report now") + 24;
    for (QPushButton* b : {window->btnRead, window->btnClear, window->btnSave, window->btnAbort})
        EXPECT_EQ(b->width(), w) << b->objectName().toStdString();
    EXPECT_EQ(window->btnSave->x(), 16 + 2 * (w + 32));
    EXPECT_EQ(window->btnAbort->x(), window->btnRead->x());
    EXPECT_EQ(window->windowTitle(), " Konfiguration lesen");
}

TEST_F(ReadConfigWindow, PlaceIsKeptAndABadValueStopsTheRestSilently)
{
    TformReadConfig* window = Open();
    window->setGeometry(40, 60, 600, 300);
    Close(window);
    window = Open();
    EXPECT_EQ(window->geometry(), QRect(40, 60, 600, 300));
    Close(window);

    // Top and height come before the left edge, which is not a number.
    Store("Read Top", 80);
    Store("Read Height", -20);
    {
        TRegistry reg;
        reg.OpenKey("\\Software\\Drosen\\KVT Config Tool", false);
        reg.WriteString("Read Left", "left");
    }
    Store("Read Width", 700);
    window = Open();
    EXPECT_EQ(window->y(), 80);
    EXPECT_EQ(window->height(), 100) << "never too small to be seen";
    EXPECT_EQ(window->width(), 535) << "not read after the bad value";
    EXPECT_TRUE(shown.empty());

    // A place that cannot be saved is shown as a failure; the window closes all the same.
    platform::SetRegistryFile("/proc/self/no-such-folder/registry.txt");
    Close(window);
    EXPECT_EQ(formReadConfig, nullptr);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(ReadConfigWindow, StepTakesTheItemOrARefusalWithCodeOne)
{
    TformReadConfig* window = Open();
    std::vector<uint8_t> requests;
    for (auto& item : window->items)
        item.request = [&](uint8_t code) { requests.push_back(code); };
    form->repeaterAddr[0] = 0x12, form->repeaterAddr[1] = 0x34, form->repeaterAddr[2] = 0x56;
    form->opState = osReadConfig;

    Reply({0xA8, 0xFF, 0x12, 0x34, 0x56, 0xC8, 2}); // another error code
    Reply({0xA8, 0xFF, 0x12, 0x34, 0x57, 0xC8, 1}); // another repeater
    EXPECT_EQ(window->boxResults->count(), 0);
    Reply({0xA8, 0xFF, 0x12, 0x34, 0x56, 0xC8, 1});
    EXPECT_EQ(window->Lines(),
              std::vector<std::string>{"#32 - Configuration rejected by the Repeater, Check firmware version"});
    EXPECT_EQ(requests, std::vector<uint8_t>{0x01}) << "the next entry at once";
    Reply({0xA8, 0xC9, 0x12, 0x34, 0x56, 0x20, 1, 2, 3, 4, 5});
    EXPECT_EQ(window->boxResults->count(), 1) << "a late firmware reply is not the ECU number's";

    window->itemIndex = 26;
    Reply({0xA8, 0xC9, 0x12, 0x34, 0x56, 0x1B, '0', '7', 0});
    EXPECT_EQ(window->Lines().back(), "  -- Read Complete --");
    EXPECT_EQ(window->itemIndex, 27);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->StatusText(), "  Read Complete");

    // Past the table, or before it, nothing is indexed.
    for (int32_t index : {27, -1, 1000}) {
        form->opState = osReadConfig;
        window->itemIndex = index;
        Reply({0xA8, 0xC9, 0x12, 0x34, 0x56, 0x1B, 0});
        EXPECT_EQ(window->boxResults->count(), 3) << index;
    }
}

TEST_F(ReadConfigWindow, ReadClickWithoutARepeater)
{
    TformReadConfig* window = Open();
    window->show();
    window->btnRead->setEnabled(true); // as if the list changed under it
    QTest::mouseClick(window->btnRead, Qt::LeftButton);
    EXPECT_EQ(form->StatusText(), "  No Repeater selected");
    EXPECT_EQ(beeps, std::vector<uint32_t>{0x10});
    EXPECT_EQ(window->boxResults->count(), 0);
    EXPECT_EQ(form->opState, osIdle);
}
