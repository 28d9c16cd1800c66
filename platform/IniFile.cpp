#include "platform/IniFile.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <list>
#include <memory>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Line = TIniFile::Line;

// ------------------------------------------------------------ Windows-1252

// Unicode of the bytes 0x80..0x9F; the five bytes cp1252 leaves undefined
// map to the C1 control of the same number, so every byte round-trips.
const char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t FromCp1252(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b;
}

std::string Cp1252ToUtf8(std::string_view in)
{
    std::string out;
    out.reserve(in.size() + in.size() / 4);
    for (unsigned char b : in) {
        if (b < 0x80)
            out += static_cast<char>(b);
        else
            AppendUtf8(out, FromCp1252(b));
    }
    return out;
}

// The cp1252 byte of a character; none when cp1252 lacks it.
std::optional<char> FromUnicode(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c)
            return static_cast<char>(0x80 + i);
    return std::nullopt;
}

bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// The length of the UTF-8 sequence at `i` and its character in `c`; 0 when
// the byte there starts no valid sequence (overlong forms and values past
// U+10FFFF are invalid; surrogates only when `surrogates` is false).
size_t Utf8At(std::string_view in, size_t i, char32_t& c, bool surrogates = false)
{
    const auto b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
        c = b;
        return 1;
    }
    const size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > in.size())
        return 0;
    c = len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < len; ++k) {
        const auto t = static_cast<unsigned char>(in[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (t & 0x3F);
    }
    if ((len == 2 && c < 0x80) || (len == 3 && c < 0x800) || (len == 4 && c < 0x10000) || c > 0x10FFFF ||
        (!surrogates && IsSurrogate(c)))
        return 0;
    return len;
}

// Each character of UTF-8 passed to `put` with its bytes; one '?' for each
// byte that is not valid UTF-8.
template <typename Put>
std::string MapUtf8(std::string_view in, Put put)
{
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char32_t c = 0;
        const size_t len = Utf8At(in, i, c);
        if (len == 0) {
            out += '?';
            ++i;
            continue;
        }
        put(out, c, in.substr(i, len));
        i += len;
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view in)
{
    return MapUtf8(in, [](std::string& out, char32_t c, std::string_view) { out += FromUnicode(c).value_or('?'); });
}

// The program's UTF-8 as it goes into a Unicode file: each byte that is not
// valid UTF-8 becomes '?', as it does in a cp1252 file.
std::string ValidUtf8(std::string_view in)
{
    return MapUtf8(in, [](std::string& out, char32_t, std::string_view bytes) { out.append(bytes); });
}

// ------------------------------------------------------------ file encodings

// Files from Windows PCs are ANSI (Windows-1252) as a rule, but an editor
// may have saved one as UTF-8 or UTF-16 with a byte-order mark. A cp1252
// file's lines are held as its bytes. A Unicode file's lines are held as
// UTF-8, in a form that gives back its exact bytes: a UTF-8 file's bytes as
// they are, valid or not (a hand edit in an ANSI editor leaves cp1252 bytes
// in one), and a UTF-16 file's units with a lone surrogate as the three
// bytes UTF-8 would give it. Such a byte reads as its cp1252 character, a
// lone surrogate as U+FFFD.
enum class Encoding { Ansi, Utf8, Utf16LE, Utf16BE };

const std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A held Unicode line's text as the program's UTF-8.
std::string HeldToUtf8(std::string_view in)
{
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char32_t c = 0;
        const size_t len = Utf8At(in, i, c, true);
        if (len == 0) {
            AppendUtf8(out, FromCp1252(static_cast<unsigned char>(in[i])));
            ++i;
            continue;
        }
        if (IsSurrogate(c))
            AppendUtf8(out, 0xFFFD);
        else
            out.append(in.substr(i, len));
        i += len;
    }
    return out;
}

// The file's bytes as held lines' text, and the encoding they were in; an
// odd last byte of a UTF-16 file goes to `tail`.
std::string Decode(std::string_view data, Encoding& encoding, std::string& tail)
{
    encoding = Encoding::Ansi;
    tail.clear();
    if (data.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        encoding = Encoding::Utf8;
        return std::string(data.substr(kUtf8Bom.size()));
    }
    if (data.size() < 2 || !((data[0] == '\xFF' && data[1] == '\xFE') || (data[0] == '\xFE' && data[1] == '\xFF')))
        return std::string(data);
    encoding = data[0] == '\xFF' ? Encoding::Utf16LE : Encoding::Utf16BE;
    const bool little = encoding == Encoding::Utf16LE;
    auto unit = [&](size_t i) {
        const auto lo = static_cast<unsigned char>(data[little ? i : i + 1]);
        const auto hi = static_cast<unsigned char>(data[little ? i + 1 : i]);
        return static_cast<char32_t>(hi << 8 | lo);
    };
    std::string out;
    out.reserve(data.size() / 2);
    size_t i = 2;
    for (; i + 1 < data.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < data.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, c);
    }
    tail = data.substr(i);
    return out;
}

std::string Encode(const std::string& text, Encoding encoding, const std::string& tail)
{
    if (encoding == Encoding::Ansi)
        return text;
    if (encoding == Encoding::Utf8)
        return std::string(kUtf8Bom) + text;
    const bool little = encoding == Encoding::Utf16LE;
    std::string out;
    out.reserve(2 * text.size() + 2 + tail.size());
    auto put = [&](char32_t c) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += little ? lo : hi;
        out += little ? hi : lo;
    };
    put(0xFEFF);
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const size_t len = Utf8At(text, i, c, true);
        if (len == 0) {
            put(FromCp1252(static_cast<unsigned char>(text[i])));
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
        i += len;
    }
    return out + tail;
}

// Case folding of Windows-1252 letters (ASCII, Latin-1 and Š Œ Ž Ÿ).
unsigned char Fold(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
    }
}

// The same folding for the UTF-8 of a Unicode file, so that names match as
// they would in a cp1252 file; characters that cp1252 lacks stay as they are.
std::string FoldUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        const size_t len = Utf8At(utf8, i, c);
        if (len == 0) {  // not from HeldToUtf8 or ValidUtf8; kept
            out += utf8[i++];
            continue;
        }
        if (const auto b = FromUnicode(c))
            AppendUtf8(out, FromCp1252(Fold(static_cast<unsigned char>(*b))));
        else
            out.append(utf8.substr(i, len));
        i += len;
    }
    return out;
}

// ------------------------------------------------------------------ lines

bool IsBlank(char c)
{
    // The Windows reader's blanks; 0x1A is the old end-of-file mark.
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A' || c == '\r' ||
           c == '\n';
}

std::string_view TrimView(std::string_view s)
{
    size_t a = 0, b = s.size();
    while (a < b && IsBlank(s[a]))
        ++a;
    while (b > a && IsBlank(s[b - 1]))
        --b;
    return s.substr(a, b - a);
}

std::string Trim(const std::string& s)
{
    return std::string(TrimView(s));
}

enum class Kind { Blank, Comment, Section, Key, KeyNoValue };

// Views into the line's text: valid while that line is unchanged. Parsing
// copies nothing, as every lookup parses the lines it passes.
struct Parsed {
    Kind kind = Kind::Blank;
    std::string_view name;   // section or key name, trimmed (raw bytes)
    std::string_view value;  // raw value, trimmed (Key only)
};

Parsed ParseLine(std::string_view text)
{
    Parsed p;
    const std::string_view t = TrimView(text);
    if (t.empty())
        return p;
    if (t[0] == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    if (t[0] == '[') {
        size_t close = t.rfind(']');
        if (close != std::string::npos) {
            p.kind = Kind::Section;
            p.name = TrimView(t.substr(1, close - 1));
            return p;
        }
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
        p.kind = Kind::KeyNoValue;
        p.name = t;
        return p;
    }
    p.kind = Kind::Key;
    p.name = TrimView(t.substr(0, eq));
    p.value = TrimView(t.substr(eq + 1));
    return p;
}

std::string StripQuotes(std::string_view v)
{
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        return std::string(v.substr(1, v.size() - 2));
    return std::string(v);
}

// ------------------------------------------------------------- file access

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

std::string ReadFailureText(int err)
{
    return err == EINVAL ? std::string("it is not a regular file") : "reading it failed: " + ErrnoText(err);
}

// Reads the whole file; false with errno set on failure (ENOENT included;
// EINVAL for a FIFO, a device or a socket, which are never waited on).
bool ReadFileBytes(const std::string& path, std::string& data)
{
    if (const int err = platform::ReadRegularFile(path, data)) {
        errno = err;
        return false;
    }
    return true;
}

// Replaces the file atomically; throws EIniFileException.
void WriteFileAtomically(const std::string& fileName, const std::string& data)
{
    auto error = [&](const std::string& step, int err) {
        return EIniFileException("Cannot write the ini file \"" + fileName + "\": " + step + ": " +
                                 ErrnoText(err));
    };

    // stat and access follow a symbolic link, so these look at its target,
    // which is what gets replaced.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            throw error("it is not a regular file", S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        // A read-only file is refused, as on Windows, also for a user (such
        // as root) whom the system would let replace it by a rename.
        if ((st.st_mode & 0222) == 0 || ::access(fileName.c_str(), W_OK) != 0)
            throw error("the file is read-only", EACCES);
    }

    platform::AtomicWriteOptions options;
    options.newFileMode = 0666;  // less the umask, as for any new file
    options.followSymlink = true;
    options.keepOwner = true;
    options.permissionsRequired = true;
    if (const platform::AtomicWriteError failed = platform::WriteFileAtomically(fileName, data, options)) {
        if (failed.step == platform::AtomicWriteStep::CreateTemporary)
            throw error("cannot create a file in its folder", failed.error);
        throw error(failed.StepText(), failed.error);
    }
}

bool HasLineBreakOrNul(const std::string& s)
{
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// The checks look at the program's UTF-8: the characters they look for are
// ASCII, which every encoding of the file keeps as they are.
void CheckSection(const std::string& fileName, const std::string& section)
{
    if (TrimView(section).empty() || HasLineBreakOrNul(section))
        throw EIniFileException("Cannot write the ini file \"" + fileName +
                                "\": invalid section name \"" + section + "\"");
}

void CheckIdent(const std::string& fileName, const std::string& ident)
{
    const std::string_view k = TrimView(ident);
    if (k.empty() || HasLineBreakOrNul(ident) || k.find('=') != std::string::npos ||
        k[0] == ';' || k[0] == '[')
        throw EIniFileException("Cannot write the ini file \"" + fileName +
                                "\": invalid key name \"" + ident + "\"");
}

const char* const kCrLf = "\r\n";

}  // namespace

// -------------------------------------------------------------- integers

std::optional<int32_t> platform::ParseIniInteger(std::string_view text)
{
    text = TrimView(text);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    const bool hex = !negative && text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex)
        text.remove_prefix(2);
    if (text.empty())
        return std::nullopt;
    // Magnitude limit: 2^32-1 for hex, 2^31 for a negative, 2^31-1 else.
    const uint64_t limit = hex ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    uint64_t n = 0;
    for (char c : text) {
        int d = (c >= '0' && c <= '9') ? c - '0' : -1;
        if (hex && d < 0)
            d = (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (d < 0)
            return std::nullopt;
        n = n * (hex ? 16u : 10u) + static_cast<uint64_t>(d);
        if (n > limit)
            return std::nullopt;
    }
    const uint32_t bits = static_cast<uint32_t>(negative ? 0u - n : n);
    return static_cast<int32_t>(bits);
}

// ------------------------------------------------------------------ the document

// The lines of a file with an index of its sections and keys, so that a
// lookup, a change or a deletion costs the same whatever the file's size:
// loading or saving a file of any size is linear. The list keeps every
// line where it is while others are added or removed around it.
struct TIniFile::Doc {
    using Lines = std::list<Line>;
    using At = Lines::iterator;

    struct Section {
        At header;
        At lastKey;  // where a new key goes after: the last key line, or the header
        // Folded key name -> its lines (with or without a value), in file order.
        std::unordered_map<std::string, std::vector<At>> keys;
    };

    Lines lines;
    Encoding encoding = Encoding::Ansi;
    std::string tail;  // an odd last byte of a UTF-16 file

    Doc() = default;
    explicit Doc(std::string_view data)
    {
        const std::string text = Decode(data, encoding, tail);
        size_t pos = 0;
        const size_t n = text.size();
        while (pos < n) {
            size_t end = pos;
            while (end < n && text[end] != '\r' && text[end] != '\n')
                ++end;
            Line line;
            line.text = text.substr(pos, end - pos);
            if (end < n) {
                if (text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
                    line.eol = kCrLf;
                else
                    line.eol = text[end];
            }
            pos = end + line.eol.size();
            lines.push_back(std::move(line));
        }
    }

    std::string Bytes() const
    {
        std::string out;
        for (const Line& l : lines) {
            out += l.text;
            out += l.eol;
        }
        return Encode(out, encoding, tail);
    }

    // The program's UTF-8 as this file holds it, and back.
    std::string In(std::string_view utf8) const
    {
        return encoding == Encoding::Ansi ? Utf8ToCp1252(utf8) : ValidUtf8(utf8);
    }
    std::string Out(std::string_view held) const
    {
        return encoding == Encoding::Ansi ? Cp1252ToUtf8(held) : HeldToUtf8(held);
    }
    // A section or key name of the program, as held and trimmed.
    std::string Name(std::string_view utf8) const { return Trim(In(utf8)); }

    // The first section of that (held, trimmed) name; null when none.
    Section* FindSection(const std::string& name)
    {
        Index();
        auto it = sections_.find(Folded(name));
        return it == sections_.end() ? nullptr : &it->second;
    }

    // The lines of the key in the section, first one first; null when none.
    std::vector<At>* FindKey(Section* section, const std::string& key) const
    {
        if (!section)
            return nullptr;
        auto it = section->keys.find(Folded(key));
        return it == section->keys.end() ? nullptr : &it->second;
    }

    // The first line of the key, parsed, when it has a value.
    std::optional<Parsed> Value(const std::string& section, const std::string& key)
    {
        const std::vector<At>* at = FindKey(FindSection(section), key);
        if (!at)
            return std::nullopt;
        const Parsed p = ParseLine(at->front()->text);
        if (p.kind != Kind::Key)
            return std::nullopt;
        return p;
    }

    // Held names, checked, and a held value. True when a line changed.
    bool Write(const std::string& s, const std::string& k, const std::string& v)
    {
        Section* section = FindSection(s);
        if (!section) {
            // A new section at the end of the file, after a blank line.
            if (!lines.empty()) {
                if (lines.back().eol.empty())
                    lines.back().eol = kCrLf;
                if (!TrimView(lines.back().text).empty())
                    lines.push_back(Line{"", kCrLf});
            }
            const At header = lines.insert(lines.end(), Line{"[" + s + "]", kCrLf});
            const At line = lines.insert(lines.end(), Line{k + "=" + v, kCrLf});
            Section& added = sections_[Folded(s)];
            added.header = header;
            added.lastKey = line;
            added.keys[Folded(k)].push_back(line);
            return true;
        }
        if (std::vector<At>* at = FindKey(section, k)) {
            const At line = at->front();
            const Parsed p = ParseLine(line->text);
            // The same value (a Unicode file's stray byte reads as its cp1252
            // character): the line stays as it is, byte for byte.
            if (p.kind == Kind::Key && (encoding == Encoding::Ansi ? p.value == v : Out(p.value) == Out(v)))
                return false;
            *line = Line{std::string(p.name) + "=" + v, kCrLf};
            return true;
        }
        // A new key right after the last key line of the section.
        if (section->lastKey->eol.empty())
            section->lastKey->eol = kCrLf;
        section->lastKey = lines.insert(std::next(section->lastKey), Line{k + "=" + v, kCrLf});
        section->keys[Folded(k)].push_back(section->lastKey);
        return true;
    }

    // Deletes the first line of the key, or (laterCopies) every line of it
    // but the first. True when a line went.
    bool Delete(const std::string& s, const std::string& k, bool laterCopies)
    {
        Section* section = FindSection(s);
        std::vector<At>* at = FindKey(section, k);
        if (!at || (laterCopies && at->size() < 2))
            return false;
        if (!laterCopies) {
            Erase(*section, at->front());
            at->erase(at->begin());
        } else {
            while (at->size() > 1) {
                Erase(*section, at->back());
                at->pop_back();
            }
        }
        if (at->empty())
            section->keys.erase(Folded(k));
        return true;
    }

    // The section's "[...]" line and every line up to the next section.
    bool EraseSection(const std::string& s)
    {
        Section* section = FindSection(s);
        if (!section)
            return false;
        At end = std::next(section->header);
        while (end != lines.end() && ParseLine(end->text).kind != Kind::Section)
            ++end;
        lines.erase(section->header, end);
        // A later section of the same name now comes first.
        indexed_ = false;
        sections_.clear();
        return true;
    }

private:
    std::string Folded(std::string_view name) const
    {
        if (encoding != Encoding::Ansi)
            return FoldUtf8(Out(name));
        std::string out(name);
        for (char& c : out)
            c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
        return out;
    }

    void Index()
    {
        if (indexed_)
            return;
        indexed_ = true;
        Section* current = nullptr;
        for (At it = lines.begin(); it != lines.end(); ++it) {
            const Parsed p = ParseLine(it->text);
            if (p.kind == Kind::Section) {
                auto [entry, added] = sections_.try_emplace(Folded(p.name));
                current = added ? &entry->second : nullptr;  // a later duplicate is not seen
                if (current)
                    current->header = current->lastKey = it;
            } else if (current && (p.kind == Kind::Key || p.kind == Kind::KeyNoValue)) {
                current->keys[Folded(p.name)].push_back(it);
                current->lastKey = it;
            }
        }
    }

    void Erase(Section& section, At line)
    {
        if (section.lastKey == line) {
            do
                --section.lastKey;
            while (section.lastKey != section.header && ParseLine(section.lastKey->text).kind != Kind::Key &&
                   ParseLine(section.lastKey->text).kind != Kind::KeyNoValue);
        }
        lines.erase(line);
    }

    bool indexed_ = false;
    std::unordered_map<std::string, Section> sections_;
};

// -------------------------------------------------------------- TIniFile

TIniFile::TIniFile(const std::string& fileName) : fileName_(fileName), doc_(std::make_unique<Doc>())
{
    std::string data;
    if (ReadFileBytes(fileName_, data))
        doc_ = std::make_unique<Doc>(data);
    else
        readError_ = errno;
}

TIniFile::~TIniFile() = default;

void TIniFile::BeginUpdate()
{
    std::string data;
    if (!ReadFileBytes(fileName_, data)) {
        const int err = errno;
        if (err != ENOENT)
            throw EIniFileException("Cannot write the ini file \"" + fileName_ +
                                    "\": " + ReadFailureText(err));
        data.clear();
    }
    doc_ = std::make_unique<Doc>(data);
    batch_ = true;
    dirty_ = false;
}

void TIniFile::UpdateFile()
{
    if (!batch_)
        return;
    batch_ = false;
    if (dirty_) {
        dirty_ = false;
        WriteFileAtomically(fileName_, doc_->Bytes());
    }
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def)
{
    const auto p = doc_->Value(doc_->Name(section), doc_->Name(ident));
    return p ? doc_->Out(StripQuotes(p->value)) : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& ident, int32_t def)
{
    const auto p = doc_->Value(doc_->Name(section), doc_->Name(ident));
    return p ? platform::ParseIniInteger(StripQuotes(p->value)).value_or(def) : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool def)
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& section)
{
    return doc_->FindSection(doc_->Name(section)) != nullptr;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident)
{
    return doc_->Value(doc_->Name(section), doc_->Name(ident)).has_value();
}

void TIniFile::ReadSection(const std::string& section, std::vector<std::string>& idents)
{
    idents.clear();
    const Doc::Section* s = doc_->FindSection(doc_->Name(section));
    if (!s)
        return;
    for (auto it = std::next(s->header); it != doc_->lines.end(); ++it) {
        const Parsed p = ParseLine(it->text);
        if (p.kind == Kind::Section)
            break;
        if (p.kind == Kind::Key)
            idents.push_back(doc_->Out(p.name));
    }
}

void TIniFile::ReadSections(std::vector<std::string>& sections)
{
    sections.clear();
    for (const auto& l : doc_->lines) {
        Parsed p = ParseLine(l.text);
        if (p.kind == Kind::Section)
            sections.push_back(doc_->Out(p.name));
    }
}

template <typename Change>
void TIniFile::Modify(Change&& change)
{
    if (batch_) {
        if (change(*doc_))
            dirty_ = true;
        return;
    }
    // Start from the file as it is now, so that changes made by others
    // since this object read it are kept.
    std::string before;
    bool existed = ReadFileBytes(fileName_, before);
    if (!existed && errno != ENOENT)
        throw EIniFileException("Cannot write the ini file \"" + fileName_ +
                                "\": " + ReadFailureText(errno));
    auto doc = std::make_unique<Doc>(before);
    if (change(*doc)) {
        const std::string after = doc->Bytes();
        if (!existed || after != before)
            WriteFileAtomically(fileName_, after);
    }
    doc_ = std::move(doc);
}

void TIniFile::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value)
{
    CheckSection(fileName_, section);
    CheckIdent(fileName_, ident);
    if (HasLineBreakOrNul(value))
        throw EIniFileException("Cannot write the ini file \"" + fileName_ + "\": the value of \"" +
                                ident + "\" holds a line break or NUL, which an ini file cannot hold");
    Modify([&](Doc& doc) { return doc.Write(doc.Name(section), doc.Name(ident), doc.In(value)); });
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value)
{
    WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    Modify([&](Doc& doc) { return doc.Delete(doc.Name(section), doc.Name(ident), false); });
}

void TIniFile::DeleteLaterCopies(const std::string& section, const std::string& ident)
{
    Modify([&](Doc& doc) { return doc.Delete(doc.Name(section), doc.Name(ident), true); });
}

void TIniFile::EraseSection(const std::string& section)
{
    Modify([&](Doc& doc) { return doc.EraseSection(doc.Name(section)); });
}
