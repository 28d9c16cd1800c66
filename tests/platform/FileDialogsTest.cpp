// The open and save dialogs' layer: filters as Qt takes them, the default
// suffix, and the checks that run after the user has chosen a name.
#include "platform/Dialogs.h"
#include "platform/FileDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <gtest/gtest.h>

using namespace platform;

TEST(FileDialogs, FiltersBecomeQtNameFilters)
{
    struct Row {
        std::string filter;
        std::vector<std::string> qt;
    } rows[] = {
        {"Text Files (*.txt)|*.txt|All Files (*.*)|*.*", {"Text Files (*.txt)", "All Files (*)"}},
        {"Vantelox SMS Repeater files (*.kvt)|*.kvt|All files|*.*", {"Vantelox SMS Repeater files (*.kvt)", "All files (*)"}},
        {"Text Files (*.txt)|*.txt|Log Files (*.log)|*.log|All Fioles (*.*)|*.*",
         {"Text Files (*.txt)", "Log Files (*.log)", "All Fioles (*)"}},
        {"Logs|*.log;*.txt", {"Logs (*.log *.txt)"}},
        {"Anything", {"Anything (*)"}},           // a description without patterns
        {"|*.kvt", {"*.kvt (*.kvt)"}},            // patterns without a description
        {"", {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(QtNameFilters(row.filter), row.qt) << row.filter;
}

TEST(FileDialogs, DefaultSuffix)
{
    struct Row {
        const char* path;
        const char* ext;
        const char* result;
    } rows[] = {
        {"/tmp/report", "txt", "/tmp/report.txt"},
        {"/tmp/report.txt", "txt", "/tmp/report.txt"},
        {"/tmp/report.log", "txt", "/tmp/report.log"},
        {"/tmp/report.", "txt", "/tmp/report.txt"},
        {"/tmp/.hidden", "txt", "/tmp/.hidden.txt"},
        {"/tmp/dir.d/report", "txt", "/tmp/dir.d/report.txt"},
        {"report", "", "report"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(WithDefaultSuffix(row.path, row.ext), row.result) << row.path;
}

class FileDialogFlow : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetFileDialogHook([this](FileDialogKind kind, const FileDialogOptions& o) -> std::optional<FileDialogResult> {
            kinds.push_back(kind);
            seen = o;
            if (answers.empty())
                return std::nullopt; // Cancel
            FileDialogResult r{answers.front(), 2};
            answers.erase(answers.begin());
            return r;
        });
        SetMessageDlgHook([this](const std::string& text, MsgDlgType, uint32_t) {
            questions.push_back(text);
            return replace ? int(mrYes) : int(mrNo);
        });
    }
    void TearDown() override
    {
        SetFileDialogHook({});
        SetMessageDlgHook({});
    }
    std::string Existing(const std::string& name)
    {
        const std::string path = dir.File(name);
        std::ofstream(path) << "old";
        return path;
    }

    TempDir dir;
    std::vector<std::string> answers;
    std::vector<FileDialogKind> kinds;
    std::vector<std::string> questions;
    FileDialogOptions seen;
    bool replace = false;
};

TEST_F(FileDialogFlow, SaveAddsTheSuffixAndAsksBeforeReplacing)
{
    const std::string old = Existing("report.txt");
    FileDialogOptions o;
    o.defaultExt = "txt";
    o.overwritePrompt = true;
    o.title = "Save";

    answers = {dir.File("new")};
    auto r = SaveDialog(o);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->path, dir.File("new.txt"));
    EXPECT_EQ(r->filterIndex, 2);
    EXPECT_TRUE(questions.empty()) << "a new file needs no question";
    EXPECT_EQ(seen.title, "Save");

    // "report" becomes report.txt, which exists: No keeps the dialog open, and Cancel ends it.
    answers = {dir.File("report")};
    EXPECT_FALSE(SaveDialog(o));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], old + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(kinds.size(), 3u) << "asked again after No";

    replace = true;
    answers = {old};
    r = SaveDialog(o);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->path, old);

    // Without the question an existing file is taken as it is.
    o.overwritePrompt = false;
    questions.clear();
    answers = {old};
    EXPECT_TRUE(SaveDialog(o));
    EXPECT_TRUE(questions.empty());
}

TEST_F(FileDialogFlow, OpenRefusesMissingFilesAndFolders)
{
    const std::string present = Existing("config.kvt");
    FileDialogOptions o;
    o.defaultExt = "kvt";
    o.fileMustExist = true;
    answers = {dir.File("missing"), dir.Path(), dir.File("config")};
    const auto r = OpenDialog(o);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->path, present);
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_NE(questions[0].find(dir.File("missing.kvt")), std::string::npos);
    EXPECT_NE(questions[0].find("File not found"), std::string::npos);
    EXPECT_NE(questions[1].find("folder"), std::string::npos);
    EXPECT_EQ(kinds, std::vector<FileDialogKind>(3, FileDialogKind::Open));

    o.fileMustExist = false;
    answers = {dir.File("other")};
    EXPECT_EQ(OpenDialog(o)->path, dir.File("other.kvt"));
}

TEST_F(FileDialogFlow, CancelAndEmptyNamesGiveNothing)
{
    EXPECT_FALSE(SaveDialog({}));
    answers = {""};
    EXPECT_FALSE(OpenDialog({}));
    EXPECT_TRUE(questions.empty());
}

// The real dialog, typed into as the user does.
TEST(FileDialogs, RealDialogTakesTheTypedNameAndTheFilters)
{
    TempDir dir;
    FileDialogOptions o;
    o.title = "Save the report";
    o.filter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*";
    o.filterIndex = 2;
    o.defaultExt = "txt";
    o.initialDir = dir.Path();
    QStringList filters;
    QString selected, title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        selected = dialog->selectedNameFilter();
        title = dialog->windowTitle();
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        QTest::keyClicks(edit, "typed");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    // Should the dialog not take the name, it is closed rather than left waiting.
    QTimer::singleShot(5000, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    const auto r = SaveDialog(o);
    EXPECT_EQ(filters, (QStringList{"Text Files (*.txt)", "All Files (*)"}));
    EXPECT_EQ(selected, "All Files (*)");
    EXPECT_EQ(title, "Save the report");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->path, dir.File("typed.txt"));
    EXPECT_EQ(r->filterIndex, 2);
}
