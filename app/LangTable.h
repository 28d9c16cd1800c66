#pragma once
// The program's text ids with their English texts: the one place the English
// wording lives. Every user-visible text is fetched by id (GetLangString); a
// language library supplies the same id at offset id of its block, and the
// English text here is what shows when it has none.
//
// Some ids have more than one English text: callers of the same id differ in
// accelerator letter, capitalisation or wording. Each caller picks its own
// variant (0 = the first); a library has one text per id, which all of them show.
#include <array>
#include <cstdint>
#include <span>

// Strings per language block of the library; also the size of TformMain::langStrings.
inline constexpr int kLangStringCount = 310;
// Offset 0 of a block names the language; id 309 (offset 309 of block 0) is the
// language-pack version suffix. Neither is a text of the program.
inline constexpr int kLangNameOffset = 0;
inline constexpr int kLangSuffixId = 309;

struct TLangEntry {
    int id;
    std::array<const char*, 3> english; // the variants in use; unused slots are null
};

// Every id that names a text, ascending (ids 1..308 except the five no caller uses).
std::span<const TLangEntry> LangTableEntries();

// The entry of `id`; null when no text uses that id.
const TLangEntry* FindLangEntry(int id);

// English variant `variant` of `id`; "" when the id or the variant does not exist.
const char* EnglishText(int id, int variant = 0);
