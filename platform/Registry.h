#pragma once
// Stand-in for the Windows registry as the program reaches it through the
// framework class TRegistry: the settings of the last run and the port's.
//
// All TRegistry objects of the process share ONE in-memory tree of keys and
// typed values (32-bit integers and texts; booleans are integers 1/0). The
// tree is loaded lazily, on the first use by any TRegistry, from one text
// file:
//     $XDG_CONFIG_HOME/kvt-config-tool/registry.txt
// (XDG_CONFIG_HOME, read at that first use, defaults to $HOME/.config;
// missing folders are created when the file is first written).
// platform::SetRegistryFile points the store at another file and reloads it
// (tests, the program's throw-away demo mode).
//
// Changes are written to the file when a key is closed (CloseKey, and the
// destructor, which never throws) and the tree has unsaved changes. The
// file is replaced atomically (temporary file in the same folder, fsync,
// rename), so a crash never loses or half-writes the settings. A
// platform::RegistryWriteBatch gathers the changes of several keys into one
// replacement of the file. Temporary files that a killed save left behind
// are removed when the store is next loaded.
//
// Store file format (UTF-8 text, one line each, LF line ends):
//     ; comment
//     [HKEY_CURRENT_USER\Software\Drosen\KVT Config Tool]
//     "Top"=dword:0000000a
//     "Alarm Text"="Line one\nsays \"hi\" \\ bye"
// Key headers hold the root's name and the key names separated by '\'.
// Value names and texts are quoted, with the escapes \\ \" \n \r \t and
// \xHH (any other byte below 0x20, and 0x7F); every other byte (UTF-8
// included) stands as itself, so any text round-trips. A store file that
// does not parse completely is loaded as far as it parses, a copy of it is
// kept beside it (registry.txt.damaged, or .damaged.1, .2, ... when that
// exists) before it is ever overwritten, and one warning line goes to
// stderr. A store file that cannot be read (permissions, a folder) gives a
// warning, an empty tree, and is never overwritten: saving then raises
// ERegistryException.
//
// Names of keys and values compare case-insensitively (ASCII letters) and
// keep the case they were created with. Key names may not contain '\' or
// control characters (OpenKey then returns false); value names may hold
// any text. A key lies at most 32 levels below its root: OpenKey refuses a
// deeper path, and a deeper header in the file is a damaged line. A key with
// subkeys but no values is written without a header of its own.
//
// Two program instances running at once each write their whole tree: the
// last one to save wins (as the program saves once at close, this is the
// same outcome as on Windows for the values it writes).

#include <cstdint>
#include <stdexcept>

#include "platform/Exception.h"
#include <string>
#include <vector>

// A std::runtime_error, through the program's base Exception (as in the
// framework, where it derives from Exception).
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// Root keys (the values are those of Windows).
enum class HKEY : uint32_t {
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
};
inline constexpr HKEY HKEY_CURRENT_USER = HKEY::CurrentUser;
inline constexpr HKEY HKEY_LOCAL_MACHINE = HKEY::LocalMachine;

// Access masks (values of Windows). Writing values needs KEY_SET_VALUE,
// creating keys KEY_CREATE_SUB_KEY, deleting keys or values KEY_SET_VALUE.
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr uint32_t KEY_NOTIFY = 0x0010;
inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t KEY_WRITE = 0x20006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// "HKEY_CURRENT_USER" / "HKEY_LOCAL_MACHINE".
const char* RootKeyName(HKEY root);

class TRegistry {
public:
    TRegistry();                          // KEY_ALL_ACCESS, root HKEY_CURRENT_USER
    explicit TRegistry(uint32_t access);  // root HKEY_CURRENT_USER
    ~TRegistry();                         // CloseKey, errors swallowed (a warning on stderr)
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    uint32_t Access() const { return access_; }
    HKEY RootKey() const { return root_; }
    // Closes the open key first (as CloseKey, so it may raise).
    void SetRootKey(HKEY root);

    // Opens a key. '\' separates key names; a leading '\' starts at the root,
    // otherwise the path is relative to the open key (or to the root when no
    // key is open); "" or "\" opens the current key or the root. Missing keys
    // are created when canCreate and the access mask allows creating.
    // Returns false (and leaves the open key as it was) when the key is
    // missing and not created, or the path is not a valid key path.
    bool OpenKey(const std::string& key, bool canCreate);
    // As OpenKey without creating; the key is opened for reading only.
    bool OpenKeyReadOnly(const std::string& key);
    // Closes the open key (if any) and writes the store's pending changes to
    // disk (while a RegistryWriteBatch runs: later, at its Commit). Raises
    // ERegistryException when writing fails and this object made changes
    // that are not saved yet (failures to save other objects' changes are
    // left to them).
    void CloseKey();
    // Path of the open key below the root, names separated by '\', no
    // leading '\'; "" when no key or the root is open.
    std::string CurrentPath() const;
    bool HasOpenKey() const { return open_; }

    // Same path rules as OpenKey.
    bool KeyExists(const std::string& key);
    // Deletes the key with all its subkeys and values; false when missing,
    // when the path names the root, or without write access.
    bool DeleteKey(const std::string& key);

    // Values of the open key. With no key open: no values.
    bool ValueExists(const std::string& name);
    // False when missing, no key is open, or the key is open read-only.
    bool DeleteValue(const std::string& name);
    std::vector<std::string> GetValueNames();  // in stored (creation) order
    std::vector<std::string> GetKeyNames();    // subkeys, in creation order

    // Missing, or not an integer value: ERegistryException naming the value.
    int32_t ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);  // integer != 0
    // Missing: "". A value of integer type: ERegistryException.
    std::string ReadString(const std::string& name);

    // No key open, a key opened read-only, or an access mask without
    // KEY_SET_VALUE: ERegistryException. Writing replaces a value of the
    // same name whatever its type; its place in the value order is kept.
    void WriteInteger(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value);  // integer 1 / 0
    void WriteString(const std::string& name, const std::string& value);

private:
    std::string Describe() const;  // root + path, for messages
    void CheckWritable(const std::string& name) const;

    uint32_t access_;
    HKEY root_ = HKEY_CURRENT_USER;
    bool open_ = false;
    bool writable_ = false;
    bool changed_ = false;              // made changes not yet saved
    std::vector<std::string> path_;     // key names below the root
};

namespace platform {
// Points the process-wide registry store at another file and reloads it
// from there at once; unsaved changes in memory are dropped. An empty path
// returns to the default location ($XDG_CONFIG_HOME, read again).
void SetRegistryFile(const std::string& path);
// The file the store uses (the default location when none was set).
std::string RegistryFile();

// While a batch lives, closing keys writes nothing to the file: Commit
// writes every change of the store in one replacement of the file, raising
// ERegistryException when that fails (the changes then stay in memory,
// unsaved). A batch that ends without Commit (an error in the middle of a
// save) drops the changes made since it began, so that no later write can
// put half a save on disk. Batches nest; only the outermost one writes.
// A batch begun before SetRegistryFile neither writes into nor rolls back
// the new file, nor holds back its writes.
// User-interface thread only, like the saves that use it.
class RegistryWriteBatch {
public:
    RegistryWriteBatch();
    ~RegistryWriteBatch();
    RegistryWriteBatch(const RegistryWriteBatch&) = delete;
    RegistryWriteBatch& operator=(const RegistryWriteBatch&) = delete;
    void Commit();

private:
    bool done_ = false;
    unsigned generation_ = 0;  // of the store's file when the batch began
};
}  // namespace platform
