// Saving and loading a ".kvt" configuration file: the whole page with a
// telephone book of 0 to 2,000 numbers, written as one atomic replacement
// (fsync included) of a new file and of an existing one, and loaded back
// into a window. Prints the median of several runs in milliseconds. Then a
// file of 1 MB (a book of some 30,000 numbers) loaded into a new window and
// saved over.
//   config_file_bench [runs, default 9]
#include "app/ConfigFile.h"
#include "app/ConfigPage.h"
#include "app/Main.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QComboBox>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 1000) : 9;
    char dir[] = "/tmp/kvt-config-bench-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    platform::SetRegistryFile(std::string(dir) + "/registry.txt");
    std::printf("%-12s %14s %14s %12s %10s\n", "book", "save new ms", "save over ms", "load ms", "bytes");
    for (int book : {0, 20, 200, 2000}) {
        TformMain form;
        formMain = &form;
        for (int i = 0; i < book; ++i)
            AddNumberToLists(&form, "+44 7700 9" + std::to_string(10000 + i));
        std::vector<double> fresh, over, load;
        const std::string file = std::string(dir) + "/bench.kvt";
        for (int r = 0; r < runs; ++r) {
            std::filesystem::remove(file);
            auto t0 = Clock::now();
            {
                TIniFile ini(file);
                SaveConfigFile(&form, ini);
            }
            fresh.push_back(Ms(t0));
            form.editApn->setText(QString::number(r));  // one value differs: the file is replaced
            t0 = Clock::now();
            {
                TIniFile ini(file);
                SaveConfigFile(&form, ini);
            }
            over.push_back(Ms(t0));
            t0 = Clock::now();
            {
                TIniFile ini(file);
                LoadConfigFile(&form, ini);
            }
            load.push_back(Ms(t0));
        }
        std::printf("%-12d %14.2f %14.2f %12.2f %10ju\n", book, Median(fresh), Median(over), Median(load),
                    std::uintmax_t(std::filesystem::file_size(file)));
        formMain = nullptr;
    }

    // A 1 MB file: every load parses it once, whatever it holds.
    {
        const std::string file = std::string(dir) + "/big.kvt";
        std::string content = "[Config]\r\nAPN=web\r\n";
        int numbers = 0;
        for (; content.size() < (1u << 20); ++numbers)
            content += PhoneBookKey(uint32_t(numbers)) + "=+44 7700 9" + std::to_string(100000 + numbers) + "\r\n";
        if (FILE* out = std::fopen(file.c_str(), "wb")) {
            std::fwrite(content.data(), 1, content.size(), out);
            std::fclose(out);
        }
        std::vector<double> load, over;
        for (int r = 0; r < std::min(runs, 3); ++r) {
            TformMain form;
            formMain = &form;
            auto t0 = Clock::now();
            {
                TIniFile ini(file);
                LoadConfigFile(&form, ini);
            }
            load.push_back(Ms(t0));
            form.editApn->setText(QString::number(r));
            t0 = Clock::now();
            {
                TIniFile ini(file);
                SaveConfigFile(&form, ini);
            }
            over.push_back(Ms(t0));
            formMain = nullptr;
        }
        std::printf("\n1 MB file (%ju bytes, %d numbers): load into a new window %.1f ms, save over it %.1f ms\n",
                    std::uintmax_t(content.size()), numbers, Median(load), Median(over));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
