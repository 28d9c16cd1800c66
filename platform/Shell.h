#pragma once
// The shell's "open" verb and the file search in the current directory, as the
// program uses them for the user guide and the contact window's links.
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Opens a document or a link with the desktop's handler for it: a text with a
// scheme ("https:", "MailTo:", ...) is a link, anything else a file name relative
// to the current directory. The outcome is not reported, as the program ignores it.
void ShellOpen(const std::string& fileOrUrl);

// Tests record what would be opened instead of starting a program; an empty hook
// restores the desktop.
using ShellOpenHook = std::function<void(const std::string& fileOrUrl)>;
void SetShellOpenHook(ShellOpenHook hook);

// One entry of a directory search.
struct FoundEntry {
    std::string name;  // bare file name
    bool isDirectory = false;
};

// The entries of the current directory (files and folders, hidden ones too)
// whose names match `pattern` ('*' any run, '?' one character; letter case
// ignored, as file names from Windows PCs expect), in name order.
std::vector<FoundEntry> FindEntries(const std::string& pattern);

// The name of the last entry that the search finds, or "" when none matches.
// The program walks the whole search and keeps the last name; since Linux lists
// a directory in no particular order, "last" here is the last in name order, so
// the choice among several matching files is at least the same on every run.
std::string FindLastFile(const std::string& pattern);

// True when the first entry of the search is a file (not a folder).
bool FirstFoundIsFile(const std::string& pattern);

} // namespace platform
