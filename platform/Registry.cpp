#include "platform/Registry.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------- helpers

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

void Warn(const std::string& text)
{
    std::fprintf(stderr, "kvt-config-tool: warning: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string Folded(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

// How deep a key may lie below its root. The program's own keys lie four
// levels down (Software\Drosen\KVT Config Tool\portVigilator); 32 leaves
// room for any hand-made key while refusing the damaged or hostile store
// whose thousands of levels would each carry the full path in its header,
// so that the file grows with the square of the depth.
constexpr size_t kMaxKeyDepth = 32;

bool ValidKeyName(const std::string& name)
{
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '\\')
            return false;
    return true;
}

// Splits a key path (without a leading '\') into names. A single trailing
// '\' is allowed; empty names inside are not.
bool SplitKeyPath(const std::string& text, std::vector<std::string>& names)
{
    names.clear();
    if (text.empty())
        return true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\\', start);
        if (end == std::string::npos)
            end = text.size();
        std::string name = text.substr(start, end - start);
        if (!ValidKeyName(name))
            return false;
        names.push_back(std::move(name));
        start = end + 1;
    }
    return true;
}

std::string JoinPath(const std::vector<std::string>& names)
{
    std::string out;
    for (const auto& n : names) {
        if (!out.empty())
            out += '\\';
        out += n;
    }
    return out;
}

// ------------------------------------------------------------------- tree

struct Value {
    enum class Kind { Integer, Text };
    std::string name;
    Kind kind = Kind::Text;
    int32_t integer = 0;
    std::string text;
    bool removed = false;  // deleted, until the key's values are next listed
};

// A key. Its subkeys and values keep their creation order in the vectors;
// the maps find them by case-folded name, so that a key with tens of
// thousands of values loads and is looked up in linear time.
class Node {
public:
    std::string name;

    const std::vector<Value>& Values() const
    {
        Compact();
        return values_;
    }
    const std::vector<std::unique_ptr<Node>>& Children() const { return children_; }

    Node* Child(const std::string& n) const
    {
        auto it = childIndex_.find(Folded(n));
        return it == childIndex_.end() ? nullptr : it->second;
    }
    Node* AddChild(const std::string& n)
    {
        children_.push_back(std::make_unique<Node>());
        children_.back()->name = n;
        childIndex_[Folded(n)] = children_.back().get();
        return children_.back().get();
    }
    bool RemoveChild(const std::string& n)
    {
        Node* c = Child(n);
        if (!c)
            return false;
        childIndex_.erase(Folded(n));
        for (auto it = children_.begin(); it != children_.end(); ++it)
            if (it->get() == c) {
                children_.erase(it);
                break;
            }
        return true;
    }

    Value* FindValue(const std::string& n)
    {
        auto it = valueIndex_.find(Folded(n));
        return it == valueIndex_.end() ? nullptr : &values_[it->second];
    }
    // The value of that name, a new one (last in the order) when missing.
    Value& ValueFor(const std::string& n)
    {
        auto [it, added] = valueIndex_.try_emplace(Folded(n), values_.size());
        if (added) {
            values_.push_back(Value{});
            values_.back().name = n;
        }
        return values_[it->second];
    }
    // The value is only marked: the walk that deletes a telephone book of
    // tens of thousands of entries stays linear. The vector is closed up when
    // the values are next listed.
    bool RemoveValue(const std::string& n)
    {
        auto it = valueIndex_.find(Folded(n));
        if (it == valueIndex_.end())
            return false;
        values_[it->second].removed = true;
        valueIndex_.erase(it);
        ++removed_;
        return true;
    }

private:
    void Compact() const
    {
        if (removed_ == 0)
            return;
        std::erase_if(values_, [](const Value& v) { return v.removed; });
        removed_ = 0;
        for (size_t i = 0; i < values_.size(); ++i)
            valueIndex_[Folded(values_[i].name)] = i;
    }

    mutable std::vector<Value> values_;
    mutable size_t removed_ = 0;
    std::vector<std::unique_ptr<Node>> children_;
    mutable std::unordered_map<std::string, size_t> valueIndex_;
    std::unordered_map<std::string, Node*> childIndex_;
};

// ------------------------------------------------------------ file format

const char* const kHeaderComment =
    "; KVT Config Tool settings: the registry store of this program.\n"
    "; [ROOT\\Key\\Subkey] starts a key; its values follow as \"Name\"=dword:XXXXXXXX\n"
    "; (32-bit integer, hexadecimal) or \"Name\"=\"text\" with the escapes \\\\ \\\" \\n \\r \\t \\xHH.\n";

void AppendQuoted(std::string& out, const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Parses a quoted string starting at line[pos] == '"'; pos ends after the
// closing quote.
bool ParseQuoted(const std::string& line, size_t& pos, std::string& out)
{
    out.clear();
    if (pos >= line.size() || line[pos] != '"')
        return false;
    ++pos;
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"')
            return true;
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size())
            return false;
        char e = line[pos++];
        switch (e) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (pos + 2 > line.size())
                return false;
            int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            pos += 2;
            break;
        }
        default: return false;
        }
    }
    return false;  // no closing quote
}

bool ParseValueLine(const std::string& line, Value& v)
{
    size_t pos = 0;
    if (!ParseQuoted(line, pos, v.name))
        return false;
    if (pos >= line.size() || line[pos] != '=')
        return false;
    ++pos;
    static const char dword[] = "dword:";
    if (line.compare(pos, 6, dword) == 0) {
        pos += 6;
        size_t digits = line.size() - pos;
        if (digits < 1 || digits > 8)
            return false;
        uint32_t n = 0;
        for (; pos < line.size(); ++pos) {
            int d = HexDigit(line[pos]);
            if (d < 0)
                return false;
            n = n * 16 + static_cast<uint32_t>(d);
        }
        v.kind = Value::Kind::Integer;
        v.integer = static_cast<int32_t>(n);
        v.text.clear();
        return true;
    }
    if (!ParseQuoted(line, pos, v.text))
        return false;
    if (pos != line.size())
        return false;
    v.kind = Value::Kind::Text;
    v.integer = 0;
    return true;
}

bool RootFromName(const std::string& name, HKEY& root)
{
    if (SameName(name, "HKEY_CURRENT_USER") || SameName(name, "HKCU")) {
        root = HKEY_CURRENT_USER;
        return true;
    }
    if (SameName(name, "HKEY_LOCAL_MACHINE") || SameName(name, "HKLM")) {
        root = HKEY_LOCAL_MACHINE;
        return true;
    }
    return false;
}

// ------------------------------------------------------------------ store

class Store {
public:
    static Store& Instance()
    {
        // Never destroyed, so TRegistry objects with static lifetime can
        // still use it at exit.
        static Store* store = new Store;
        return *store;
    }

    std::recursive_mutex mutex;

    Node& Root(HKEY root)
    {
        EnsureLoaded();
        return root == HKEY_LOCAL_MACHINE ? machine_ : user_;
    }

    Node* Find(HKEY root, const std::vector<std::string>& path)
    {
        Node* n = &Root(root);
        for (const auto& name : path) {
            n = n->Child(name);
            if (!n)
                return nullptr;
        }
        return n;
    }

    void MarkDirty() { dirty_ = true; }
    bool Dirty() const { return loaded_ && dirty_; }

    void SetFile(const std::string& path)
    {
        override_ = path;
        loaded_ = false;
        // Batches running now belong to the old file: they no longer write,
        // drop or hold back anything, and the new file's changes are written
        // as keys close, or by batches begun from now on.
        ++generation_;
        batchDepth_ = 0;
        snapshot_.clear();
        EnsureLoaded();
    }

    // Returns the batch's generation, which EndBatch is given back.
    unsigned BeginBatch()
    {
        EnsureLoaded();
        if (batchDepth_++ == 0) {
            snapshot_ = Serialize();
            snapshotDirty_ = dirty_;
        }
        return generation_;
    }

    // The outermost batch writes the changes (commit) or drops them.
    void EndBatch(bool commit, unsigned generation)
    {
        if (generation != generation_ || batchDepth_ == 0 || --batchDepth_ > 0)
            return;
        std::string snapshot = std::move(snapshot_);
        snapshot_.clear();
        if (commit)
            Flush();
        else
            Restore(snapshot, snapshotDirty_);
    }

    std::string File()
    {
        if (!loaded_)
            return ResolvePath();
        return path_;
    }

    // Writes the tree when it has unsaved changes; raises on failure. Does
    // nothing while a batch runs.
    void Flush();

private:
    std::string ResolvePath() const;
    void EnsureLoaded();
    void Parse(const std::string& data, size_t& badLines, size_t& firstBad);
    std::string Serialize() const;
    std::string KeepDamagedCopy(const std::string& data, std::string& copyPath);
    void ClearTree();
    // Puts back the tree a batch began with (its own serialization, so it
    // parses whole).
    void Restore(const std::string& snapshot, bool dirty);

    bool loaded_ = false;
    bool dirty_ = false;
    std::string override_;
    std::string path_;
    std::string blocked_;  // non-empty: the file must not be overwritten; why
    Node user_, machine_;
    int batchDepth_ = 0;
    unsigned generation_ = 0;  // one more for each change of the file
    std::string snapshot_;      // the tree when the outermost batch began
    bool snapshotDirty_ = false;
};

void Store::ClearTree()
{
    user_ = Node();
    machine_ = Node();
    user_.name = "HKEY_CURRENT_USER";
    machine_.name = "HKEY_LOCAL_MACHINE";
}

void Store::Restore(const std::string& snapshot, bool dirty)
{
    ClearTree();
    size_t badLines = 0, firstBad = 0;
    Parse(snapshot, badLines, firstBad);
    dirty_ = dirty;
}

std::string Store::ResolvePath() const
{
    if (!override_.empty())
        return override_;
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {  // a relative value is to be ignored, as desktop programs do
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string h = home && home[0] ? home : "";
        if (h.empty()) {
            if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
                h = pw->pw_dir;
        }
        if (h.empty())
            h = "/tmp";
        base = h + "/.config";
    }
    return base + "/kvt-config-tool/registry.txt";
}

void Store::EnsureLoaded()
{
    if (loaded_)
        return;
    loaded_ = true;
    dirty_ = false;
    blocked_.clear();
    ClearTree();
    path_ = ResolvePath();
    // A save killed before its rename left its temporary file beside ours.
    platform::RemoveLeftTemporaries(path_);

    // A FIFO, a device or a socket in its place is an unreadable store:
    // refused at once, never waited on.
    std::string data;
    const int readErr = platform::ReadRegularFile(path_, data);
    if (readErr == ENOENT || readErr == ENOTDIR)
        return;  // first run (or no such folder yet): an empty store
    if (readErr != 0) {
        blocked_ = "the settings file " + path_ + " could not be read (" + ErrnoText(readErr) +
                   ") and is not overwritten";
        Warn("registry store " + path_ + " cannot be read (" + ErrnoText(readErr) +
             "); starting with empty settings, which will not be saved over it");
        return;
    }

    size_t badLines = 0, firstBad = 0;
    Parse(data, badLines, firstBad);
    if (badLines == 0)
        return;
    std::string copyPath;
    std::string copyError = KeepDamagedCopy(data, copyPath);
    std::string what = std::to_string(badLines) + (badLines == 1 ? " line" : " lines") +
                       " could not be read (first: line " + std::to_string(firstBad) + ")";
    if (copyError.empty()) {
        Warn("registry store " + path_ + " is damaged: " + what +
             "; the rest is used, and the damaged file was kept as " + copyPath);
    } else {
        blocked_ = "the damaged settings file " + path_ + " could not be copied aside (" +
                   copyError + ") and is not overwritten";
        Warn("registry store " + path_ + " is damaged: " + what +
             "; the rest is used, but no copy could be kept (" + copyError +
             "), so it will not be overwritten");
    }
}

void Store::Parse(const std::string& data, size_t& badLines, size_t& firstBad)
{
    Node* current = nullptr;
    size_t lineNo = 0;
    size_t pos = 0;
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;  // a byte-order mark left by an editor
    auto bad = [&] {
        ++badLines;
        if (firstBad == 0)
            firstBad = lineNo;
    };
    while (pos < data.size()) {
        size_t end = data.find('\n', pos);
        if (end == std::string::npos)
            end = data.size();
        std::string line = data.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        // Trim blanks and a CR at both ends (never part of an escaped value).
        size_t a = line.find_first_not_of(" \t\r");
        if (a == std::string::npos)
            continue;
        size_t b = line.find_last_not_of(" \t\r");
        line = line.substr(a, b - a + 1);
        if (line[0] == ';' || line[0] == '#')
            continue;
        if (line.find('\0') != std::string::npos) {
            bad();
            continue;
        }
        if (line[0] == '[') {
            current = nullptr;
            if (line.back() != ']') {
                bad();
                continue;
            }
            std::string path = line.substr(1, line.size() - 2);
            size_t sep = path.find('\\');
            HKEY root;
            std::vector<std::string> names;
            if (!RootFromName(path.substr(0, sep), root) ||
                (sep != std::string::npos && !SplitKeyPath(path.substr(sep + 1), names)) ||
                (sep != std::string::npos && names.empty()) || names.size() > kMaxKeyDepth) {
                bad();
                continue;
            }
            Node* n = root == HKEY_LOCAL_MACHINE ? &machine_ : &user_;
            for (const auto& name : names) {
                Node* c = n->Child(name);
                n = c ? c : n->AddChild(name);
            }
            current = n;
            continue;
        }
        Value v;
        if (!ParseValueLine(line, v) || !current) {
            // Also a value under a header that did not parse: it is kept in
            // the damaged copy only.
            bad();
            continue;
        }
        // A duplicate (hand edit): the later one wins, in the first one's place.
        current->ValueFor(v.name) = std::move(v);
    }
}

std::string Store::KeepDamagedCopy(const std::string& data, std::string& copyPath)
{
    // Never overwrite an older damaged copy: pick a free name.
    for (int i = 0; i < 1000; ++i) {
        copyPath = path_ + ".damaged" + (i == 0 ? "" : "." + std::to_string(i));
        int fd = ::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return ErrnoText(errno);
        }
        size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::write(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                int err = errno;
                ::close(fd);
                ::unlink(copyPath.c_str());
                return ErrnoText(err);
            }
            done += static_cast<size_t>(n);
        }
        int err = 0;
        if (::fsync(fd) != 0)
            err = errno;
        if (::close(fd) != 0 && err == 0)
            err = errno;
        if (err != 0) {
            ::unlink(copyPath.c_str());
            return ErrnoText(err);
        }
        return {};
    }
    return "too many damaged copies already";
}

// `path` is the key's full path; it is extended for each subkey and cut
// back afterwards. A key without values but with subkeys gets no header of
// its own: its subkeys' headers bring it back.
void SerializeNode(const Node& n, std::string& path, std::string& out)
{
    if (!n.Values().empty() || n.Children().empty()) {
        out += '\n';
        out += '[';
        out += path;
        out += "]\n";
    }
    for (const auto& v : n.Values()) {
        AppendQuoted(out, v.name);
        out += '=';
        if (v.kind == Value::Kind::Integer) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<uint32_t>(v.integer));
            out += buf;
        } else {
            AppendQuoted(out, v.text);
        }
        out += '\n';
    }
    const size_t length = path.size();
    for (const auto& c : n.Children()) {
        path += '\\';
        path += c->name;
        SerializeNode(*c, path, out);
        path.resize(length);
    }
}

std::string Store::Serialize() const
{
    std::string out = kHeaderComment;
    for (const Node* root : {&user_, &machine_}) {
        std::string path = root->name;
        if (!root->Values().empty())
            SerializeNode(*root, path, out);
        else
            for (const auto& c : root->Children()) {
                path = root->name + "\\" + c->name;
                SerializeNode(*c, path, out);
            }
    }
    return out;
}

void Store::Flush()
{
    if (!loaded_ || !dirty_ || batchDepth_ > 0)
        return;
    if (!blocked_.empty())
        throw ERegistryException("Settings not saved: " + blocked_);
    const std::string data = Serialize();
    namespace fs = std::filesystem;
    const fs::path target(path_);
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw ERegistryException("Settings not saved: cannot create the folder " + dir.string() +
                                 " (" + ec.message() + ")");

    platform::AtomicWriteOptions options;
    options.newFileMode = 0600;  // the settings are the user's own
    if (const platform::AtomicWriteError failed = platform::WriteFileAtomically(path_, data, options)) {
        if (failed.step == platform::AtomicWriteStep::CreateTemporary)
            throw ERegistryException("Settings not saved to " + path_ +
                                     ": cannot create a temporary file (" + ErrnoText(failed.error) + ")");
        throw ERegistryException("Settings not saved to " + path_ + ": " + failed.StepText() +
                                 " failed (" + ErrnoText(failed.error) + ")");
    }
    dirty_ = false;
}

}  // namespace

// ---------------------------------------------------------------- TRegistry

const char* RootKeyName(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

TRegistry::TRegistry() : TRegistry(KEY_ALL_ACCESS) {}

TRegistry::TRegistry(uint32_t access) : access_(access) {}

TRegistry::~TRegistry()
{
    open_ = false;
    path_.clear();
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    if (!s.Dirty())
        return;
    try {
        s.Flush();
    } catch (const std::exception& e) {
        if (changed_)
            Warn(e.what());
    }
}

void TRegistry::SetRootKey(HKEY root)
{
    CloseKey();
    root_ = root;
}

std::string TRegistry::Describe() const
{
    std::string d = RootKeyName(root_);
    if (!path_.empty())
        d += "\\" + JoinPath(path_);
    return d;
}

namespace {
// Resolves an OpenKey-style path against the open key; false when invalid.
bool ResolveKeyPath(const std::string& key, bool open, const std::vector<std::string>& current,
                    std::vector<std::string>& full)
{
    bool relative = key.empty() || key[0] != '\\';
    std::vector<std::string> names;
    if (!SplitKeyPath(relative ? key : key.substr(1), names))
        return false;
    full = (relative && open) ? current : std::vector<std::string>{};
    full.insert(full.end(), names.begin(), names.end());
    return full.size() <= kMaxKeyDepth;
}
}  // namespace

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    std::vector<std::string> full;
    if (!ResolveKeyPath(key, open_, path_, full))
        return false;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    // A path relative to an open key that another object deleted meanwhile
    // fails, as on Windows (it would otherwise bring the deleted key back).
    if (open_ && (key.empty() || key[0] != '\\') && !s.Find(root_, path_))
        return false;
    Node* n = &s.Root(root_);
    std::vector<std::string> stored;
    for (const auto& name : full) {
        Node* c = n->Child(name);
        if (!c) {
            if (!canCreate || !(access_ & KEY_CREATE_SUB_KEY))
                return false;
            c = n->AddChild(name);
            s.MarkDirty();
            changed_ = true;
        }
        stored.push_back(c->name);
        n = c;
    }
    path_ = std::move(stored);
    open_ = true;
    writable_ = (access_ & KEY_SET_VALUE) != 0;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key)
{
    std::vector<std::string> full;
    if (!ResolveKeyPath(key, open_, path_, full))
        return false;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    Node* n = &s.Root(root_);
    std::vector<std::string> stored;
    for (const auto& name : full) {
        n = n->Child(name);
        if (!n)
            return false;
        stored.push_back(n->name);
    }
    path_ = std::move(stored);
    open_ = true;
    writable_ = false;
    return true;
}

void TRegistry::CloseKey()
{
    open_ = false;
    writable_ = false;
    path_.clear();
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    if (!s.Dirty()) {
        changed_ = false;
        return;
    }
    try {
        s.Flush();
        changed_ = false;
    } catch (const ERegistryException&) {
        if (changed_)
            throw;
    }
}

std::string TRegistry::CurrentPath() const
{
    return open_ ? JoinPath(path_) : std::string();
}

bool TRegistry::KeyExists(const std::string& key)
{
    std::vector<std::string> full;
    if (!ResolveKeyPath(key, open_, path_, full))
        return false;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    return s.Find(root_, full) != nullptr;
}

bool TRegistry::DeleteKey(const std::string& key)
{
    if (!(access_ & KEY_SET_VALUE))
        return false;
    std::vector<std::string> full;
    if (!ResolveKeyPath(key, open_, path_, full) || full.empty())
        return false;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    std::vector<std::string> parentPath(full.begin(), full.end() - 1);
    Node* parent = s.Find(root_, parentPath);
    if (!parent)
        return false;
    if (!parent->RemoveChild(full.back()))
        return false;
    s.MarkDirty();
    changed_ = true;
    return true;
}

bool TRegistry::ValueExists(const std::string& name)
{
    if (!open_)
        return false;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    Node* n = s.Find(root_, path_);
    return n && n->FindValue(name);
}

bool TRegistry::DeleteValue(const std::string& name)
{
    if (!open_ || !writable_)
        return false;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    Node* n = s.Find(root_, path_);
    if (!n)
        return false;
    if (!n->RemoveValue(name))
        return false;
    s.MarkDirty();
    changed_ = true;
    return true;
}

std::vector<std::string> TRegistry::GetValueNames()
{
    std::vector<std::string> out;
    if (!open_)
        return out;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    if (Node* n = s.Find(root_, path_))
        for (const auto& v : n->Values())
            out.push_back(v.name);
    return out;
}

std::vector<std::string> TRegistry::GetKeyNames()
{
    std::vector<std::string> out;
    if (!open_)
        return out;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    if (Node* n = s.Find(root_, path_))
        for (const auto& c : n->Children())
            out.push_back(c->name);
    return out;
}

int32_t TRegistry::ReadInteger(const std::string& name)
{
    if (!open_)
        throw ERegistryException("Cannot read the registry value \"" + name +
                                 "\": no registry key is open");
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    Node* n = s.Find(root_, path_);
    Value* v = n ? n->FindValue(name) : nullptr;
    if (!v)
        throw ERegistryException("The registry value \"" + name + "\" is missing in " +
                                 Describe());
    if (v->kind != Value::Kind::Integer)
        throw ERegistryException("The registry value \"" + name + "\" in " + Describe() +
                                 " is text, not an integer");
    return v->integer;
}

bool TRegistry::ReadBool(const std::string& name)
{
    return ReadInteger(name) != 0;
}

std::string TRegistry::ReadString(const std::string& name)
{
    if (!open_)
        return {};
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    Node* n = s.Find(root_, path_);
    Value* v = n ? n->FindValue(name) : nullptr;
    if (!v)
        return {};
    if (v->kind != Value::Kind::Text)
        throw ERegistryException("The registry value \"" + name + "\" in " + Describe() +
                                 " is an integer, not text");
    return v->text;
}

void TRegistry::CheckWritable(const std::string& name) const
{
    if (!open_)
        throw ERegistryException("Cannot write the registry value \"" + name +
                                 "\": no registry key is open");
    if (!writable_)
        throw ERegistryException("Cannot write the registry value \"" + name + "\": " +
                                 Describe() + " is open for reading only");
}

namespace {
Value& ValueForWrite(Store& s, HKEY root, const std::vector<std::string>& path,
                     const std::string& name, const std::string& where)
{
    Node* n = s.Find(root, path);
    if (!n)
        throw ERegistryException("Cannot write the registry value \"" + name + "\": the key " +
                                 where + " was deleted");
    return n->ValueFor(name);
}
}  // namespace

void TRegistry::WriteInteger(const std::string& name, int32_t value)
{
    CheckWritable(name);
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    Value& v = ValueForWrite(s, root_, path_, name, Describe());
    v.kind = Value::Kind::Integer;
    v.integer = value;
    v.text.clear();
    s.MarkDirty();
    changed_ = true;
}

void TRegistry::WriteBool(const std::string& name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteString(const std::string& name, const std::string& value)
{
    CheckWritable(name);
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    Value& v = ValueForWrite(s, root_, path_, name, Describe());
    v.kind = Value::Kind::Text;
    v.integer = 0;
    v.text = value;
    s.MarkDirty();
    changed_ = true;
}

namespace platform {

void SetRegistryFile(const std::string& path)
{
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    s.SetFile(path);
}

std::string RegistryFile()
{
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    return s.File();
}

RegistryWriteBatch::RegistryWriteBatch()
{
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    generation_ = s.BeginBatch();
}

RegistryWriteBatch::~RegistryWriteBatch()
{
    if (done_)
        return;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    s.EndBatch(false, generation_);
}

void RegistryWriteBatch::Commit()
{
    if (done_)
        return;
    done_ = true;
    Store& s = Store::Instance();
    std::lock_guard lock(s.mutex);
    s.EndBatch(true, generation_);
}

}  // namespace platform
