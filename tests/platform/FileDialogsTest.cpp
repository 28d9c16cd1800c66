// The open and save dialogs' layer: filters as Qt takes them, the default
// suffix, and the checks that run after the user has chosen a name.
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/FileDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <fstream>
#include <stdexcept>
#include <gtest/gtest.h>

using namespace platform;

TEST(FileDialogs, FiltersAndSuffixes)
{
    const std::pair<std::string, std::vector<std::string>> filters[] = {
        {"Text Files (*.txt)|*.txt|All Files (*.*)|*.*", {"Text Files (*.txt)", "All Files (*)"}},
        {"Vantelox SMS Repeater files (*.kvt)|*.kvt|All files|*.*",
         {"Vantelox SMS Repeater files (*.kvt)", "All files (*)"}},
        {"Logs|*.log;*.txt", {"Logs (*.log *.txt)"}},
        {"Anything", {"Anything (*)"}},
        {"|*.kvt", {"*.kvt (*.kvt)"}},
        {"", {}},
    };
    for (const auto& [filter, qt] : filters)
        EXPECT_EQ(QtNameFilters(filter), qt) << filter;
    const std::pair<const char*, const char*> suffixes[] = {
        {"/tmp/report", "/tmp/report.txt"},   {"/tmp/report.log", "/tmp/report.log"},
        {"/tmp/report.", "/tmp/report.txt"},  {"/tmp/.hidden", "/tmp/.hidden.txt"},
        {"/tmp/d.d/report", "/tmp/d.d/report.txt"},
    };
    for (const auto& [path, result] : suffixes)
        EXPECT_EQ(WithDefaultSuffix(path, "txt"), result) << path;
    EXPECT_EQ(WithDefaultSuffix("report", ""), "report");
}

// The user's answers come from `names` (Cancel when they run out); the
// questions are answered `replace`.
TEST(FileDialogs, ChecksAfterTheNameIsChosen)
{
    TempDir dir;
    std::ofstream(dir.File("old.txt")) << "old";
    std::vector<std::string> names, questions;
    int asked = 0;
    bool replace = false;
    SetFileDialogHook([&](FileDialogKind, const FileDialogOptions&) -> std::optional<FileDialogResult> {
        ++asked;
        if (names.empty())
            return std::nullopt;
        FileDialogResult r{names.front(), 2};
        names.erase(names.begin());
        return r;
    });
    SetMessageDlgHook([&](const std::string& text, MsgDlgType, uint32_t) {
        questions.push_back(text);
        return replace ? int(mrYes) : int(mrNo);
    });
    FileDialogOptions save;
    save.defaultExt = "txt";
    save.overwritePrompt = true;

    names = {dir.File("new")};
    EXPECT_EQ(SaveDialog(save)->path, dir.File("new.txt"));
    EXPECT_TRUE(questions.empty());
    names = {dir.File("old")}; // No, then Cancel
    EXPECT_FALSE(SaveDialog(save));
    EXPECT_EQ(questions,
              std::vector<std::string>{dir.File("old.txt") + " already exists.\nDo you want to replace it?"});
    EXPECT_EQ(asked, 3);
    replace = true;
    names = {dir.File("old.txt")};
    EXPECT_EQ(SaveDialog(save)->filterIndex, 2);

    FileDialogOptions open;
    open.defaultExt = "txt";
    open.fileMustExist = true;
    questions.clear();
    names = {dir.File("missing"), dir.Path(), dir.File("old")};
    EXPECT_EQ(OpenDialog(open)->path, dir.File("old.txt"));
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_NE(questions[0].find(dir.File("missing.txt") + "\nFile not found"), std::string::npos);
    EXPECT_NE(questions[1].find("folder"), std::string::npos);
    names = {""};
    EXPECT_FALSE(OpenDialog(open));

    SetFileDialogHook({});
    SetMessageDlgHook({});
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

// The real message boxes: the program's title, and text as wide as its widest
// line; a line wider than half the screen wraps evenly, never leaving its last
// word alone.
TEST(MessageDialogs, CarryTheTitleAndFitTheirText)
{
    SetApplicationTitle("Vantelox SMS Repeater Installation Utility");
    const std::string texts[] = {
        "If you Abandon this deployment, the Repeater will be permanently disabled\n"
        "until a successful Deployment has been performed.\n\nAre you sure you want to Abandon this deployment?",
        "Längere If you Abandon this deployment, the Repeater will be permanently disabled (erweitert) and "
        "longer still, so that it takes more than half of any screen\nLängere Are you sure? (erweitert)",
        "Failed to connect to the Vigilator Interface Unit.",
    };
    struct Paragraph {
        bool fits; // in half the screen
        int lines;
        QString last;
    };
    for (const std::string& text : texts) {
        std::string title;
        std::vector<Paragraph> shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle().toStdString();
            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            ASSERT_NE(label, nullptr);
            const int half = box->screen()->availableGeometry().width() / 2;
            for (const QString& paragraph : label->text().split('\n')) {
                QTextLayout layout(paragraph, label->font());
                layout.beginLayout();
                for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
                    line.setLineWidth(label->contentsRect().width());
                layout.endLayout();
                const QTextLine last = layout.lineAt(layout.lineCount() - 1);
                shown.push_back({label->fontMetrics().horizontalAdvance(paragraph) <= half, layout.lineCount(),
                                 paragraph.mid(last.textStart(), last.textLength()).trimmed()});
            }
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        });
        EXPECT_EQ(MessageDlg(text, MsgDlgType::Warning, mbYes | mbNo), mrNo);
        EXPECT_EQ(title, "Vantelox SMS Repeater Installation Utility");
        ASSERT_FALSE(shown.empty());
        for (const Paragraph& p : shown) {
            if (p.fits)
                EXPECT_EQ(p.lines, 1) << p.last.toStdString();
            else
                EXPECT_TRUE(p.last.contains(' ')) << "alone on the last line: " << p.last.toStdString();
        }
    }
    // The exception display's box too.
    std::string title;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle().toStdString();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    HandleException(std::make_exception_ptr(std::runtime_error("Write error")));
    EXPECT_EQ(title, "Vantelox SMS Repeater Installation Utility");
    SetApplicationTitle("");
}
