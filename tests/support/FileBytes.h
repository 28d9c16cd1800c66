#pragma once
// Whole-file helpers for tests that check what code leaves on disk.
#include <string>
#include <vector>

// The file's bytes; "" when it cannot be read.
std::string ReadAll(const std::string& path);

// Replaces the file's content with `data`, bytes as they are.
void WriteAll(const std::string& path, const std::string& data);

// The names of the entries in `dir`, sorted, so that a test sees any
// temporary file left behind.
std::vector<std::string> FilesIn(const std::string& dir);

// Files that are not regular files, for the tests of their refusal.
enum class SpecialFile { Fifo, Device, Socket };
const char* SpecialFileName(SpecialFile kind);  // "Fifo", "Device", "Socket"
// Makes one at `path`; the device is a symbolic link to /dev/zero, which
// never ends. False when the system refuses.
bool MakeSpecialFile(const std::string& path, SpecialFile kind);

// Ends the test program (SIGALRM) when the scope is not left within
// `seconds`: a refusal that waits on a FIFO fails loudly instead of hanging.
class HangGuard {
public:
    explicit HangGuard(unsigned seconds);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
};
