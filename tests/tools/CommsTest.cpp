// The serial port dialog and the Communications entry, driven by clicks and
// keys through the modal hook, on a recorded port list whose names lead to a
// pseudo-terminal through a device folder of the test's own.
#include "app/LangTestSupport.h"
#include "app/Languages.h"
#include "platform/Clock.h"
#include "platform/CommDevice.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/SerialPorts.h"
#include "serial/PortControls.h"
#include "support/Pty.h"
#include "tools/Comms.h"
#include "tools/ModalScript.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string S(const QString& text) { return text.toStdString(); }

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

std::vector<std::string> Items(const TComComboBox* combo)
{
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(S(combo->itemText(i)));
    return items;
}

TformComms& Comms(QDialog& dialog) { return dynamic_cast<TformComms&>(dialog); }

// Opens the list with a click and clicks the entry.
void ChooseWithMouse(TComComboBox* combo, const QString& text)
{
    Click(combo);
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(ServeUntil([&] { return view->isVisible(); }));
    const QRect item = view->visualRect(view->model()->index(combo->findText(text), 0));
    // The list ignores a release that comes as quickly as a double click's:
    // the user clicks again until it takes one.
    for (int click = 0; click < 200 && view->isVisible(); ++click) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
        ServeUntil([&] { return !view->isVisible(); }, 50);
    }
    ASSERT_FALSE(view->isVisible()) << "the list took no click on " << S(text);
}

class CommsDialog : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        platform::TimeControl::UseVirtualTime(); // the link's timers stay still after a reconnect
        // Sorted, letter case ignored: rfcomm0 (bound, away), ttyACM1, ttyUSB0 (the pty); ttyS4 has no UART.
        for (const char* name : {"ttyUSB0", "rfcomm0", "ttyACM1", "ttyS4"})
            fs::create_directories(fs::path(sysfs.Path()) / "class" / "tty" / name);
        std::ofstream(sysfs.File("class/tty/ttyS4/type")) << "0\n";
        platform::SetSysfsRoot(sysfs.Path());
        // Device names differ in letter case, the list does not care.
        for (const char* name : {"ttyUSB0", "TTYUSB0"})
            EXPECT_EQ(::symlink(pty.SlavePath().c_str(), devices.File(name).c_str()), 0);
        platform::comm::SetDeviceRoot(devices.Path());
        platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType, uint32_t) {
            messages.push_back(text);
            return int(platform::mrOk);
        });
        platform::SetBeepHook([](uint32_t) {});
        platform::SetExceptionDisplayHook([this](const std::string& text) { exceptions.push_back(text); });
        f = &Create();
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        platform::TimeControl::UseRealTime();
        platform::SetExceptionDisplayHook({});
        platform::SetBeepHook({});
        platform::SetMessageDlgHook({});
        platform::SetDirectoryReader({});
        platform::comm::SetDeviceRoot("/dev");
        platform::SetSysfsRoot("/sys");
    }

    // The port open on `name`, with a status text the connect would replace.
    void OpenOn(const std::string& name)
    {
        f->portVigilator->SetPort(name);
        f->portVigilator->Open();
        f->SetStatusText("  before");
    }

    TempDir sysfs, devices;
    Pty pty;
    TformMain* f = nullptr;
    std::vector<std::string> messages, exceptions;
};

} // namespace

TEST_F(CommsDialog, TextsListAndWidthRules)
{
    {
        TformComms window(f);
        EXPECT_EQ(S(window.windowTitle()), " Communications");
        EXPECT_EQ(S(window.groupInterface->title()), "  Vigilator Interface  ");
        EXPECT_EQ(S(window.btnCheckVigilator->text()), "Test &Vigilator");
        EXPECT_EQ(S(window.btnOk->text()), "&OK");
        EXPECT_EQ(S(window.btnCancel->text()), "&Cancel");
        EXPECT_FALSE(window.comboPortVigilator->isEditable());
        EXPECT_FALSE(window.comboPortVigilator->AutoApply());
        EXPECT_EQ(window.comboPortVigilator->ComPort(), f->portVigilator);
        EXPECT_EQ(Items(window.comboPortVigilator), (std::vector<std::string>{"rfcomm0", "ttyACM1", "ttyUSB0"}));
        EXPECT_EQ(window.clientArea->geometry(), QRect(16, 16, 315, 161)) << "the English texts fit the design width";
    }
    for (const std::string library : {"", "Longer.dll"}) {
        SCOPED_TRACE(library);
        TformComms window(&Create(library));
        const int client = window.clientArea->width();
        const int buttons = std::max({75, CaptionWidth(window.btnOk, window.btnOk->text()) + 48,
                                      CaptionWidth(window.btnCancel, window.btnCancel->text()) + 48});
        EXPECT_EQ(client, std::max(315, 2 * buttons + 16)) << "widened only when the buttons need it";
        EXPECT_EQ(window.size(), QSize(client + 32, 193));
        EXPECT_EQ(window.groupInterface->geometry(), QRect(0, 0, client, 121));
        EXPECT_EQ(window.comboPortVigilator->geometry().topLeft(), QPoint(24, 24));
        EXPECT_EQ(window.comboPortVigilator->width(), client - 50);
        QPushButton* check = window.btnCheckVigilator;
        EXPECT_FALSE(check->isEnabled());
        EXPECT_EQ(check->width(), std::max(75, CaptionWidth(check, check->text()) + 24));
        EXPECT_EQ(check->geometry().topLeft(), QPoint(client / 2 - check->width() / 2, 72));
        EXPECT_EQ(window.btnOk->geometry(), QRect(client - 2 * buttons - 16, 136, buttons, 25));
        EXPECT_EQ(window.btnCancel->geometry(), QRect(client - buttons, 136, buttons, 25));
    }
}

TEST_F(CommsDialog, UsersAnswersAndWhatTheyDoToThePort)
{
    struct Case {
        const char* name;
        std::string portBefore; // open on it
        std::function<void(TformComms&)> user;
        std::string portAfter;
        bool reconnected; // closed, then the connect command ran
        bool connected;
    };
    const std::string pts = pty.SlavePath(); // not among the listed ports
    auto keys = [](std::initializer_list<Qt::Key> list) {
        return [pressed = std::vector<Qt::Key>(list)](TformComms& w) {
            for (Qt::Key key : pressed)
                QTest::keyClick(w.comboPortVigilator, key);
        };
    };
    auto then = [](std::function<void(TformComms&)> first, std::function<void(TformComms&)> next) {
        return [first, next](TformComms& w) {
            first(w);
            next(w);
        };
    };
    auto ok = [](TformComms& w) { Click(w.btnOk); };
    auto cancel = [](TformComms& w) { Click(w.btnCancel); };
    auto escape = [](TformComms& w) { ModalScript::Escape(w.comboPortVigilator); };
    auto closeBox = [](TformComms& w) { ModalScript::CloseBox(w); };
    auto enter = [](TformComms& w) { QTest::keyClick(w.comboPortVigilator, Qt::Key_Return); };
    const Case cases[] = {
        {"cancel after a choice", "ttyUSB0", then(keys({Qt::Key_Up}), cancel), "ttyUSB0", false, true},
        {"escape after a choice", "ttyUSB0", then(keys({Qt::Key_Home}), escape), "ttyUSB0", false, true},
        {"close box after a choice", pts, then(keys({Qt::Key_Down}), closeBox), pts, false, true},
        {"OK on the same port", "ttyUSB0", ok, "ttyUSB0", true, true},
        {"OK on a differently cased name", "TTYUSB0", ok, "ttyUSB0", true, true},
        {"OK without a choice keeps the pty", pts, ok, pts, true, true},
        {"Enter without a choice", pts, enter, pts, true, true},
        {"a listed port by keys", pts, then(keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}), ok), "ttyUSB0", true, true},
        {"an absent port", "ttyUSB0", then(keys({Qt::Key_Home}), ok), "rfcomm0", true, false},
        {"a listed port by mouse", pts, then([](TformComms& w) { ChooseWithMouse(w.comboPortVigilator, "ttyUSB0"); }, ok),
         "ttyUSB0", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenOn(c.portBefore);
        ASSERT_TRUE(f->portVigilator->Connected());
        messages.clear();
        const TformComms* during = nullptr;
        int indexShown = -2;
        {
            ModalScript script;
            script.Then([&](QDialog& d) {
                during = formComms;
                indexShown = Comms(d).comboPortVigilator->ItemIndex();
                c.user(Comms(d));
            });
            f->menuComms->trigger();
            EXPECT_EQ(script.opened, std::vector<std::string>{"formComms"});
            ASSERT_EQ(script.results.size(), 1u);
            EXPECT_EQ(script.results[0], c.reconnected ? 1 : 2);
        }
        EXPECT_NE(during, nullptr);
        EXPECT_EQ(formComms, nullptr);
        EXPECT_EQ(indexShown, c.portBefore == pts ? -1 : (c.portBefore == "ttyUSB0" || c.portBefore == "TTYUSB0") ? 2 : 0);
        EXPECT_EQ(f->portVigilator->Port(), c.portAfter);
        EXPECT_EQ(f->portVigilator->Connected(), c.connected);
        if (!c.reconnected) {
            EXPECT_EQ(f->StatusText(), "  before");
        } else {
            EXPECT_EQ(f->StatusText(), c.connected ? "  Unidentified port opened" : "  NOT CONNECTED");
            EXPECT_EQ(f->menuConnect->isChecked(), c.connected);
        }
        EXPECT_EQ(messages.size(), c.connected ? 0u : 1u);
        f->portVigilator->Close();
    }
    EXPECT_TRUE(exceptions.empty());
}

TEST_F(CommsDialog, UnreadablePortListIsReportedAndChangesNothing)
{
    OpenOn("ttyUSB0");
    platform::SetDirectoryReader([](const std::string&, std::vector<std::string>&, int* error) {
        *error = EIO;
        return false;
    });
    ModalScript script;
    f->menuComms->trigger();
    EXPECT_TRUE(script.opened.empty());
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(formComms, nullptr);
    EXPECT_TRUE(f->portVigilator->Connected());
    EXPECT_EQ(f->portVigilator->Port(), "ttyUSB0");
    EXPECT_EQ(f->StatusText(), "  before");
    f->portVigilator->Close();
}
