// Saving and loading the settings of the last run, as the close and the
// start of the program do (one write of the whole file per save, synced to
// disk): milliseconds per save and per load, with an empty telephone book
// and with one of 200 numbers; then a store holding the largest book
// (kPhoneBookLimit numbers) saved and loaded into a new window.
//   settings_bench [saves, default 200] [folder for the store, default /tmp]
#include "app/ConfigPage.h"
#include "app/Main.h"
#include "app/Registry.h"
#include "platform/Modal.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median, p95, max;
};

template <class F>
Figures Measure(int runs, F&& step)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        step();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back()};
}

void Print(const char* what, const Figures& f)
{
    std::printf("%-44s median %7.3f ms   p95 %7.3f ms   max %7.3f ms\n", what, f.median, f.p95, f.max);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::string base = argc > 2 ? argv[2] : "/tmp";
    std::string dir = base + "/kvt-settings-bench-XXXXXX";
    if (!mkdtemp(dir.data()))
        return 1;
    const std::string file = dir + "/registry.txt";
    platform::SetRegistryFile(file);
    platform::SetModalHook([](QDialog&) { return 0; });

    auto* form = new TformMain();
    formMain = form;
    form->show();
    QCoreApplication::processEvents();

    Print("save (empty telephone book)", Measure(runs, [&] { SaveRegistrySettings(form); }));
    std::printf("    file: %ju bytes\n", uintmax_t(std::filesystem::file_size(file)));
    Print("load (empty telephone book)", Measure(runs, [&] { LoadRegistrySettings(form); }));

    for (int n = 0; n < 200; ++n)
        AddNumberToLists(form, "+44 7700 900" + std::to_string(100 + n));
    Print("save (200 telephone numbers)", Measure(runs, [&] { SaveRegistrySettings(form); }));
    std::printf("    file: %ju bytes\n", uintmax_t(std::filesystem::file_size(file)));
    Print("load (200 numbers, all already in the book)", Measure(runs, [&] { LoadRegistrySettings(form); }));

    delete form;
    formMain = nullptr;

    {
        form = new TformMain();
        formMain = form;
        form->show();
        std::vector<std::string> numbers;
        for (size_t n = 0; n < kPhoneBookLimit + 10; ++n)
            numbers.push_back("+44 7700 9" + std::to_string(100000 + n));
        AddNumbersToLists(form, numbers);
        const int heavy = std::min(runs, 3);
        Print("save (the largest book, 65,536 numbers)", Measure(heavy, [&] { SaveRegistrySettings(form); }));
        std::printf("    file: %ju bytes\n", uintmax_t(std::filesystem::file_size(file)));
        delete form;
        // Each load reads the store file afresh, as a start does.
        std::vector<double> ms;
        for (int i = 0; i < heavy; ++i) {
            form = new TformMain();
            formMain = form;
            form->show();
            const auto t0 = Clock::now();
            platform::SetRegistryFile(file);
            LoadRegistrySettings(form);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            if (size_t(form->comboHostTel->count()) != kPhoneBookLimit)
                std::printf("    the book holds %d numbers\n", form->comboHostTel->count());
            delete form;
        }
        std::sort(ms.begin(), ms.end());
        Print("load (the largest book) into a new window", {ms[ms.size() / 2], ms.back(), ms.back()});
        // A window whose book is empty saves over it: every number is deleted.
        form = new TformMain();
        formMain = form;
        form->show();
        QCoreApplication::processEvents();
        for (QComboBox* combo : {form->comboHostTel, form->comboEngineerTel, form->comboTestTel, form->comboAlarmTel})
            combo->clear();
        Print("save (an empty book over the largest)", Measure(1, [&] { SaveRegistrySettings(form); }));
        std::printf("    file: %ju bytes\n", uintmax_t(std::filesystem::file_size(file)));
        delete form;
        formMain = nullptr;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
