#include "platform/ResourceLibrary.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr uint64_t kMaxFileSize = 64ull << 20;  // far beyond any language library
constexpr uint32_t kRtString = 6;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;

// A bounds-checked little-endian view of bytes. Offsets and lengths are 64-bit and
// come from 16/32-bit fields plus small constants, so the sums cannot overflow; Has()
// compares by subtraction all the same.
struct Bytes {
    const uint8_t* data;
    uint64_t size;

    bool Has(uint64_t offset, uint64_t length) const
    {
        return offset <= size && length <= size - offset;
    }
    bool U16(uint64_t offset, uint16_t& value) const
    {
        if (!Has(offset, 2))
            return false;
        value = static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
        return true;
    }
    bool U32(uint64_t offset, uint32_t& value) const
    {
        if (!Has(offset, 4))
            return false;
        value = static_cast<uint32_t>(data[offset]) | static_cast<uint32_t>(data[offset + 1]) << 8 |
                static_cast<uint32_t>(data[offset + 2]) << 16 |
                static_cast<uint32_t>(data[offset + 3]) << 24;
        return true;
    }
};

// In the resource directory at `dir` (an offset into `tree`), the OffsetToData of the
// entry with numeric id `id`, or of the first entry when `id` is empty.
bool FindEntry(const Bytes& tree, uint64_t dir, std::optional<uint32_t> id, uint32_t& offsetToData)
{
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!tree.U16(dir + 12, named) || !tree.U16(dir + 14, ids))
        return false;
    const uint64_t count = uint64_t{named} + ids;
    const uint64_t entries = dir + 16;
    if (!tree.Has(entries, count * 8))
        return false;
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t name = 0;
        tree.U32(entries + i * 8, name);  // in range: checked above
        // Named entries have the high bit set, so they never equal a numeric id.
        if (!id || name == *id)
            return tree.U32(entries + i * 8 + 4, offsetToData);
    }
    return false;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// `count` UTF-16LE units at `offset` of `block` (the caller checked the range) as
// UTF-8. An unpaired surrogate becomes U+FFFD. The text ends at the first U+0000, as
// it does for the program: "rc /n" stores every string with a terminating zero.
std::string Utf16ToUtf8(const Bytes& block, uint64_t offset, uint64_t count)
{
    std::string out;
    for (uint64_t i = 0; i < count; ++i) {
        uint16_t unit = 0;
        block.U16(offset + 2 * i, unit);
        uint32_t cp = unit;
        uint16_t next = 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count &&
            block.U16(offset + 2 * (i + 1), next) && next >= 0xDC00 && next <= 0xDFFF) {
            cp = 0x10000 + ((uint32_t{unit} - 0xD800) << 10) + (uint32_t{next} - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            cp = 0xFFFD;
        } else if (unit == 0) {
            break;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

// String `index` (0 to 15) of a string-table block: 16 entries of a u16 length in
// UTF-16 units followed by that many units.
std::string StringInBlock(const Bytes& block, uint32_t index)
{
    uint64_t pos = 0;
    for (uint32_t i = 0;; ++i) {
        uint16_t length = 0;
        if (!block.U16(pos, length))
            return {};
        pos += 2;
        const uint64_t bytes = uint64_t{length} * 2;
        if (!block.Has(pos, bytes))
            return {};
        if (i == index)
            return Utf16ToUtf8(block, pos, length);
        pos += bytes;
    }
}

}  // namespace

std::unique_ptr<ResourceLibrary> ResourceLibrary::Load(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return nullptr;
    const uint64_t fileSize = fs::file_size(path, ec);
    if (ec || fileSize > kMaxFileSize)
        return nullptr;
    std::unique_ptr<ResourceLibrary> library(new ResourceLibrary);
    library->bytes_.resize(fileSize);
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(library->bytes_.data()),
                 static_cast<std::streamsize>(fileSize))) {
        return nullptr;
    }
    const Bytes file{library->bytes_.data(), fileSize};

    // DOS header, "PE\0\0", COFF file header.
    uint16_t mz = 0;
    uint32_t peOffset = 0;
    uint32_t signature = 0;
    if (!file.U16(0, mz) || mz != 0x5A4D || !file.U32(0x3C, peOffset))
        return nullptr;
    if (!file.U32(peOffset, signature) || signature != 0x00004550)
        return nullptr;
    const uint64_t coff = uint64_t{peOffset} + 4;
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    if (!file.U16(coff + 2, sectionCount) || !file.U16(coff + 16, optionalSize))
        return nullptr;

    // Optional header: where NumberOfRvaAndSizes and the data directories lie differs
    // between PE32 and PE32+. Directory 2 is the resource table.
    const uint64_t optional = coff + 20;
    uint16_t magic = 0;
    if (!file.U16(optional, magic))
        return nullptr;
    uint64_t countAt = 0;
    uint64_t dirsAt = 0;
    if (magic == 0x10B) {
        countAt = 92;
        dirsAt = 96;
    } else if (magic == 0x20B) {
        countAt = 108;
        dirsAt = 112;
    } else {
        return nullptr;
    }
    uint32_t dirCount = 0;
    uint32_t resourceRva = 0;
    uint32_t resourceSize = 0;
    if (optionalSize < dirsAt + 3 * 8 || !file.U32(optional + countAt, dirCount) || dirCount < 3 ||
        !file.U32(optional + dirsAt + 2 * 8, resourceRva) ||
        !file.U32(optional + dirsAt + 2 * 8 + 4, resourceSize) || resourceRva == 0 ||
        resourceSize == 0) {
        return nullptr;
    }

    // Section table, each section clipped to the bytes that the file holds of it.
    const uint64_t table = optional + optionalSize;
    for (uint64_t i = 0; i < sectionCount; ++i) {
        const uint64_t header = table + i * 40;
        uint32_t virtualSize = 0;
        uint32_t virtualAddress = 0;
        uint32_t rawSize = 0;
        uint32_t rawOffset = 0;
        if (!file.U32(header + 8, virtualSize) || !file.U32(header + 12, virtualAddress) ||
            !file.U32(header + 16, rawSize) || !file.U32(header + 20, rawOffset)) {
            return nullptr;
        }
        uint64_t size = rawSize;
        if (virtualSize != 0)
            size = std::min<uint64_t>(size, virtualSize);
        size = rawOffset < fileSize ? std::min<uint64_t>(size, fileSize - rawOffset) : 0;
        library->sections_.push_back({virtualAddress, rawOffset, size});
    }

    uint64_t available = 0;
    if (!library->MapRva(resourceRva, library->resourceOffset_, available))
        return nullptr;
    library->resourceSize_ = std::min<uint64_t>(resourceSize, available);
    if (library->resourceSize_ < 16)
        return nullptr;  // not even a root directory
    return library;
}

bool ResourceLibrary::MapRva(uint64_t rva, uint64_t& fileOffset, uint64_t& available) const
{
    for (const Section& section : sections_) {
        if (rva >= section.virtualAddress && rva - section.virtualAddress < section.size) {
            const uint64_t delta = rva - section.virtualAddress;
            fileOffset = section.fileOffset + delta;
            available = section.size - delta;
            return true;
        }
    }
    return false;
}

std::string ResourceLibrary::LoadString(uint32_t id) const
{
    const Bytes tree{bytes_.data() + resourceOffset_, resourceSize_};
    // Exactly three levels: type, name (block id), language. The walk has a fixed depth,
    // so an offset pointing back up the tree cannot make it loop.
    uint32_t entry = 0;
    if (!FindEntry(tree, 0, kRtString, entry) || !(entry & kSubdirectoryFlag))
        return {};
    if (!FindEntry(tree, entry & ~kSubdirectoryFlag, id / 16 + 1, entry) ||
        !(entry & kSubdirectoryFlag)) {
        return {};
    }
    if (!FindEntry(tree, entry & ~kSubdirectoryFlag, std::nullopt, entry) ||
        (entry & kSubdirectoryFlag)) {
        return {};
    }
    // The data entry: OffsetToData is an RVA, not an offset in the tree.
    uint32_t dataRva = 0;
    uint32_t dataSize = 0;
    if (!tree.U32(entry, dataRva) || !tree.U32(uint64_t{entry} + 4, dataSize))
        return {};
    uint64_t blockOffset = 0;
    uint64_t available = 0;
    if (!MapRva(dataRva, blockOffset, available) || dataSize > available)
        return {};
    return StringInBlock(Bytes{bytes_.data() + blockOffset, dataSize}, id % 16);
}

namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::string FindLibraryFile(const std::string& fileName)
{
    if (fileName.empty())
        return {};
    std::error_code ec;
    std::vector<fs::path> folders;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        folders.push_back(exe.parent_path());
    const fs::path cwd = fs::current_path(ec);
    if (!ec)
        folders.push_back(cwd);
    for (const fs::path& folder : folders) {
        const fs::path candidate = folder / fileName;
        if (fs::is_regular_file(candidate, ec))
            return candidate.string();
        // Names are compared as Windows does, whatever their case
        // ("LANGUAGES.DLL", "languages.dll"); of several, the first by name.
        std::string found;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (SameNameIgnoringCase(name, fileName) && it->is_regular_file(ec) && (found.empty() || name < found))
                found = name;
        }
        if (!found.empty())
            return (folder / found).string();
    }
    return {};
}

}  // namespace platform
