#pragma once
// The settings key of a first run (tests/support/startup-settings.reg) for
// the benchmarks that run the program: the settings load stops at the first
// value it misses, so the port they store afterwards is read only from a
// whole key.
#include "platform/Registry.h"

#include <fstream>
#include <sstream>
#include <string>

inline void StoreStartUpSettings(const std::string& registryFile)
{
    std::ifstream in(KVT_STARTUP_SETTINGS, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string key = text.str();
    const std::string mark = "@PORT@";
    if (const size_t at = key.find(mark); at != std::string::npos)
        key.replace(at, mark.size(), "COM1");
    std::ofstream(registryFile, std::ios::binary | std::ios::trunc) << key;
    platform::SetRegistryFile(registryFile);
}
