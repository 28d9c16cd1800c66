// platform::ResourceLibrary on test DLLs built from tests/langdll/*.rc, and on damaged
// copies of them made here. Every damaged file must give nullptr from Load or, string
// by string, "" or the right text: never a crash (run under ASan too) and never garbage
// from outside the file.
#include "platform/ResourceLibrary.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using platform::FindLibraryFile;
using platform::ResourceLibrary;

namespace {

using Bytes = std::vector<uint8_t>;

std::string Dll(const std::string& name)
{
    return std::string(KVT_LANGDLL_DIR) + "/" + name;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteFile(path, Bytes(text.begin(), text.end()));
}

// The strings of Languages.rc (ids not listed are missing).
const std::map<uint32_t, std::string> kGood = {
    {0, "English"},
    {1, "&File"},
    {2, "E&xit"},
    {15, "Fifteen"},
    {16, "Sixteen"},
    {31, "Thirty-one"},
    {74, "Vantelox SMS Repeater Installation Utility"},
    {220, "Queueing Message"},
    {237, "minutes"},
    {300, "Quote \"in\" text, tab\tand 100%"},
    {308, "Last English text"},
    {309, "07"},
    {310, "Deutsch"},
    {311, "&Datei"},
    {312, "&Beenden"},
    {325, "Größe ändern: Äpfel, Öl, Übung, ß"},
    {384, "Warteschlange"},
    {619, "Deutsch Ende"},
    {620, "Ελληνικά"},
    {621, "Αρχείο"},
    {622, "日本語のテキスト"},
    {623, "Emoji \xF0\x9F\x98\x80 and \xF0\x9D\x84\x9E outside the BMP"},
    {929, "Τέλος"},
};

// Missing ids of Languages.rc: in present blocks, in absent blocks, beyond the table.
const std::vector<uint32_t> kMissing = {
    3, 14, 17, 30, 32, 47, 48, 73, 75, 307,  // language 0, in present and absent blocks
    313, 326, 383, 385, 618,                 // language 1
    624, 928,                                // language 2
    930, 931, 1000, 4095, 65535, 65536,      // no language
    16u * 65535, 16u * 65535 + 15,           // the last 16-bit block id
    16u * 65536, 0x7FFFFFFF, 0xFFFFFFFF,     // block ids beyond 16 bits
};

// What the program does: names at n*310 up to the first empty one.
std::vector<std::string> LanguageNames(const ResourceLibrary& library)
{
    std::vector<std::string> names;
    for (uint32_t n = 0; n < 100; ++n) {
        std::string name = library.LoadString(n * 310);
        if (name.empty())
            break;
        names.push_back(name);
    }
    return names;
}

bool IsValidUtf8(const std::string& s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<uint8_t>(s[i]);
        size_t more = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= s.size())
            return false;
        for (size_t k = 1; k <= more; ++k) {
            const auto d = static_cast<uint8_t>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (d & 0x3F);
        }
        const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

// Where the fields of a PE file lie, found by a plain walk of a file known to be good.
struct Layout {
    size_t peOffsetField = 0x3C;
    size_t coff = 0;           // COFF header
    size_t optional = 0;       // optional header
    size_t dirCountField = 0;  // NumberOfRvaAndSizes
    size_t resourceDir = 0;    // data directory 2: RVA, Size
    size_t rsrcHeader = 0;     // the section header holding the resources
    size_t root = 0;           // the root resource directory
    size_t typeEntry = 0;      // the root's entry for RT_STRING
    size_t blockDir = 0;       // the directory of string blocks
    size_t block1Dir = 0;      // the language directory of block 1 (ids 0..15)
    size_t block1Data = 0;     // its data entry: OffsetToData, Size
    size_t block1 = 0;         // its string data
};

uint16_t Get16(const Bytes& b, size_t off)
{
    return static_cast<uint16_t>(b.at(off) | b.at(off + 1) << 8);
}

uint32_t Get32(const Bytes& b, size_t off)
{
    return Get16(b, off) | static_cast<uint32_t>(Get16(b, off + 2)) << 16;
}

void Put16(Bytes& b, size_t off, uint16_t v)
{
    b.at(off) = static_cast<uint8_t>(v);
    b.at(off + 1) = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t off, uint32_t v)
{
    Put16(b, off, static_cast<uint16_t>(v));
    Put16(b, off + 2, static_cast<uint16_t>(v >> 16));
}

size_t EntryWithId(const Bytes& b, size_t dir, uint32_t id)
{
    const size_t count = Get16(b, dir + 12) + Get16(b, dir + 14);
    for (size_t i = 0; i < count; ++i)
        if (Get32(b, dir + 16 + 8 * i) == id)
            return dir + 16 + 8 * i;
    throw std::runtime_error("resource entry not found");
}

Layout FindLayout(const Bytes& b)
{
    Layout l;
    l.coff = Get32(b, l.peOffsetField) + 4;
    l.optional = l.coff + 20;
    const bool plus = Get16(b, l.optional) == 0x20B;
    l.dirCountField = l.optional + (plus ? 108 : 92);
    l.resourceDir = l.optional + (plus ? 112 : 96) + 16;
    const uint32_t rva = Get32(b, l.resourceDir);
    const size_t table = l.optional + Get16(b, l.coff + 16);
    auto toFile = [&](uint32_t r, size_t* header) -> size_t {
        for (size_t i = 0; i < Get16(b, l.coff + 2); ++i) {
            const size_t h = table + 40 * i;
            const uint32_t va = Get32(b, h + 12);
            if (r >= va && r < va + Get32(b, h + 16)) {
                if (header)
                    *header = h;
                return Get32(b, h + 20) + (r - va);
            }
        }
        throw std::runtime_error("rva not in a section");
    };
    l.root = toFile(rva, &l.rsrcHeader);
    l.typeEntry = EntryWithId(b, l.root, 6);
    l.blockDir = l.root + (Get32(b, l.typeEntry + 4) & 0x7FFFFFFF);
    l.block1Dir = l.root + (Get32(b, EntryWithId(b, l.blockDir, 1) + 4) & 0x7FFFFFFF);
    l.block1Data = l.root + Get32(b, l.block1Dir + 16 + 4);
    l.block1 = toFile(Get32(b, l.block1Data), nullptr);
    return l;
}

// Ids to read from damaged files, with their texts in the good file.
std::vector<std::pair<uint32_t, std::string>> Probes()
{
    std::vector<std::pair<uint32_t, std::string>> probes(kGood.begin(), kGood.end());
    for (uint32_t id : kMissing)
        probes.emplace_back(id, "");
    return probes;
}

class ResourceLibraryDamage : public ::testing::Test {
protected:
    void SetUp() override
    {
        good_ = ReadFile(Dll("Languages.dll"));
        ASSERT_GT(good_.size(), 512u);
        layout_ = FindLayout(good_);
        path_ = dir_.File("Languages.dll");
    }

    std::unique_ptr<ResourceLibrary> LoadBytes(const Bytes& bytes)
    {
        WriteFile(path_, bytes);
        return ResourceLibrary::Load(path_);
    }

    // Loads `bytes`; when that succeeds, every probe must read "" or its good text.
    // Returns how many probes read their good text (-1 for nullptr).
    int CheckEmptyOrGood(const Bytes& bytes, const std::string& what)
    {
        auto library = LoadBytes(bytes);
        if (!library)
            return -1;
        int good = 0;
        for (const auto& [id, text] : Probes()) {
            const std::string got = library->LoadString(id);
            EXPECT_TRUE(got.empty() || got == text) << what << ", id " << id << ": " << got;
            good += !text.empty() && got == text;
        }
        return good;
    }

    // A copy of the good file with `edit` applied; checks it as above.
    int CheckPatched(const std::function<void(Bytes&)>& edit, const std::string& what)
    {
        Bytes bytes = good_;
        edit(bytes);
        return CheckEmptyOrGood(bytes, what);
    }

    TempDir dir_;
    std::string path_;
    Bytes good_;
    Layout layout_;
};

// Changes the current directory for the scope.
class ChangeDir {
public:
    explicit ChangeDir(const std::string& dir) : old_(fs::current_path()) { fs::current_path(dir); }
    ~ChangeDir() { fs::current_path(old_); }
    ChangeDir(const ChangeDir&) = delete;
    ChangeDir& operator=(const ChangeDir&) = delete;

private:
    fs::path old_;
};

// A file that is removed at scope end.
class ScopedFile {
public:
    explicit ScopedFile(fs::path path) : path_(std::move(path)) { WriteText(path_.string(), "MZ"); }
    ~ScopedFile()
    {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

std::string UniqueName(const std::string& stem)
{
    return stem + "-" + std::to_string(getpid()) + ".dll";
}

}  // namespace

// ---- Good libraries ----

TEST(ResourceLibraryTest, ReadsEveryStringOfTheGoodLibrary)
{
    auto library = ResourceLibrary::Load(Dll("Languages.dll"));
    ASSERT_NE(library, nullptr);
    for (const auto& [id, text] : kGood)
        EXPECT_EQ(library->LoadString(id), text) << "id " << id;
}

TEST(ResourceLibraryTest, MissingStringsAreEmpty)
{
    auto library = ResourceLibrary::Load(Dll("Languages.dll"));
    ASSERT_NE(library, nullptr);
    for (uint32_t id : kMissing)
        EXPECT_EQ(library->LoadString(id), "") << "id " << id;
}

TEST(ResourceLibraryTest, LanguageListAndVersionSuffix)
{
    auto library = ResourceLibrary::Load(Dll("Languages.dll"));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(LanguageNames(*library),
              (std::vector<std::string>{"English", "Deutsch", "Ελληνικά"}));
    EXPECT_EQ(library->LoadString(309), "07");
}

TEST(ResourceLibraryTest, ReadsPe32WithZeroTerminatedStrings)
{
    // Languages32.dll: the same source as an x86 (PE32, magic 0x10B) file, built with
    // "rc /n", which stores each string with a terminating zero counted in its length.
    const Bytes bytes = ReadFile(Dll("Languages32.dll"));
    const Layout layout = FindLayout(bytes);
    ASSERT_EQ(Get16(bytes, layout.optional), 0x10B);
    ASSERT_EQ(Get16(bytes, layout.block1), 8);  // "English" + zero

    auto library = ResourceLibrary::Load(Dll("Languages32.dll"));
    ASSERT_NE(library, nullptr);
    for (const auto& [id, text] : kGood)
        EXPECT_EQ(library->LoadString(id), text) << "id " << id;
    for (uint32_t id : kMissing)
        EXPECT_EQ(library->LoadString(id), "") << "id " << id;
}

TEST(ResourceLibraryTest, ReadsEveryIdOfADenseLibrary)
{
    auto library = ResourceLibrary::Load(Dll("Dense.dll"));
    ASSERT_NE(library, nullptr);
    for (uint32_t id = 0; id < 930; ++id)
        ASSERT_EQ(library->LoadString(id),
                  "L" + std::to_string(id / 310) + " " + std::to_string(id % 310))
            << "id " << id;
    EXPECT_EQ(library->LoadString(930), "");
    std::string longText;
    for (int i = 0; i < 100; ++i)
        longText += "0123456789";
    EXPECT_EQ(library->LoadString(1000), longText);
    EXPECT_EQ(library->LoadString(1001), "");
}

TEST(ResourceLibraryTest, IncompleteLanguagesGiveEmptyStrings)
{
    auto library = ResourceLibrary::Load(Dll("Incomplete.dll"));
    ASSERT_NE(library, nullptr);
    // Language 2 has no name, so the list ends there although language 3 is named.
    EXPECT_EQ(LanguageNames(*library), (std::vector<std::string>{"English", "Français"}));
    EXPECT_EQ(library->LoadString(930), "Hidden");
    EXPECT_EQ(library->LoadString(621), "Sans nom");
    EXPECT_EQ(library->LoadString(309), "");  // no suffix: the program shows "00"
    EXPECT_EQ(library->LoadString(1), "File");
    EXPECT_EQ(library->LoadString(311), "Fichier");
    for (uint32_t id = 312; id < 352; ++id)
        EXPECT_EQ(library->LoadString(id), "") << "id " << id;
    EXPECT_EQ(library->LoadString(352), "Présent");
}

TEST(ResourceLibraryTest, FirstLanguageVersionOfABlockIsRead)
{
    auto library = ResourceLibrary::Load(Dll("Incomplete.dll"));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LoadString(400), "Deutsche Fassung");  // 0x407 sorts before 0x409
}

TEST(ResourceLibraryTest, LoadsTheWholeFileAndDoesNotKeepItOpen)
{
    TempDir dir;
    const std::string path = dir.File("Languages.dll");
    WriteFile(path, ReadFile(Dll("Languages.dll")));
    auto library = ResourceLibrary::Load(path);
    ASSERT_NE(library, nullptr);
    fs::remove(path);
    EXPECT_EQ(library->LoadString(0), "English");
    EXPECT_EQ(library->LoadString(620), "Ελληνικά");
}

// ---- Files that are no language library ----

TEST(ResourceLibraryTest, MissingOrForeignFilesGiveNullptr)
{
    TempDir dir;
    EXPECT_EQ(ResourceLibrary::Load(dir.File("NoSuchFile.dll")), nullptr);
    EXPECT_EQ(ResourceLibrary::Load(""), nullptr);
    EXPECT_EQ(ResourceLibrary::Load(dir.Path()), nullptr);  // a folder

    WriteText(dir.File("empty.dll"), "");
    EXPECT_EQ(ResourceLibrary::Load(dir.File("empty.dll")), nullptr);
    WriteText(dir.File("text.dll"), "This is a text file, not a library.\n0 \"English\"\n");
    EXPECT_EQ(ResourceLibrary::Load(dir.File("text.dll")), nullptr);
    WriteText(dir.File("mz.dll"), "MZ");
    EXPECT_EQ(ResourceLibrary::Load(dir.File("mz.dll")), nullptr);
    WriteFile(dir.File("zeros.dll"), Bytes(4096, 0));
    EXPECT_EQ(ResourceLibrary::Load(dir.File("zeros.dll")), nullptr);
    Bytes ff(4096, 0xFF);
    ff[0] = 'M';
    ff[1] = 'Z';
    WriteFile(dir.File("ff.dll"), ff);
    EXPECT_EQ(ResourceLibrary::Load(dir.File("ff.dll")), nullptr);
}

TEST_F(ResourceLibraryDamage, NoResourceDirectoryGivesNullptr)
{
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, layout_.resourceDir, 0); }, "rva 0"), -1);
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, layout_.resourceDir + 4, 0); }, "size 0"), -1);
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, layout_.dirCountField, 2); }, "2 directories"),
              -1);
}

// ---- Damaged files ----

TEST_F(ResourceLibraryDamage, TheUntouchedCopyReadsWell)
{
    EXPECT_EQ(CheckEmptyOrGood(good_, "good"), static_cast<int>(kGood.size()));
}

TEST_F(ResourceLibraryDamage, TruncatedAtEveryLength)
{
    int loaded = 0;
    for (size_t length = 0; length < good_.size(); ++length) {
        const int good = CheckEmptyOrGood(Bytes(good_.begin(), good_.begin() + length),
                                          "truncated to " + std::to_string(length));
        loaded += good >= 0;
    }
    EXPECT_GT(loaded, 0);  // some cut-offs keep the headers and part of the resources
    // Cut within the strings of block 1: its Size reaches past the end, so none of it reads.
    const size_t afterFirst = layout_.block1 + 2 + 2 * 7;  // "English"
    auto library = LoadBytes(Bytes(good_.begin(), good_.begin() + afterFirst + 1));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LoadString(0), "");
}

TEST_F(ResourceLibraryDamage, DenseLibraryTruncatedEverySevenBytes)
{
    const Bytes dense = ReadFile(Dll("Dense.dll"));
    for (size_t length = 0; length < dense.size(); length += 7) {
        WriteFile(path_, Bytes(dense.begin(), dense.begin() + length));
        auto library = ResourceLibrary::Load(path_);
        if (!library)
            continue;
        for (uint32_t id = 0; id < 930; id += 13) {
            const std::string got = library->LoadString(id);
            const std::string want =
                "L" + std::to_string(id / 310) + " " + std::to_string(id % 310);
            EXPECT_TRUE(got.empty() || got == want) << length << ", id " << id << ": " << got;
        }
    }
}

TEST_F(ResourceLibraryDamage, HeaderFieldsOutOfRange)
{
    const size_t size = good_.size();
    for (uint32_t v : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u, static_cast<uint32_t>(size),
                       static_cast<uint32_t>(size - 2), 0u}) {
        EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, layout_.peOffsetField, v); }, "e_lfanew"),
                  -1)
            << v;
    }
    // NumberOfSections: too many for the file, or none to map the resources.
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put16(b, layout_.coff + 2, 0xFFFF); }, "sections"), -1);
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put16(b, layout_.coff + 2, 0); }, "sections"), -1);
    // SizeOfOptionalHeader: too small for the data directories, or past the file.
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put16(b, layout_.coff + 16, 0); }, "optional"), -1);
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put16(b, layout_.coff + 16, 0xFFFF); }, "optional"), -1);
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put16(b, layout_.optional, 0x107); }, "magic"), -1);
    EXPECT_EQ(CheckPatched([&](Bytes& b) { b[layout_.coff - 2] = 'X'; }, "signature"), -1);
    // Resource directory RVA outside every section.
    for (uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, 1u})
        EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, layout_.resourceDir, v); }, "rva"), -1)
            << v;
    // A huge resource Size is clipped to the section: the strings still read.
    EXPECT_EQ(
        CheckPatched([&](Bytes& b) { Put32(b, layout_.resourceDir + 4, 0xFFFFFFFF); }, "size"),
        static_cast<int>(kGood.size()));
    // A resource Size too small for the tree: whatever lies past it reads "".
    EXPECT_LT(CheckPatched([&](Bytes& b) { Put32(b, layout_.resourceDir + 4, 40); }, "size 40"),
              static_cast<int>(kGood.size()));
}

TEST_F(ResourceLibraryDamage, SectionHeaderOutOfRange)
{
    const size_t h = layout_.rsrcHeader;
    // PointerToRawData past the file: the section holds nothing.
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, h + 20, 0xFFFFFFFF); }, "raw offset"), -1);
    // SizeOfRawData and VirtualSize huge: clipped to the file.
    EXPECT_EQ(CheckPatched(
                  [&](Bytes& b) {
                      Put32(b, h + 16, 0xFFFFFFFF);
                      Put32(b, h + 8, 0xFFFFFFFF);
                  },
                  "raw size"),
              static_cast<int>(kGood.size()));
    // SizeOfRawData 0, or VirtualAddress moved away from the resource RVA.
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, h + 16, 0); }, "raw size 0"), -1);
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, h + 12, 0xFFFFF000); }, "va"), -1);
    // VirtualAddress near the top of the 32-bit range with a huge size: no wrap-around.
    for (uint32_t va : {0xFFFFFFFFu, 0xFFFFF000u, 0x80000000u}) {
        CheckPatched(
            [&](Bytes& b) {
                Put32(b, h + 12, va);
                Put32(b, h + 16, 0xFFFFFFFF);
                Put32(b, h + 8, 0);
            },
            "va wrap");
    }
}

TEST_F(ResourceLibraryDamage, DirectoryCountsOutOfRange)
{
    for (size_t dir : {layout_.root, layout_.blockDir, layout_.block1Dir}) {
        for (size_t field : {dir + 12, dir + 14}) {
            for (uint16_t v : {uint16_t{0xFFFF}, uint16_t{0x8000}, uint16_t{0x1000}})
                CheckPatched([&](Bytes& b) { Put16(b, field, v); }, "count");
        }
    }
    // No entries in the root: nothing reads.
    EXPECT_EQ(CheckPatched(
                  [&](Bytes& b) {
                      Put16(b, layout_.root + 12, 0);
                      Put16(b, layout_.root + 14, 0);
                  },
                  "empty root"),
              0);
    // Huge counts in the block directory: the entries would run past the tree.
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put16(b, layout_.blockDir + 14, 0xFFFF); }, "huge"), 0);
}

TEST_F(ResourceLibraryDamage, DirectoryOffsetsOutOfRangeOrLooping)
{
    const size_t offsetField = layout_.typeEntry + 4;
    for (uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u /* the root itself: a loop */,
                       0x8000FFFFu, 0x0u /* a data entry, not a directory */}) {
        EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, offsetField, v); }, "type offset"), 0) << v;
    }
    // The block directory's entries pointing back at the block directory itself.
    const uint32_t self = 0x80000000u | static_cast<uint32_t>(layout_.blockDir - layout_.root);
    EXPECT_EQ(CheckPatched(
                  [&](Bytes& b) {
                      const size_t count =
                          Get16(b, layout_.blockDir + 12) + Get16(b, layout_.blockDir + 14);
                      for (size_t i = 0; i < count; ++i)
                          Put32(b, layout_.blockDir + 16 + 8 * i + 4, self);
                  },
                  "loop"),
              0);
    // The language entry of block 1 pointing to a directory instead of a data entry.
    CheckPatched([&](Bytes& b) { Put32(b, layout_.block1Dir + 20, 0x80000000u); }, "lang dir");
}

TEST_F(ResourceLibraryDamage, EntriesOfTheWrongKind)
{
    // Each level must hold what it should: directories under the type and the block,
    // a data entry under the language. The right offsets with the wrong flag read "".
    const size_t typeField = layout_.typeEntry + 4;
    EXPECT_EQ(CheckPatched([&](Bytes& b) { Put32(b, typeField, Get32(b, typeField) & 0x7FFFFFFF); },
                           "type as data"),
              0);

    const size_t blockField = layout_.blockDir + 16 + 4;  // the first block: block 1
    ASSERT_EQ(Get32(good_, layout_.blockDir + 16), 1u);
    auto library = LoadBytes([&] {
        Bytes b = good_;
        Put32(b, blockField, Get32(b, blockField) & 0x7FFFFFFF);
        return b;
    }());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LoadString(0), "");
    EXPECT_EQ(library->LoadString(16), "Sixteen");

    const size_t langField = layout_.block1Dir + 16 + 4;
    library = LoadBytes([&] {
        Bytes b = good_;
        Put32(b, langField, Get32(b, langField) | 0x80000000u);
        return b;
    }());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LoadString(0), "");
    EXPECT_EQ(library->LoadString(16), "Sixteen");
}

TEST_F(ResourceLibraryDamage, DataEntryOutOfRange)
{
    const size_t entry = layout_.block1Data;
    for (uint32_t v : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u, 0u}) {
        CheckPatched([&](Bytes& b) { Put32(b, entry, v); }, "data rva");
        auto library = LoadBytes([&] {
            Bytes b = good_;
            Put32(b, entry, v);
            return b;
        }());
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(library->LoadString(0), "") << v;
        EXPECT_EQ(library->LoadString(16), "Sixteen");  // another block
    }
    for (uint32_t v : {0xFFFFFFFFu, 0x80000000u, 0x10000u, 0u, 1u, 2u}) {
        auto library = LoadBytes([&] {
            Bytes b = good_;
            Put32(b, entry + 4, v);
            return b;
        }());
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(library->LoadString(0), "") << v;
        EXPECT_EQ(library->LoadString(15), "") << v;
        EXPECT_EQ(library->LoadString(16), "Sixteen");
    }
    // Size ending inside the strings: those before the end still read.
    auto library = LoadBytes([&] {
        Bytes b = good_;
        Put32(b, entry + 4, 2 + 2 * 7 + 2 + 2 * 5);  // "English", "&File"
        return b;
    }());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LoadString(0), "English");
    EXPECT_EQ(library->LoadString(1), "&File");
    EXPECT_EQ(library->LoadString(2), "");
    EXPECT_EQ(library->LoadString(15), "");
}

TEST_F(ResourceLibraryDamage, StringLengthsOutOfRange)
{
    const size_t first = layout_.block1;  // length of "English"
    for (uint16_t v : {uint16_t{0xFFFF}, uint16_t{0x8000}, uint16_t{0x0800}}) {
        auto library = LoadBytes([&] {
            Bytes b = good_;
            Put16(b, first, v);
            return b;
        }());
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(library->LoadString(0), "") << v;
        EXPECT_EQ(library->LoadString(1), "") << v;
        EXPECT_EQ(library->LoadString(15), "") << v;
        EXPECT_EQ(library->LoadString(16), "Sixteen");
        EXPECT_EQ(library->LoadString(309), "07");
    }
    // The length of string 15 ("Fifteen"), the last of the block, made huge.
    size_t pos = first;
    for (int i = 0; i < 15; ++i)
        pos += 2 + 2 * Get16(good_, pos);
    ASSERT_EQ(Get16(good_, pos), 7);
    auto library = LoadBytes([&] {
        Bytes b = good_;
        Put16(b, pos, 0xFFFF);
        return b;
    }());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LoadString(15), "");
    EXPECT_EQ(library->LoadString(0), "English");
    EXPECT_EQ(library->LoadString(2), "E&xit");
}

TEST_F(ResourceLibraryDamage, UnpairedSurrogatesBecomeReplacementCharacters)
{
    const size_t text = layout_.block1 + 2;  // the units of "English"
    const std::string fffd = "\xEF\xBF\xBD";
    auto withUnits = [&](std::vector<std::pair<size_t, uint16_t>> units) {
        Bytes b = good_;
        for (auto [index, unit] : units)
            Put16(b, text + 2 * index, unit);
        return LoadBytes(b);
    };
    auto lib = withUnits({{1, 0xD800}});  // high surrogate followed by a letter
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->LoadString(0), "E" + fffd + "glish");
    lib = withUnits({{1, 0xDC00}});  // a lone low surrogate
    EXPECT_EQ(lib->LoadString(0), "E" + fffd + "glish");
    lib =
        withUnits({{6, 0xD83D}});  // high surrogate as the last unit: the next length is no partner
    EXPECT_EQ(lib->LoadString(0), "Englis" + fffd);
    lib = withUnits({{6, 0xD83D}, {7, 0xDC00}});  // ... even when the next length looks like one
    EXPECT_EQ(lib->LoadString(0), "Englis" + fffd);
    EXPECT_EQ(lib->LoadString(1), "");            // 0xDC00 units do not fit in the block
    lib = withUnits({{1, 0xDE00}, {2, 0xD83D}});  // low before high: both unpaired
    EXPECT_EQ(lib->LoadString(0), "E" + fffd + fffd + "lish");
    lib = withUnits({{1, 0xD83D}, {2, 0xDE00}});  // a proper pair: U+1F600
    EXPECT_EQ(lib->LoadString(0), "E\xF0\x9F\x98\x80lish");
    lib = withUnits({{3, 0x0000}});  // a zero ends the text
    EXPECT_EQ(lib->LoadString(0), "Eng");
    EXPECT_EQ(lib->LoadString(1), "&File");
}

TEST_F(ResourceLibraryDamage, EverySingleByteCorruptionIsSafe)
{
    // Each byte of the file set to a few values: nothing may crash or read outside the
    // file, and every string read is valid UTF-8 (its text may change: this is the data).
    for (size_t off = 0; off < good_.size(); ++off) {
        for (uint8_t v : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x80},
                          static_cast<uint8_t>(good_[off] ^ 0x01)}) {
            if (v == good_[off])
                continue;
            Bytes b = good_;
            b[off] = v;
            auto library = LoadBytes(b);
            if (!library)
                continue;
            for (const auto& [id, text] : Probes()) {
                const std::string got = library->LoadString(id);
                ASSERT_TRUE(IsValidUtf8(got)) << "offset " << off << ", id " << id;
            }
        }
    }
}

// ---- FindLibraryFile ----

TEST(ResourceLibraryFind, MissingFileGivesEmpty)
{
    EXPECT_EQ(FindLibraryFile(UniqueName("KvtNoSuchLibrary")), "");
    EXPECT_EQ(FindLibraryFile(""), "");
}

TEST(ResourceLibraryFind, FallsBackToTheCurrentDirectory)
{
    TempDir dir;
    const std::string name = UniqueName("KvtCwdLibrary");
    WriteFile(dir.File(name), ReadFile(Dll("Languages.dll")));
    fs::create_directory(dir.File("KvtFolder.dll"));
    std::string found;
    std::string folder;
    {
        ChangeDir cd(dir.Path());
        found = FindLibraryFile(name);
        folder = FindLibraryFile("KvtFolder.dll");
    }
    ASSERT_FALSE(found.empty());
    EXPECT_TRUE(fs::equivalent(found, dir.File(name)));
    EXPECT_TRUE(fs::path(found).is_absolute());  // still right after a change of directory
    EXPECT_EQ(folder, "");                       // a folder is no library file
    auto library = ResourceLibrary::Load(found);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LoadString(0), "English");
}

TEST(ResourceLibraryFind, TheExecutablesFolderComesFirst)
{
    const fs::path exeDir = fs::read_symlink("/proc/self/exe").parent_path();
    const std::string name = UniqueName("KvtExeLibrary");
    ScopedFile besideExe(exeDir / name);
    TempDir dir;
    WriteText(dir.File(name), "MZ");
    std::string found;
    {
        ChangeDir cd(dir.Path());
        found = FindLibraryFile(name);
    }
    ASSERT_FALSE(found.empty());
    EXPECT_TRUE(fs::equivalent(found, besideExe.Path()));
}

TEST(ResourceLibraryFind, TheNamesCaseDoesNotMatter)
{
    const std::string name = UniqueName("KvtCaseLibrary");
    auto upper = name, lower = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    for (const std::string& stored : {upper, lower}) {
        TempDir dir;
        WriteText(dir.File(stored), "MZ");
        std::string found;
        {
            ChangeDir cd(dir.Path());
            found = FindLibraryFile(name);
        }
        ASSERT_FALSE(found.empty()) << stored;
        EXPECT_EQ(fs::path(found).filename().string(), stored);
    }
}

TEST(ResourceLibraryFind, TheExactNameWinsAndAFolderNeverCounts)
{
    const std::string name = UniqueName("KvtCaseLibrary");
    auto upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    TempDir dir;
    fs::create_directory(dir.File(upper));
    std::string found;
    {
        ChangeDir cd(dir.Path());
        found = FindLibraryFile(name);
    }
    EXPECT_EQ(found, "") << "a folder of that name is no library";
    WriteText(dir.File(name), "MZ");
    {
        ChangeDir cd(dir.Path());
        found = FindLibraryFile(name);
    }
    EXPECT_EQ(fs::path(found).filename().string(), name);
}
