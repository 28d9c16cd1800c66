#include "ProgramRun.h"

#include "StartUpSettings.h"
#include "app/Main.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Modal.h"
#include "platform/Registry.h"

#include <QDialog>
#include <QListWidget>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace bench {

namespace {

// The settings are kept apart from the user's before anything reads them.
std::string MakeFolder()
{
    char dir[] = "/tmp/kvt-bench-XXXXXX";
    if (!mkdtemp(dir))
        std::exit(1);
    platform::SetRegistryFile(std::string(dir) + "/registry.txt");
    return dir;
}

} // namespace

double CpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

ProgramRun::ProgramRun()
    : dir_(MakeFolder()), repeater(unit.AddRepeater(0x123456)),
      notifier_(std::make_unique<QSocketNotifier>(unit.MasterFd(), QSocketNotifier::Read))
{
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { unit.Pump(platform::MonotonicMs()); });
}

ProgramRun::~ProgramRun()
{
    if (form) {
        form->portVigilator->Close();
        delete form;
    }
    std::system((std::string("rm -rf ") + dir_).c_str());
}

TformMain* ProgramRun::Start()
{
    StoreStartUpSettings(dir_ + "/registry.txt");
    {
        TRegistry reg;
        reg.OpenKey("\\Software\\Drosen\\KVT Config Tool\\portVigilator", true);
        reg.WriteString("Port", unit.SlavePath());
        reg.WriteString("BaudRate", "115200");
        reg.CloseKey();
    }
    platform::SetModalHook([](QDialog&) { return 0; });
    platform::SetMessageDlgHook([](const std::string& text, platform::MsgDlgType, uint32_t) {
        std::fprintf(stderr, "dialog: %s\n", text.c_str());
        return int(platform::mrOk);
    });
    platform::SetBeepHook([](uint32_t) {});

    form = new TformMain();
    formMain = form;
    form->show();
    ServeUntil([this] { return form->boxRepeaters->count() == 1; }, 10);
    return form;
}

void ProgramRun::SelectRepeater(double settleSeconds)
{
    form->boxRepeaters->setCurrentRow(0);
    form->boxRepeatersClick();
    ServeUntil([] { return false; }, settleSeconds);
}

} // namespace bench
