#include "platform/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <utility>

namespace platform {
namespace {

ShellOpenHook& Hook()
{
    static ShellOpenHook hook;
    return hook;
}

// Wildcard match in the manner of the Windows file search: '*' and '?' only,
// every other character literal, letter case folded on both sides.
bool WildcardMatch(const QString& pattern, const QString& name)
{
    const QString p = pattern.toCaseFolded();
    const QString n = name.toCaseFolded();
    qsizetype pi = 0, ni = 0;
    qsizetype starP = -1, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            starP = pi++;
            starN = ni;
        } else if (starP >= 0) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*')
        ++pi;
    return pi == p.size();
}

} // namespace

void SetShellOpenHook(ShellOpenHook hook)
{
    Hook() = std::move(hook);
}

void ShellOpen(const std::string& fileOrUrl)
{
    if (ShellOpenHook hook = Hook()) {
        hook(fileOrUrl);
        return;
    }
    const QString text = QString::fromStdString(fileOrUrl);
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    QUrl url;
    if (!QFileInfo::exists(text) && scheme.match(text).hasMatch())
        url = QUrl(text);
    else
        url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    QDesktopServices::openUrl(url); // a failure is not reported
}

std::vector<FoundEntry> FindEntries(const std::string& pattern)
{
    const QString qpattern = QString::fromStdString(pattern);
    const QFileInfoList entries = QDir::current().entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::vector<FoundEntry> found;
    for (const QFileInfo& entry : entries) {
        if (WildcardMatch(qpattern, entry.fileName()))
            found.push_back({entry.fileName().toStdString(), entry.isDir()});
    }
    std::sort(found.begin(), found.end(),
              [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
    return found;
}

std::string FindLastFile(const std::string& pattern)
{
    const std::vector<FoundEntry> found = FindEntries(pattern);
    return found.empty() ? std::string() : found.back().name;
}

bool FirstFoundIsFile(const std::string& pattern)
{
    const std::vector<FoundEntry> found = FindEntries(pattern);
    return !found.empty() && !found.front().isDirectory;
}

} // namespace platform
