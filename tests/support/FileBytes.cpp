#include "support/FileBytes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    if (in)
        out << in.rdbuf();
    return out.str();
}

void WriteAll(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const char* SpecialFileName(SpecialFile kind)
{
    switch (kind) {
    case SpecialFile::Fifo: return "Fifo";
    case SpecialFile::Device: return "Device";
    case SpecialFile::Socket: return "Socket";
    }
    return "";
}

bool MakeSpecialFile(const std::string& path, SpecialFile kind)
{
    switch (kind) {
    case SpecialFile::Fifo:
        return ::mkfifo(path.c_str(), 0644) == 0;
    case SpecialFile::Device:
        return ::symlink("/dev/zero", path.c_str()) == 0;
    case SpecialFile::Socket: {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);  // the socket file stays, with no one listening
        return bound;
    }
    }
    return false;
}

HangGuard::HangGuard(unsigned seconds)
{
    ::alarm(seconds);
}

HangGuard::~HangGuard()
{
    ::alarm(0);
}
