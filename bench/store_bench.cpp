// Loading and saving the settings store with many values: both must grow
// linearly with the file. Prints the times for a key holding 11,000 to
// 88,000 values, for 88,000 values spread over 8,000 keys, and what a store
// nested thousands of levels deep costs (it is refused as damaged).
// Usage: store_bench [largest number of values, default 88000]
#include "platform/Registry.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Write(const fs::path& file, const std::string& data)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << data;
}

std::string ValueLine(size_t i)
{
    char line[128];
    if (i % 2)
        std::snprintf(line, sizeof line, "\"Value %06zu\"=dword:%08zx\n", i, i * 2654435761u % 0xFFFFFFFFu);
    else
        std::snprintf(line, sizeof line, "\"Value %06zu\"=\"Telephone book entry %06zu of the repeater: +44 7700 900%03zu\"\n",
                      i, i, i % 1000);
    return line;
}

// One key holding `count` values, or `count` values in keys of `perKey`.
std::string Store(size_t count, size_t perKey)
{
    std::string data;
    for (size_t i = 0; i < count; ++i) {
        if (i % perKey == 0)
            data += "[HKEY_CURRENT_USER\\Software\\Drosen\\KVT Config Tool\\Key " + std::to_string(i / perKey) +
                    "]\n";
        data += ValueLine(i);
    }
    return data;
}

// Loads the file, then saves it after one change; prints both times.
void Measure(const char* what, const fs::path& file, const std::string& data)
{
    Write(file, data);
    const auto t0 = Clock::now();
    platform::SetRegistryFile(file.string());
    const double load = Since(t0);
    const auto t1 = Clock::now();
    {
        TRegistry reg;
        reg.OpenKey("\\Software\\Drosen\\KVT Config Tool\\Key 0", true);
        reg.WriteInteger("Changed", 1);
        reg.CloseKey();
    }
    const double save = Since(t1);
    std::fflush(stderr);
    std::printf("%-34s %6.2f MB  load %8.1f ms  save %8.1f ms  saved %6.2f MB\n", what,
                double(data.size()) / 1e6, load * 1e3, save * 1e3, double(fs::file_size(file)) / 1e6);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t largest = argc > 1 ? std::stoul(argv[1]) : 88000;
    const fs::path dir = fs::temp_directory_path() / ("store_bench." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "registry.txt";

    for (size_t count = largest / 8; count <= largest; count *= 2) {
        const std::string what = std::to_string(count) + " values in one key";
        Measure(what.c_str(), file, Store(count, count));
    }
    Measure((std::to_string(largest) + " values in keys of 11").c_str(), file, Store(largest, 11));

    // A key path 5,000 levels deep: refused as damaged, kept aside.
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 5000; ++i)
        deep += "\\Level " + std::to_string(i);
    deep += "]\n\"Deep\"=dword:00000001\n";
    std::fflush(stdout);
    Measure("key path 5000 levels deep", file, deep);

    fs::remove_all(dir);
    return 0;
}
