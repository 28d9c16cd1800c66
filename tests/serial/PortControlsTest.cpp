// The port pickers: their lists, showing the port's value, the user's choice
// by mouse and keyboard, applying it, and a bound port that goes away.
#include "platform/ExceptionDisplay.h"
#include "platform/SerialPorts.h"
#include "serial/PortControls.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

std::vector<std::string> ComboItems(const QComboBox& box)
{
    std::vector<std::string> items;
    for (int i = 0; i < box.count(); ++i)
        items.push_back(box.itemText(i).toStdString());
    return items;
}

// A recorded kernel device list with three ports, as the enumeration reads it.
class RecordedPorts {
public:
    RecordedPorts()
    {
        namespace fs = std::filesystem;
        for (const char* name : {"ttyUSB0", "rfcomm0", "ttyACM1", "tty0"}) {
            const fs::path entry = fs::path(dir_.Path()) / "class" / "tty" / name;
            fs::create_directories(entry);
            if (std::string(name) != "rfcomm0" && std::string(name) != "tty0")
                fs::create_directories(entry / "device");
        }
        platform::SetSysfsRoot(dir_.Path());
    }
    ~RecordedPorts() { platform::SetSysfsRoot("/sys"); }

private:
    TempDir dir_;
};

// The user picks the item with this text: down or up arrow keys on the
// closed list, as many as it takes.
void ChooseByKeys(QComboBox& box, const std::string& text)
{
    const int target = box.findText(QString::fromStdString(text));
    ASSERT_GE(target, 0) << text;
    while (box.currentIndex() != target)
        QTest::keyClick(&box, box.currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
}

void ClickRadio(TComRadioGroup& group, int index)
{
    QRadioButton* b = group.Button(index);
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

} // namespace

TEST(PortPickers, ListEveryPropertysTextsInTheirOrder)
{
    RecordedPorts recorded;
    struct Case {
        TComProperty property;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {cpNone, {}},
        {cpPort, {"rfcomm0", "ttyACM1", "ttyUSB0"}},
        {cpBaudRate, {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000",
                      "57600", "115200", "128000", "256000"}},
        {cpDataBits, {"5", "6", "7", "8"}},
        {cpStopBits, {"1", "1.5", "2"}},
        {cpParity, {"None", "Odd", "Even", "Mark", "Space"}},
        {cpFlowControl, {"Hardware", "Software", "None", "Custom"}},
    };
    for (const Case& c : cases) {
        TComComboBox box;
        box.SetComProperty(cpBaudRate); // a list that the next property replaces
        box.SetComProperty(c.property);
        EXPECT_EQ(box.ComProperty(), c.property);
        EXPECT_EQ(ComboItems(box), c.items) << int(c.property);
        EXPECT_EQ(box.ItemIndex(), c.items.empty() ? -1 : 0) << "no port bound: the first item";
        TComRadioGroup group;
        group.SetComProperty(c.property);
        ASSERT_EQ(group.Selector().Items->Count(), int(c.items.size()));
        for (size_t i = 0; i < c.items.size(); ++i)
            EXPECT_EQ(group.Button(int(i))->text().toStdString(), c.items[i]);
        EXPECT_EQ(group.ItemIndex(), c.items.empty() ? -1 : 0);
    }
}

TEST(PortPickers, AnUnreadablePortListRaisesToTheCaller)
{
    TempDir empty;
    platform::SetSysfsRoot(empty.File("missing"));
    TComComboBox box;
    try {
        box.SetComProperty(cpPort);
        ADD_FAILURE() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 23);
    }
    platform::SetSysfsRoot("/sys");
}

TEST(PortPickers, BindingShowsThePortsValueFoundIgnoringCase)
{
    RecordedPorts recorded;
    TComPort port;
    port.SetPort("RFCOMM0");
    port.SetBaudRate(br115200);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.Parity()->SetBits(prMark);
    port.FlowControl()->SetFlowControl(fcSoftware);
    struct Case {
        TComProperty property;
        std::string shown;
    };
    const Case cases[] = {{cpPort, "rfcomm0"}, {cpBaudRate, "115200"}, {cpDataBits, "7"},
                          {cpStopBits, "2"},   {cpParity, "Mark"},     {cpFlowControl, "Software"}};
    for (const Case& c : cases) {
        TComComboBox box;
        box.SetComProperty(c.property);
        box.SetComPort(&port);
        EXPECT_EQ(box.Text(), c.shown);
        TComRadioGroup group;
        group.SetComPort(&port); // bound before the list exists: shown when it is filled
        group.SetComProperty(c.property);
        ASSERT_GE(group.ItemIndex(), 0);
        EXPECT_EQ(group.Button(group.ItemIndex())->text().toStdString(), c.shown);
    }
    TComComboBox box;
    box.SetComProperty(cpPort);
    box.SetComPort(&port);
    EXPECT_EQ(box.Selector().Port, "rfcomm0") << "the item's text is what is stored";
}

TEST(PortPickers, UnlistedValuesAndSelectionsFromCode)
{
    RecordedPorts recorded;
    TComPort port;
    port.SetPort("/dev/pts/77");
    TComComboBox box;
    box.SetComProperty(cpPort);
    box.SetComPort(&port);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.Text(), "");
    box.ApplySettings();
    EXPECT_EQ(port.Port(), "") << "a picker that never had a selection writes its empty value";

    port.SetBaudRate(br9600);
    TComComboBox baud;
    baud.SetComProperty(cpBaudRate);
    baud.SetComPort(&port);
    baud.SetAutoApply(true);
    int changes = 0;
    baud.OnChange = [&](QObject*) { ++changes; };
    port.SetCustomBaudRate(1234);
    port.SetBaudRate(brCustom);
    baud.UpdateSettings();
    EXPECT_EQ(baud.Text(), "Custom");
    port.SetBaudRate(br110);
    baud.SetText("no such rate");
    EXPECT_EQ(baud.Text(), "Custom") << "a text not in the list changes nothing";
    baud.SetText("9600");
    EXPECT_EQ(baud.Text(), "9600");
    EXPECT_EQ(port.BaudRate(), br110) << "text set from code is no choice of the user";
    EXPECT_EQ(changes, 0);
    baud.ApplySettings();
    EXPECT_EQ(port.BaudRate(), brCustom) << "the last value parsed: from showing the port's";
}

TEST(PortPickers, TheUsersChoiceReachesThePortOnApplyOrAtOnce)
{
    RecordedPorts recorded;
    struct Case {
        TComProperty property;
        std::string choice;
        std::function<std::string(TComPort&)> value;
    };
    const Case cases[] = {
        {cpPort, "ttyUSB0", [](TComPort& p) { return p.Port(); }},
        {cpBaudRate, "57600", [](TComPort& p) { return BaudRateToStr(p.BaudRate()); }},
        {cpDataBits, "5", [](TComPort& p) { return DataBitsToStr(p.DataBits()); }},
        {cpStopBits, "1.5", [](TComPort& p) { return StopBitsToStr(p.StopBits()); }},
        {cpParity, "Space", [](TComPort& p) { return ParityToStr(p.Parity()->Bits()); }},
        {cpFlowControl, "Hardware", [](TComPort& p) { return FlowControlToStr(p.FlowControl()->GetFlowControl()); }},
    };
    for (const Case& c : cases) {
        for (bool autoApply : {false, true}) {
            TComPort port;
            port.SetPort("rfcomm0");
            port.FlowControl()->SetFlowControl(fcNone);
            TComComboBox box;
            box.SetComProperty(c.property);
            box.SetComPort(&port);
            box.SetAutoApply(autoApply);
            int changes = 0;
            box.OnChange = [&](QObject* sender) {
                EXPECT_EQ(sender, &box);
                ++changes;
            };
            const std::string before = c.value(port);
            ChooseByKeys(box, c.choice);
            EXPECT_GT(changes, 0);
            EXPECT_EQ(c.value(port), autoApply ? c.choice : before) << c.choice << autoApply;
            box.ApplySettings();
            EXPECT_EQ(c.value(port), c.choice) << c.choice;
        }
    }
}

TEST(PortPickers, ChoosingFromTheListOpenedWithTheMouse)
{
    TComPort port;
    TComComboBox box;
    box.SetComProperty(cpParity);
    box.SetComPort(&port);
    box.SetAutoApply(true);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(&box, Qt::LeftButton);
    QAbstractItemView* view = box.view();
    ASSERT_TRUE(view->isVisible());
    // In the open list: down twice and Enter.
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(box.Text(), "Even");
    EXPECT_EQ(port.Parity()->Bits(), prEven);
}

TEST(PortPickers, AFailingApplyIsShownByTheEventGuard)
{
    std::vector<std::string> shown;
    platform::SetExceptionDisplayHook([&](const std::string& m) { shown.push_back(m); });
    RecordedPorts recorded; // names that are not devices here
    Pty pty;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.Open();
    TComComboBox box;
    box.SetComProperty(cpPort);
    box.SetComPort(&port);
    box.SetAutoApply(true);
    int changes = 0;
    box.OnChange = [&](QObject*) { ++changes; };
    EXPECT_EQ(box.ItemIndex(), -1);
    QTest::keyClick(&box, Qt::Key_Down); // the open port is reopened on the new name, and that fails
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind(ComErrorMessage(1), 0), 0u) << shown[0];
    EXPECT_EQ(port.Port(), "rfcomm0");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(changes, 0) << "OnChange follows only a change that went through";
    EXPECT_EQ(box.Text(), "rfcomm0");
    QTest::keyClick(&box, Qt::Key_Down); // a closed port just takes the name
    EXPECT_EQ(port.Port(), "ttyACM1");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(shown.size(), 1u);
    platform::SetExceptionDisplayHook({});
}

TEST(PortPickers, ADestroyedPortIsForgottenAndTheFirstItemSelected)
{
    auto port = std::make_unique<TComPort>();
    port->SetBaudRate(br38400);
    TComComboBox box;
    box.SetComProperty(cpBaudRate);
    box.SetComPort(port.get());
    TComRadioGroup group;
    group.SetComProperty(cpBaudRate);
    group.SetComPort(port.get());
    EXPECT_EQ(box.Text(), "38400");
    EXPECT_EQ(group.ItemIndex(), 10);
    port.reset();
    EXPECT_EQ(box.ComPort(), nullptr);
    EXPECT_EQ(group.ComPort(), nullptr);
    EXPECT_EQ(box.ItemIndex(), 0);
    EXPECT_EQ(group.ItemIndex(), 0);
    box.ApplySettings(); // nothing to write to, nothing happens
    group.ApplySettings();
    group.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&group));
    ClickRadio(group, 0);
    EXPECT_EQ(group.Selector().BaudRate, br38400) << "item 0 is the chosen one now: clicking it is no change";
    ClickRadio(group, 1);
    EXPECT_EQ(group.Selector().BaudRate, br110);

    TComPort other;
    box.SetComPort(&other);
    box.SetComPort(nullptr);
    EXPECT_EQ(box.Text(), "9600") << "setting none only forgets the port";
}

TEST(PortPickers, RadioClickOnTheChosenItemIsNotPassedOn)
{
    TComPort port;
    TComRadioGroup group;
    group.SetComProperty(cpStopBits);
    group.SetComPort(&port);
    group.SetAutoApply(true);
    group.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&group));
    int clicks = 0;
    group.OnClick = [&](QObject*) { ++clicks; };
    EXPECT_EQ(group.ItemIndex(), 0);

    ClickRadio(group, 2);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);
    EXPECT_EQ(clicks, 1);
    port.SetStopBits(sbOne5StopBits); // the port moves on behind the picker's back
    ClickRadio(group, 2);
    EXPECT_EQ(clicks, 2) << "OnClick follows every click";
    EXPECT_EQ(port.StopBits(), sbOne5StopBits) << "the chosen item again is no change";
    ClickRadio(group, 0);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);

    group.SetAutoApply(false);
    ClickRadio(group, 1);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    group.ApplySettings();
    EXPECT_EQ(port.StopBits(), sbOne5StopBits);
}
