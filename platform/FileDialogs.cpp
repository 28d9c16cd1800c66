#include "platform/FileDialogs.h"

#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QStringList>
#include <sys/stat.h>

namespace platform {
namespace {

FileDialogHook& Hook()
{
    static FileDialogHook hook;
    return hook;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

std::string Trimmed(const std::string& s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<FileDialogResult> RunQtDialog(FileDialogKind kind, const FileDialogOptions& o)
{
    QFileDialog dialog;
    dialog.setAcceptMode(kind == FileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The checks after the dialog are ours, the same with and without the hook.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!o.title.empty())
        dialog.setWindowTitle(QString::fromStdString(o.title));
    QStringList filters;
    for (const std::string& f : QtNameFilters(o.filter))
        filters << QString::fromStdString(f);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (o.filterIndex >= 1 && o.filterIndex <= filters.size())
            dialog.selectNameFilter(filters[o.filterIndex - 1]);
    }
    if (!o.initialDir.empty())
        dialog.setDirectory(QString::fromStdString(o.initialDir));
    if (!o.fileName.empty())
        dialog.selectFile(QString::fromStdString(o.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    FileDialogResult r;
    r.path = dialog.selectedFiles().front().toStdString();
    r.filterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (r.filterIndex < 1)
        r.filterIndex = 1;
    return r;
}

std::optional<FileDialogResult> Run(FileDialogKind kind, const FileDialogOptions& o)
{
    for (;;) {
        std::optional<FileDialogResult> r = Hook() ? Hook()(kind, o) : RunQtDialog(kind, o);
        if (!r || r->path.empty())
            return std::nullopt;
        if (!IsFolder(r->path))
            r->path = WithDefaultSuffix(r->path, o.defaultExt);
        if (IsFolder(r->path)) {
            MessageDlg(r->path + "\nThis is a folder, not a file.", MsgDlgType::Warning, mbOK);
            continue;
        }
        if (kind == FileDialogKind::Open && o.fileMustExist && !Exists(r->path)) {
            MessageDlg(r->path + "\nFile not found.\nCheck the file name and try again.", MsgDlgType::Warning, mbOK);
            continue;
        }
        if (kind == FileDialogKind::Save && o.overwritePrompt && Exists(r->path) &&
            MessageDlg(r->path + " already exists.\nDo you want to replace it?", MsgDlgType::Warning,
                       mbYes | mbNo) != mrYes)
            continue;
        return r;
    }
}

} // namespace

void SetFileDialogHook(FileDialogHook hook) { Hook() = std::move(hook); }

std::optional<FileDialogResult> OpenDialog(const FileDialogOptions& options)
{
    return Run(FileDialogKind::Open, options);
}

std::optional<FileDialogResult> SaveDialog(const FileDialogOptions& options)
{
    return Run(FileDialogKind::Save, options);
}

std::vector<std::string> QtNameFilters(const std::string& filter)
{
    std::vector<std::string> result;
    if (filter.empty())
        return result;
    const std::vector<std::string> parts = Split(filter, '|');
    for (size_t i = 0; i < parts.size(); i += 2) {
        std::string description = Trimmed(parts[i]);
        const std::string patternText = i + 1 < parts.size() ? parts[i + 1] : std::string("*");
        std::string patterns;
        for (std::string p : Split(patternText, ';')) {
            p = Trimmed(p);
            if (p.empty())
                continue;
            if (p == "*.*")
                p = "*";
            if (!patterns.empty())
                patterns += ' ';
            patterns += p;
        }
        if (patterns.empty())
            patterns = "*";
        // Qt reads the patterns from the brackets at the end of the text:
        // a description that shows its own gets them replaced by ours.
        if (!description.empty() && description.back() == ')') {
            const size_t open = description.rfind('(');
            if (open != std::string::npos)
                description = Trimmed(description.substr(0, open));
        }
        if (description.empty())
            description = patterns;
        result.push_back(description + " (" + patterns + ")");
    }
    return result;
}

std::string WithDefaultSuffix(const std::string& path, const std::string& ext)
{
    if (ext.empty() || path.empty() || path.back() == '/')
        return path;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A leading dot names a hidden file, not a suffix.
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size())
        return path;
    if (dot != std::string::npos && dot + 1 == name.size())
        return path + ext; // "report." takes the suffix after its dot
    return path + "." + ext;
}

} // namespace platform
