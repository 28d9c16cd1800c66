#include "platform/IniFile.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Cp1252ToUtf8(const std::string& in)
{
    std::string out;
    out.reserve(in.size() + in.size() / 4);
    for (unsigned char b : in) {
        if (b < 0x80)
            out += static_cast<char>(b);
        else if (b < 0xA0)
            AppendUtf8(out, kHigh[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}

char FromUnicode(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

std::string Utf8ToCp1252(const std::string& in)
{
    std::string out;
    out.reserve(in.size());
    size_t i = 0;
    const size_t n = in.size();
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        int len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        char32_t c = len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len != 0 && i + static_cast<size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            unsigned char t = static_cast<unsigned char>(in[i + static_cast<size_t>(k)]);
            if ((t & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (t & 0x3F);
        }
        // Reject overlong forms, surrogates and values past U+10FFFF.
        if (ok && ((len == 2 && c < 0x80) || (len == 3 && c < 0x800) || (len == 4 && c < 0x10000) ||
                   (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF))
            ok = false;
        if (!ok) {
            out += '?';  // one '?' for each byte that is not valid UTF-8
            ++i;
            continue;
        }
        out += FromUnicode(c);
        i += static_cast<size_t>(len);
    }
    return out;
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

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i])))
            return false;
    return true;
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

std::vector<Line> SplitLines(const std::string& data)
{
    std::vector<Line> lines;
    size_t pos = 0;
    const size_t n = data.size();
    while (pos < n) {
        size_t end = pos;
        while (end < n && data[end] != '\r' && data[end] != '\n')
            ++end;
        Line line;
        line.text = data.substr(pos, end - pos);
        if (end < n) {
            if (data[end] == '\r' && end + 1 < n && data[end + 1] == '\n')
                line.eol = "\r\n";
            else
                line.eol = data[end];
        }
        pos = end + line.eol.size();
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines)
{
    std::string out;
    for (const auto& l : lines) {
        out += l.text;
        out += l.eol;
    }
    return out;
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

struct SectionRange {
    size_t header = 0;  // index of the "[...]" line
    size_t end = 0;     // one past its last line
};

bool FindSection(const std::vector<Line>& lines, const std::string& name, SectionRange& r)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        Parsed p = ParseLine(lines[i].text);
        if (p.kind != Kind::Section || !SameName(p.name, name))
            continue;
        r.header = i;
        r.end = lines.size();
        for (size_t j = i + 1; j < lines.size(); ++j) {
            if (ParseLine(lines[j].text).kind == Kind::Section) {
                r.end = j;
                break;
            }
        }
        return true;
    }
    return false;
}

// Index of the first line of the section that is the key (with or without
// a value); npos when none.
size_t FindKey(const std::vector<Line>& lines, const SectionRange& r, const std::string& key,
               Parsed* parsed = nullptr)
{
    for (size_t i = r.header + 1; i < r.end; ++i) {
        Parsed p = ParseLine(lines[i].text);
        if ((p.kind == Kind::Key || p.kind == Kind::KeyNoValue) && SameName(p.name, key)) {
            if (parsed)
                *parsed = p;
            return i;
        }
    }
    return std::string::npos;
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

// Reads the whole file; false with errno set on failure (ENOENT included).
bool ReadFileBytes(const std::string& path, std::string& data)
{
    data.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const int err = platform::ReadToEnd(fd, data);
    ::close(fd);
    if (err != 0) {
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

std::string CheckedSection(const std::string& fileName, const std::string& section)
{
    std::string s = Trim(Utf8ToCp1252(section));
    if (s.empty() || HasLineBreakOrNul(section))
        throw EIniFileException("Cannot write the ini file \"" + fileName +
                                "\": invalid section name \"" + section + "\"");
    return s;
}

std::string CheckedIdent(const std::string& fileName, const std::string& ident)
{
    std::string k = Trim(Utf8ToCp1252(ident));
    if (k.empty() || HasLineBreakOrNul(ident) || k.find('=') != std::string::npos ||
        k[0] == ';' || k[0] == '[')
        throw EIniFileException("Cannot write the ini file \"" + fileName +
                                "\": invalid key name \"" + ident + "\"");
    return k;
}

const char* const kCrLf = "\r\n";

void EnsureEol(std::vector<Line>& lines, size_t index)
{
    if (index < lines.size() && lines[index].eol.empty())
        lines[index].eol = kCrLf;
}

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

// -------------------------------------------------------------- TIniFile

TIniFile::TIniFile(const std::string& fileName) : fileName_(fileName)
{
    std::string data;
    if (ReadFileBytes(fileName_, data))
        lines_ = SplitLines(data);
    else
        readError_ = errno;
}

void TIniFile::BeginUpdate()
{
    std::string data;
    if (!ReadFileBytes(fileName_, data)) {
        const int err = errno;
        if (err != ENOENT)
            throw EIniFileException("Cannot write the ini file \"" + fileName_ +
                                    "\": reading it failed: " + ErrnoText(err));
        data.clear();
    }
    lines_ = SplitLines(data);
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
        WriteFileAtomically(fileName_, JoinLines(lines_));
    }
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def)
{
    SectionRange r;
    if (!FindSection(lines_, Trim(Utf8ToCp1252(section)), r))
        return def;
    Parsed p;
    if (FindKey(lines_, r, Trim(Utf8ToCp1252(ident)), &p) == std::string::npos ||
        p.kind != Kind::Key)
        return def;
    return Cp1252ToUtf8(StripQuotes(p.value));
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& ident, int32_t def)
{
    SectionRange r;
    if (!FindSection(lines_, Trim(Utf8ToCp1252(section)), r))
        return def;
    Parsed p;
    if (FindKey(lines_, r, Trim(Utf8ToCp1252(ident)), &p) == std::string::npos ||
        p.kind != Kind::Key)
        return def;
    return platform::ParseIniInteger(StripQuotes(p.value)).value_or(def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool def)
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& section)
{
    SectionRange r;
    return FindSection(lines_, Trim(Utf8ToCp1252(section)), r);
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident)
{
    SectionRange r;
    if (!FindSection(lines_, Trim(Utf8ToCp1252(section)), r))
        return false;
    Parsed p;
    return FindKey(lines_, r, Trim(Utf8ToCp1252(ident)), &p) != std::string::npos &&
           p.kind == Kind::Key;
}

void TIniFile::ReadSection(const std::string& section, std::vector<std::string>& idents)
{
    idents.clear();
    SectionRange r;
    if (!FindSection(lines_, Trim(Utf8ToCp1252(section)), r))
        return;
    for (size_t i = r.header + 1; i < r.end; ++i) {
        Parsed p = ParseLine(lines_[i].text);
        if (p.kind == Kind::Key)
            idents.push_back(Cp1252ToUtf8(std::string(p.name)));
    }
}

void TIniFile::ReadSections(std::vector<std::string>& sections)
{
    sections.clear();
    for (const auto& l : lines_) {
        Parsed p = ParseLine(l.text);
        if (p.kind == Kind::Section)
            sections.push_back(Cp1252ToUtf8(std::string(p.name)));
    }
}

template <typename Change>
void TIniFile::Modify(Change&& change)
{
    if (batch_) {
        if (change(lines_))
            dirty_ = true;
        return;
    }
    // Start from the file as it is now, so that changes made by others
    // since this object read it are kept.
    std::string before;
    bool existed = ReadFileBytes(fileName_, before);
    if (!existed && errno != ENOENT)
        throw EIniFileException("Cannot write the ini file \"" + fileName_ +
                                "\": reading it failed: " + ErrnoText(errno));
    std::vector<Line> lines = SplitLines(before);
    if (!change(lines)) {
        lines_ = std::move(lines);
        return;  // nothing to change
    }
    std::string after = JoinLines(lines);
    if (!existed || after != before)
        WriteFileAtomically(fileName_, after);
    lines_ = std::move(lines);
}

void TIniFile::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value)
{
    const std::string s = CheckedSection(fileName_, section);
    const std::string k = CheckedIdent(fileName_, ident);
    if (HasLineBreakOrNul(value))
        throw EIniFileException("Cannot write the ini file \"" + fileName_ + "\": the value of \"" +
                                ident + "\" holds a line break or NUL, which an ini file cannot hold");
    const std::string v = Utf8ToCp1252(value);
    Modify([&](std::vector<Line>& lines) {
        SectionRange r;
        if (!FindSection(lines, s, r)) {
            // A new section at the end of the file, after a blank line.
            if (!lines.empty()) {
                EnsureEol(lines, lines.size() - 1);
                if (!Trim(lines.back().text).empty())
                    lines.push_back(Line{"", kCrLf});
            }
            lines.push_back(Line{"[" + s + "]", kCrLf});
            lines.push_back(Line{k + "=" + v, kCrLf});
            return true;
        }
        Parsed p;
        size_t at = FindKey(lines, r, k, &p);
        if (at != std::string::npos) {
            if (p.kind == Kind::Key && p.value == v)
                return false;  // the same value: the line stays as it is
            lines[at] = Line{std::string(p.name) + "=" + v, kCrLf};
            return true;
        }
        // A new key right after the last key line of the section.
        size_t after = r.header;
        for (size_t i = r.header + 1; i < r.end; ++i) {
            Kind kind = ParseLine(lines[i].text).kind;
            if (kind == Kind::Key || kind == Kind::KeyNoValue)
                after = i;
        }
        EnsureEol(lines, after);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after + 1),
                     Line{k + "=" + v, kCrLf});
        return true;
    });
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
    const std::string s = Trim(Utf8ToCp1252(section));
    const std::string k = Trim(Utf8ToCp1252(ident));
    Modify([&](std::vector<Line>& lines) {
        SectionRange r;
        if (!FindSection(lines, s, r))
            return false;
        size_t at = FindKey(lines, r, k);
        if (at == std::string::npos)
            return false;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    });
}

void TIniFile::EraseSection(const std::string& section)
{
    const std::string s = Trim(Utf8ToCp1252(section));
    Modify([&](std::vector<Line>& lines) {
        SectionRange r;
        if (!FindSection(lines, s, r))
            return false;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(r.header),
                    lines.begin() + static_cast<std::ptrdiff_t>(r.end));
        return true;
    });
}
