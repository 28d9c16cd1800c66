#include "e2e/Harness.h"

#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "platform/Registry.h"
#include "support/SettingsKey.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

sim::Bytes RecordOf(std::initializer_list<uint8_t> bytes) { return sim::Bytes(bytes); }

namespace {

// Counts the queued calls the user-interface thread runs: the port's
// hand-overs and what the program queues for "as soon as this event is over".
class CallCounter : public QObject {
public:
    explicit CallCounter(uint64_t& count) : count_(count) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++count_;
        return false;
    }

private:
    uint64_t& count_;
};

// Wall-clock bound of one settle: far beyond what a loaded machine needs.
constexpr auto kSettleLimit = std::chrono::seconds(60);

} // namespace

void EndToEnd::SetUp()
{
    platform::TimeControl::UseVirtualTime();
    sim = std::make_unique<sim::InterfaceUnit>();
    ReopenSlave();
    // A whole key: the settings load stops at the first value it misses.
    StoreStartUpSettings(dir.File("registry.txt"), sim->SlavePath());
    ResetInterfaceState();
    platform::SetExceptionDisplayHook([this](const std::string& m) { exceptions.push_back(m); });
    platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType type, uint32_t) {
        dialogs.push_back({text, int(type)});
        return int(platform::mrOk);
    });
    platform::SetBeepHook([this](uint32_t type) { beeps.push_back(type); });
    platform::SetModalHook([this](QDialog& dialog) {
        modals.push_back(dialog.objectName().toStdString());
        // The splash closes itself after its time; the reminder gets our answer.
        if (dialog.objectName() == "formSplash" || dialog.objectName() == "TformSplash") {
            platform::BusyWait(3000);
            return 0;
        }
        return modalResult;
    });
    callCounter_ = std::make_unique<CallCounter>(queuedCallsRun_);
    QCoreApplication::instance()->installEventFilter(callCounter_.get());
    platform::TimeControl::SetSettleHook([this] { SettleIo(); });
}

void EndToEnd::TearDown()
{
    platform::TimeControl::SetSettleHook({});
    callCounter_.reset();
    if (form) {
        form->portVigilator->Close();
        delete form;
        form = nullptr;
        formMain = nullptr;
    }
    platform::SetModalHook({});
    platform::SetBeepHook({});
    platform::SetMessageDlgHook({});
    platform::SetExceptionDisplayHook({});
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    slaveFd_ = -1;
    sim.reset();
    platform::TimeControl::UseRealTime();
    EXPECT_TRUE(exceptions.empty()) << (exceptions.empty() ? "" : exceptions.front());
}

void EndToEnd::ReopenSlave()
{
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    slaveFd_ = ::open(sim->SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

void EndToEnd::FollowRecreatedPty()
{
    ReopenSlave();
    StorePort(sim->SlavePath());
    form->portVigilator->SetPort(sim->SlavePath());
}

void EndToEnd::StorePort(const std::string& port)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool\\portVigilator", true));
    reg.WriteString("Port", port);
    reg.CloseKey();
}

void EndToEnd::Start()
{
    form = new TformMain();
    formMain = form;
    form->show();
    QCoreApplication::processEvents();
}

void EndToEnd::StartAndConnect()
{
    Start();
    Advance(50); // the post-show step
}

int EndToEnd::WaitingForProgram() const
{
    if (slaveFd_ < 0)
        return 0;
    // A write to the master reaches the slave's queue through deferred kernel
    // work; poll() finishes that work, so the count after it is exact.
    pollfd p{slaveFd_, POLLIN, 0};
    ::poll(&p, 1, 0);
    int waiting = 0;
    if (ioctl(slaveFd_, FIONREAD, &waiting) != 0)
        waiting = 0;
    return waiting;
}

void EndToEnd::SettleIo()
{
    if (!sim || settleFailed_)
        return;
    // Until nothing moves: the simulator has read all the program wrote and
    // written all that is due, the program has read all of it, and the calls
    // that reading queued have run.
    const auto limit = std::chrono::steady_clock::now() + kSettleLimit;
    for (;;) {
        const uint64_t callsBefore = queuedCallsRun_;
        sim->Pump(platform::MonotonicMs());
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const int waiting = WaitingForProgram();
        const bool programListens = form && form->portVigilator->Connected() && sim->IsOpen();
        // Bytes the program leaves in the driver while its ring buffer is
        // full are its own business.
        const bool inFlight = programListens && waiting > 0 && !form->BytesLeftInDriver();
        // The port's event thread tells the program of a hang-up, at once.
        const bool hangUpUnheard = form && form->portVigilator->Connected() && !sim->IsOpen();
        const bool simHasInput = sim->IsOpen() && sim->WaitForInput(0);
        const auto due = sim->NextDueMs();
        const bool simHasOutput = sim->IsOpen() && due && *due <= platform::MonotonicMs();
        // A call run now may have queued another.
        const bool callsRan = queuedCallsRun_ != callsBefore;
        if (!inFlight && !hangUpUnheard && !simHasInput && !simHasOutput && !callsRan)
            return;
        if (std::chrono::steady_clock::now() > limit) {
            settleFailed_ = true;
            std::ostringstream what;
            what << "the program and the simulator did not settle at " << platform::MonotonicMs()
                 << " ms: " << waiting << " bytes unread by the program (it "
                 << (programListens ? "listens" : "does not listen") << "), the simulator "
                 << (simHasInput ? "has" : "has no") << " input, its next reply is due at "
                 << (due ? std::to_string(*due) : "never") << (callsRan ? ", queued calls still run" : "")
                 << (hangUpUnheard ? ", the program has not heard of the hang-up" : "");
            ADD_FAILURE() << what.str();
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void EndToEnd::Advance(int64_t ms)
{
    // In steps, so that every receive tick sees what arrived before it.
    platform::TimeControl::Advance(ms);
}

void JobsEndToEnd::SetUp()
{
    EndToEnd::SetUp();
    repeater = &sim->AddRepeater(kId);
    sim->AddRepeater(9247);
    StartAndConnect();
    Advance(200);
    form->adminOptions = 1 | 2; // configuration tab, chirp-triggered transmissions
    form->distOptions = 1;
    form->ShowConfigurationTab(true);
    form->ShowEngineeringTab(true);
    Select(kId);
    Advance(100);
    sim->ClearReceived();
}

void JobsEndToEnd::Select(uint32_t id)
{
    QListWidget* box = form->boxRepeaters;
    for (int i = 0; i < box->count(); ++i) {
        if (box->item(i)->data(Qt::UserRole).toLongLong() == id) {
            box->setCurrentRow(i);
            form->boxRepeatersClick();
            return;
        }
    }
    ADD_FAILURE() << "repeater " << id << " is not listed";
}

void JobsEndToEnd::TickOnly(std::initializer_list<int> entries)
{
    for (auto& item : form->configItems)
        item.box->setChecked(false);
    for (int i : entries)
        form->configItems[size_t(i)].box->setChecked(true);
}

std::vector<sim::ReceivedFrame> JobsEndToEnd::Relays() const
{
    std::vector<sim::ReceivedFrame> relays;
    for (const auto& f : sim->Received())
        if (f.IsRelay() && f.RepeaterCommand() != 0xCC) // the signal-strength poll runs alongside
            relays.push_back(f);
    return relays;
}
