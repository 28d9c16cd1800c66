#include "support/SettingsKey.h"

#include "platform/Registry.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

std::string StartUpSettingsText(const std::string& port)
{
    std::ifstream in(KVT_STARTUP_SETTINGS, std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string("cannot read ") + KVT_STARTUP_SETTINGS);
    std::stringstream text;
    text << in.rdbuf();
    std::string quoted;
    for (char c : port) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    std::string out = text.str();
    const std::string mark = "@PORT@";
    for (size_t at = out.find(mark); at != std::string::npos; at = out.find(mark, at + quoted.size()))
        out.replace(at, mark.size(), quoted);
    return out;
}

void StoreStartUpSettings(const std::string& registryFile, const std::string& port)
{
    const std::string text = StartUpSettingsText(port);
    std::ofstream(registryFile, std::ios::binary | std::ios::trunc) << text;
    platform::SetRegistryFile(registryFile);
}

SettingsValues ReadSettingsValues(const std::string& subkey)
{
    SettingsValues values;
    TRegistry reg(KEY_READ);
    std::string key = kSettingsKey;
    if (!subkey.empty())
        key += "\\" + subkey;
    if (!reg.OpenKeyReadOnly(key))
        return values;
    for (const std::string& name : reg.GetValueNames()) {
        try {
            values[name] = "dword:" + std::to_string(reg.ReadInteger(name));
        } catch (const ERegistryException&) {
            values[name] = "\"" + reg.ReadString(name) + "\"";
        }
    }
    return values;
}
