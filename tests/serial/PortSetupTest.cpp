// The port settings dialog: its window, and how it binds, shows and applies
// the six settings, driven through the modal hook with real input events.
#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "platform/SerialPorts.h"
#include "serial/PortSetup.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <fcntl.h>
#include <filesystem>
#include <termios.h>
#include <unistd.h>
#include <gtest/gtest.h>

namespace {

// A port that counts full reconfigurations. Its listed name "ttyUSB1" stands
// for the pseudo-terminal given, so the dialog can find an open port in its
// list; with `missing`, "ttyUSB0" names a device that does not exist.
class CountingPort : public TComPort {
public:
    int setups = 0;
    std::string device;
    bool missing = false;
    void SetupComPort() override
    {
        ++setups;
        TComPort::SetupComPort();
    }
    void CreateHandle() override
    {
        const std::string name = Port();
        if (QString::fromStdString(name).compare("ttyUSB1", Qt::CaseInsensitive) == 0 && !device.empty())
            SetPort(device); // not open yet: only stored
        if (missing && name == "ttyUSB0")
            SetPort("/nonexistent/ttyUSB0");
        try {
            TComPort::CreateHandle();
        } catch (...) {
            SetPort(name);
            throw;
        }
        SetPort(name);
    }
};

// The output speed the device is set to now.
speed_t DeviceSpeed(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t {};
    tcgetattr(fd, &t);
    ::close(fd);
    return cfgetospeed(&t);
}

class PortSetup : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        for (const char* name : {"ttyUSB0", "ttyUSB1"})
            fs::create_directories(fs::path(sysfs.Path()) / "class" / "tty" / name / "device");
        platform::SetSysfsRoot(sysfs.Path());
    }
    void TearDown() override
    {
        platform::SetModalHook({});
        platform::SetSysfsRoot("/sys");
    }

    // Shows the dialog through the hook and lets `user` act on it.
    void Drive(std::function<void(TComSetupFrm&)> user)
    {
        platform::SetModalHook([this, user](QDialog& dialog) {
            auto& form = dynamic_cast<TComSetupFrm&>(dialog);
            dialog.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            seen = &form;
            user(form);
            return dialog.result();
        });
    }

    static void Choose(TComComboBox* box, const char* text)
    {
        box->setFocus();
        const int target = box->findText(text);
        ASSERT_GE(target, 0) << text;
        while (box->currentIndex() != target)
            QTest::keyClick(box, box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }

    TempDir sysfs;
    TComSetupFrm* seen = nullptr;
};

} // namespace

TEST_F(PortSetup, WindowLayout)
{
    TComSetupFrm form;
    EXPECT_EQ(form.windowTitle().toStdString(), "Setup");
    EXPECT_EQ(form.size(), QSize(231, 216));
    EXPECT_EQ(form.font().pixelSize(), 11);
    EXPECT_EQ(form.Button1->text().toStdString(), "OK");
    EXPECT_EQ(form.Button1->geometry(), QRect(70, 184, 75, 25));
    EXPECT_TRUE(form.Button1->isDefault());
    EXPECT_EQ(form.Button2->text().toStdString(), "Cancel");
    EXPECT_EQ(form.Button2->geometry(), QRect(150, 184, 75, 25));
    EXPECT_EQ(form.GroupBox1->title().toStdString(), " Settings ");
    EXPECT_EQ(form.GroupBox1->geometry(), QRect(8, 8, 217, 169));
    const QLabel* labels[] = {form.Label1, form.Label2, form.Label3, form.Label4, form.Label5, form.Label6};
    const char* const captions[] = {"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"};
    const TComProperty properties[] = {cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl};
    const std::vector<TComComboBox*> pickers = form.Pickers();
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(labels[i]->text().toStdString(), captions[i]);
        EXPECT_EQ(labels[i]->pos(), QPoint(8, 24 + 24 * i));
        EXPECT_EQ(labels[i]->parentWidget(), form.GroupBox1);
        EXPECT_EQ(pickers[size_t(i)]->pos(), QPoint(80, 16 + 24 * i));
        EXPECT_EQ(pickers[size_t(i)]->width(), 129);
        EXPECT_EQ(pickers[size_t(i)]->ComProperty(), properties[i]);
        EXPECT_FALSE(pickers[size_t(i)]->AutoApply());
        EXPECT_FALSE(pickers[size_t(i)]->isEditable());
        EXPECT_EQ(pickers[size_t(i)]->ComPort(), nullptr);
        // Every caption fits its place.
        EXPECT_LE(labels[i]->x() + labels[i]->fontMetrics().horizontalAdvance(labels[i]->text()), 80);
    }
    EXPECT_EQ(form.Combo1->count(), 2) << "the ports present";
    form.show();
    const QPoint off = form.frameGeometry().center() - form.screen()->availableGeometry().center();
    EXPECT_LE(off.manhattanLength(), 2) << "centred on the screen";
}

TEST_F(PortSetup, ShowsThePortsValuesAndOkWritesThemInOneBracket)
{
    Pty pty;
    CountingPort port;
    port.device = pty.SlavePath();
    port.SetPort("ttyUSB1");
    port.SetBaudRate(br19200);
    port.Parity()->SetBits(prNone); // a pseudo-terminal keeps neither parity nor data bits
    port.SetStopBits(sbTwoStopBits);
    port.FlowControl()->SetFlowControl(fcNone);
    port.Open();
    ASSERT_EQ(DeviceSpeed(pty.SlavePath()), B19200);
    port.setups = 0;
    std::vector<std::string> shownValues;
    Drive([&](TComSetupFrm& form) {
        for (TComComboBox* box : form.Pickers()) {
            EXPECT_EQ(box->ComPort(), &port);
            shownValues.push_back(box->Text());
        }
        Choose(form.Combo2, "57600");
        Choose(form.Combo4, "1");
        EXPECT_EQ(port.BaudRate(), br19200) << "nothing is written before OK";
        QTest::mouseClick(form.Button1, Qt::LeftButton);
    });
    EditComPort(&port);
    EXPECT_EQ(shownValues, (std::vector<std::string>{"ttyUSB1", "19200", "8", "2", "None", "None"}));
    EXPECT_EQ(port.Port(), "ttyUSB1") << "the listed name as it is written there";
    EXPECT_EQ(port.BaudRate(), br57600);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.FlowControl()->GetFlowControl(), fcNone);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.setups, 1) << "the bracket's end reconfigures the open port once";
    EXPECT_EQ(DeviceSpeed(pty.SlavePath()), B57600);

    Drive([&](TComSetupFrm& form) { QTest::keyClick(form.Combo3, Qt::Key_Return); });
    EditComPort(&port);
    EXPECT_EQ(port.setups, 2) << "unchanged values: written back, one reconfiguration";
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.BaudRate(), br57600);
}

TEST_F(PortSetup, CancelEscapeAndTheCloseBoxTouchNothing)
{
    Pty pty;
    CountingPort port;
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(br9600);
    port.Open();
    const int setupsAfterOpen = port.setups;
    const std::function<void(TComSetupFrm&)> ways[] = {
        [](TComSetupFrm& form) { QTest::mouseClick(form.Button2, Qt::LeftButton); },
        [](TComSetupFrm& form) { QTest::keyClick(&form, Qt::Key_Escape); },
        [](TComSetupFrm& form) { form.close(); },
    };
    for (const auto& way : ways) {
        Drive([&](TComSetupFrm& form) {
            Choose(form.Combo1, "ttyUSB0");
            Choose(form.Combo2, "300");
            way(form);
            EXPECT_EQ(form.result(), TComSetupFrm::kResultCancel);
        });
        EditComPort(&port);
        EXPECT_TRUE(port.Connected());
        EXPECT_EQ(port.Port(), pty.SlavePath());
        EXPECT_EQ(port.BaudRate(), br9600);
        EXPECT_EQ(port.setups, setupsAfterOpen);
        EXPECT_EQ(DeviceSpeed(pty.SlavePath()), B9600);
    }
}

TEST_F(PortSetup, OkWithAnUnlistedPortKeepsItAndAFailureReachesTheCaller)
{
    Pty pty;
    CountingPort port;
    port.SetPort(pty.SlavePath());
    port.Open();
    Drive([&](TComSetupFrm& form) {
        EXPECT_EQ(form.Combo1->ItemIndex(), -1) << "a pseudo-terminal is not in the list";
        Choose(form.Combo2, "300");
        QTest::keyClick(form.Combo2, Qt::Key_Return); // the default button
    });
    EditComPort(&port);
    EXPECT_EQ(port.Port(), pty.SlavePath()) << "nothing chosen: the port is kept";
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(DeviceSpeed(pty.SlavePath()), B300);

    port.missing = true;
    Drive([&](TComSetupFrm& form) {
        Choose(form.Combo1, "ttyUSB0");
        Choose(form.Combo2, "1200");
        QTest::keyClick(form.Combo2, Qt::Key_Return);
    });
    try {
        EditComPort(&port);
        ADD_FAILURE() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
    }
    EXPECT_EQ(port.Port(), "ttyUSB0");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.BaudRate(), br300) << "the port name goes first; nothing after it was written";
    // The bracket was closed all the same: a setter applies at once again.
    port.SetPort(pty.SlavePath());
    port.Open();
    port.SetBaudRate(br4800);
    EXPECT_EQ(DeviceSpeed(pty.SlavePath()), B4800);
}

TEST_F(PortSetup, ThePortsShowSetupDialogOpensIt)
{
    Drive([&](TComSetupFrm& form) { QTest::mouseClick(form.Button1, Qt::LeftButton); });
    EditComPort(nullptr);
    EXPECT_EQ(seen, nullptr) << "no port: nothing is shown";
    TComPort port;
    port.SetPort("ttyUSB0");
    Drive([&](TComSetupFrm& form) {
        EXPECT_EQ(form.Combo1->Text(), "ttyUSB0");
        EXPECT_EQ(form.Combo6->ComPort(), &port);
        QTest::mouseClick(form.Button2, Qt::LeftButton);
    });
    port.ShowSetupDialog();
    EXPECT_NE(seen, nullptr);
}
