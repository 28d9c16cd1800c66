#pragma once
// Open and save dialogs, with a test hook like the message dialogs': a test
// takes the user's place in choosing a name, and the checks after it (the
// default suffix, the overwrite question, the file that must exist) run as
// they do for a real dialog.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct FileDialogOptions {
    std::string title;        // empty: the platform's own
    // Pairs of description and patterns, all separated by '|', patterns of a
    // pair separated by ';': "Text Files (*.txt)|*.txt|All Files (*.*)|*.*".
    std::string filter;
    int filterIndex = 1;      // the filter shown first, from 1
    std::string defaultExt;   // added (after a '.') to a name without a suffix
    std::string initialDir;
    std::string fileName;     // the name proposed
    bool overwritePrompt = false;  // save: ask before replacing an existing file
    bool fileMustExist = false;    // open: refuse a name that names no file
};

enum class FileDialogKind { Open, Save };

struct FileDialogResult {
    std::string path;     // the chosen file, default suffix added
    int filterIndex = 1;  // the filter selected when the user confirmed, from 1
};

// Runs the dialog; empty when the user cancels.
std::optional<FileDialogResult> OpenDialog(const FileDialogOptions& options);
std::optional<FileDialogResult> SaveDialog(const FileDialogOptions& options);

// Stands in for the user at the dialog: returns the name typed or picked
// (and the filter index), or empty for Cancel. It is asked again when a
// check refuses the name, as the dialog stays open then. An empty hook
// restores the real dialog.
using FileDialogHook =
    std::function<std::optional<FileDialogResult>(FileDialogKind kind, const FileDialogOptions& options)>;
void SetFileDialogHook(FileDialogHook hook);

// ---- pieces, for their tests

// Qt name filters of an "a|b" filter: "Text Files (*.txt)", "All Files (*)".
// "*.*" becomes "*" (on Linux "*.*" would hide names without a dot); a
// description that shows its patterns in brackets shows them as Qt matches them.
std::vector<std::string> QtNameFilters(const std::string& filter);

// `path` with ".ext" added when its file name has no suffix (and ext is set).
std::string WithDefaultSuffix(const std::string& path, const std::string& ext);

} // namespace platform
