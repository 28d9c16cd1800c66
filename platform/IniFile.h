#pragma once
// Stand-in for the framework class TIniFile over the Windows profile-file
// functions (GetPrivateProfileString & co.), for files that users exchange
// with Windows PCs: configuration files and port settings.
//
// Reading, as Windows does:
// - Section and key names compare case-insensitively (Windows-1252 letters,
//   so "É" equals "é"); the first matching section and, inside it, the first
//   matching key win; keys of a later duplicate section are not seen.
// - Lines are trimmed at both ends; the key is trimmed before '=', the value
//   after it. A value of two or more characters that starts and ends with
//   the same quote character (' or ") loses both quotes. No escapes: a
//   backslash is an ordinary character.
// - A line whose first non-blank character is ';' is a comment; ';' anywhere
//   else is data. A line without '=' is a key with no value: as on Windows
//   it is not listed by ReadSection, ValueExists is false for it and reading
//   it gives the default, but writing that key gives it a value in place.
// - Lines end with CRLF, LF or CR. A "[...]" line names a section: the text
//   between '[' and the last ']', trimmed.
// - Integers: see platform::ParseIniInteger.
// Writing:
// - "key=value" with CRLF and no blanks around '='. Writing a key that
//   exists replaces its line (the key keeps its spelling); a new key goes
//   right after the last key line of its section (so before trailing blank
//   or comment lines); a new section goes at the end of the file, after a
//   blank line. Every other line is kept byte for byte.
// - Each Write/Delete/Erase reads the file afresh, applies the change and,
//   when the bytes differ, replaces the file at once, atomically (temporary
//   file in the same folder, fsync, rename), keeping its permissions (and
//   owner, where allowed) and writing through a symbolic link to its target.
//   So two objects on one file do not undo each other's changes. Failures
//   raise EIniFileException with the file name and the system's error.
// - Values and names that a profile file cannot hold raise
//   EIniFileException: line breaks or NUL anywhere, an empty section or key
//   name, a key name with '=' or starting with ';' or '['. Leading and
//   trailing blanks of a value, and a pair of quotes around it, are written
//   as given and so, as on Windows, do not survive a read.
// Text: the API speaks UTF-8. A file without a byte-order mark is
// Windows-1252: every byte maps to a character (the five bytes that cp1252
// leaves undefined map to U+0081, U+008D, U+008F, U+0090, U+009D), so any
// content round-trips; what the program writes is cp1252, a character that
// cp1252 lacks (or invalid UTF-8) becoming '?'. A file with a byte-order
// mark (UTF-8, or UTF-16 LE or BE, Notepad's "Unicode") keeps it and its
// encoding: what the program writes goes in whole, in that encoding (only
// invalid UTF-8 becomes '?'), and every line it does not write keeps its
// exact bytes, also bytes that are not valid in that encoding. Such a byte
// of a UTF-8 file (a hand edit in an ANSI editor: "caf\xE9") reads as its
// cp1252 character, a lone UTF-16 surrogate as U+FFFD; writing a key the
// value it reads as leaves its line alone. Names compare case-insensitively
// as in a cp1252 file, whatever the encoding.
// Reads use the content loaded at construction plus what this object's
// writes found and left in the file. Sections and keys are indexed: a
// lookup or a change inside BeginUpdate costs the same in a file of any size.
// Many changes, one write: between BeginUpdate and UpdateFile, writes change
// only this object's copy, and UpdateFile replaces the file once.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/Exception.h"
#include <string>
#include <vector>

// A std::runtime_error, through the program's base Exception (as in the
// framework, where it derives from Exception).
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

namespace platform {
// An integer value of a settings file, as this program reads it (not as the
// Windows profile functions would, which read "42A" as 42 and "abc" as 0: a
// damaged file must not turn a size or a timeout into 0). Blanks around the
// text are ignored; the rest must be one of
//   decimal:      an optional '-' and digits, within -2147483648..2147483647;
//   hexadecimal:  "0x" or "0X" and hex digits, within 0..0xFFFFFFFF, taken as
//                 32 bits two's complement ("0xFFFFFFFF" is -1), which is how
//                 the other system writes masks with the top bit set.
// Anything else ("", "abc", "42A", "+1", "-0x1", "4294967295") is no number.
std::optional<int32_t> ParseIniInteger(std::string_view text);
}  // namespace platform

class TIniFile {
public:
    // A missing or unreadable file reads as an empty file; never throws.
    explicit TIniFile(const std::string& fileName);
    ~TIniFile();

    // 0 when the constructor read the file, else the errno of the failure
    // (ENOENT for a file that does not exist).
    int ReadError() const { return readError_; }

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def);
    // The value read by platform::ParseIniInteger (after the quotes are
    // stripped); a missing key, a key with no value or a value that is not
    // a whole number gives def.
    int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def);
    bool ReadBool(const std::string& section, const std::string& ident, bool def);

    void WriteString(const std::string& section, const std::string& ident,
                     const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
    void WriteBool(const std::string& section, const std::string& ident, bool value);  // "1"/"0"

    // True when a "[section]" line exists (even with no keys).
    bool SectionExists(const std::string& section);
    // True when the key exists in the section with a value (possibly empty).
    bool ValueExists(const std::string& section, const std::string& ident);
    // The keys (with values) of the first matching section, in file order.
    void ReadSection(const std::string& section, std::vector<std::string>& idents);
    // Every section name, in file order (duplicates included, as on Windows).
    void ReadSections(std::vector<std::string>& sections);
    // Deletes the first matching key of the first matching section.
    void DeleteKey(const std::string& section, const std::string& ident);
    // Deletes every line of the key in the first matching section but the
    // first, which is the one read and written: a file edited by hand may
    // hold a key twice.
    void DeleteLaterCopies(const std::string& section, const std::string& ident);
    // Deletes the first matching section: its "[...]" line and every line up
    // to the next section (as on Windows, comments in it go too).
    void EraseSection(const std::string& section);
    // From here on, Write/Delete/Erase change only this object's copy of
    // the file, read afresh now (a missing file is an empty one; one that
    // cannot be read raises EIniFileException). Nothing reaches the disk
    // until UpdateFile; an object destroyed before it leaves the file alone.
    void BeginUpdate();
    // Ends BeginUpdate: when anything changed, the file is replaced once,
    // atomically (EIniFileException on failure, and the file stays as it
    // was). Outside BeginUpdate every change is already on disk and this
    // does nothing.
    void UpdateFile();

    struct Line {
        // Without the line end: a cp1252 file's bytes; a Unicode file's
        // text as UTF-8 (with its stray bytes, which give back its bytes).
        std::string text;
        std::string eol;   // "\r\n", "\n", "\r" or "" (last line)
    };

private:
    struct Doc;
    template <typename Change>
    void Modify(Change&& change);

    std::string fileName_;
    std::unique_ptr<Doc> doc_;
    int readError_ = 0;
    bool batch_ = false;  // inside BeginUpdate .. UpdateFile
    bool dirty_ = false;  // the batch changed the document
};
