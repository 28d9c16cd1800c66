#include "platform/SerialPorts.h"

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string& Root()
{
    static std::string root = "/sys";
    return root;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool HasDevice(const fs::path& entry)
{
    std::error_code ec;
    return fs::exists(entry / "device", ec);
}

// ttyS names exist for every possible on-board UART; only those with a UART
// behind them (a type other than 0, "unknown") are ports.
bool IsRealUart(const fs::path& entry)
{
    std::ifstream type(entry / "type");
    int value = 0;
    if (type >> value)
        return value != 0;
    std::error_code ec;
    return fs::exists(entry / "device" / "driver", ec);
}

bool IsSerialPort(const std::string& name, const fs::path& entry)
{
    if (StartsWith(name, "ttyS") && name.size() > 4 && isdigit(static_cast<unsigned char>(name[4])))
        return IsRealUart(entry);
    if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM"))
        return true;
    // Bound Bluetooth serial ports are virtual devices: they have no device
    // link, and are ports all the same.
    if (StartsWith(name, "rfcomm"))
        return true;
    static const char* const socUarts[] = {"ttyAMA", "ttymxc", "ttyO", "ttyTHS", "ttySAC", "ttyMSM",
                                           "ttyHS",  "ttyAML", "ttyLP", "ttySC", "ttyMV", "ttyS"};
    for (const char* prefix : socUarts)
        if (StartsWith(name, prefix))
            return HasDevice(entry);
    return false;
}

} // namespace

void SetSysfsRoot(const std::string& root) { Root() = root; }
const std::string& SysfsRoot() { return Root(); }

DirectoryReader RealDirectoryReader()
{
    return [](const std::string& dir, std::vector<std::string>& names, int* error) {
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec))
            names.push_back(it->path().filename().string());
        if (ec && error)
            *error = ec.value() ? ec.value() : EIO;
        return !ec;
    };
}

namespace {

DirectoryReader& Reader()
{
    static DirectoryReader reader;
    return reader;
}

} // namespace

void SetDirectoryReader(DirectoryReader reader) { Reader() = std::move(reader); }

bool ListSerialPorts(std::vector<std::string>& names, int* error)
{
    names.clear();
    const fs::path dir = fs::path(Root()) / "class" / "tty";
    std::vector<std::string> entries;
    int readError = 0;
    const DirectoryReader read = Reader() ? Reader() : RealDirectoryReader();
    // A list cut short by a read error is no list.
    if (!read(dir.string(), entries, &readError)) {
        if (error)
            *error = readError ? readError : EIO;
        return false;
    }
    for (const std::string& name : entries)
        if (IsSerialPort(name, dir / name))
            names.push_back(name);
    if (error)
        *error = 0;
    return true;
}

} // namespace platform
