#pragma once
// Reads the string-table resources of a Windows PE file (a resource-only DLL such as
// "Languages.dll") without Windows, so that the same language library works here.
//
// The file is read whole into memory and never held open. Every offset, count and
// length in it is treated as untrusted: a damaged file gives nullptr from Load or ""
// from LoadString, never a read outside the file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class ResourceLibrary {
public:
    // Reads the whole file; nullptr when it is missing, unreadable (or over 64 MiB) or
    // not a PE file with a resource section.
    static std::unique_ptr<ResourceLibrary> Load(const std::string& path);

    // The string resource `id` as UTF-8 ("" when missing, or when any part of the
    // path to it is damaged). Of several language versions of a block, the first
    // entry in the resource directory is used.
    std::string LoadString(uint32_t id) const;

private:
    struct Section {
        uint32_t virtualAddress;
        uint64_t fileOffset;  // where the section's bytes start in the file
        uint64_t size;        // how many of its bytes the file holds
    };

    ResourceLibrary() = default;
    // The file offset of `rva` and how many bytes from there on the file holds of the
    // section that contains it; false when no section does.
    bool MapRva(uint64_t rva, uint64_t& fileOffset, uint64_t& available) const;

    std::vector<uint8_t> bytes_;     // the whole file
    std::vector<Section> sections_;  // clipped to the file
    uint64_t resourceOffset_ = 0;    // the resource directory tree: bytes_[offset, offset + size)
    uint64_t resourceSize_ = 0;
};

// Where the program looks for a library file of this name: beside the running
// executable (/proc/self/exe's folder), then the current directory; "" when neither
// has it. The name's case does not matter, as on Windows.
std::string FindLibraryFile(const std::string& fileName);

}  // namespace platform
