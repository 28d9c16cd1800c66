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
#include <QRegularExpression>
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
// word alone, nor cutting a word narrower than half the screen. The box is
// wide enough for its title in a window manager's bold title bar.
TEST(MessageDialogs, CarryTheTitleAndFitTheirText)
{
    SetApplicationTitle("Vantelox SMS Repeater Installation Utility");
    const struct {
        std::string text;
        bool longWord = false; // wider than half the screen: it may wrap
    } rows[] = {
        {"If you Abandon this deployment, the Repeater will be permanently disabled\n"
         "until a successful Deployment has been performed.\n\nAre you sure you want to Abandon this deployment?"},
        {"Längere If you Abandon this deployment, the Repeater will be permanently disabled (erweitert) and "
         "longer still, so that it takes more than half of any screen\nLängere Are you sure? (erweitert)"},
        {"Failed to connect to the Vigilator Interface Unit."},
        {"Password is Incorrect."},
        {"Der Wiederholer meldet Donaudampfschifffahrtsgesellschaftskapitänswitwe als unbekannt, bitte prüfen"},
        {"The configuration could not be saved as /home/eng/north-site/rep-0042-config.kvt, please check the "
         "folder and try again"},
        {"/home/eng/north-site/rep-0042-config.kvt\nFile not found.\nCheck the file name and try again."},
        {"Ein Wort: ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ ist zu lang.", true},
    };
    const auto words = [](const QString& text) {
        std::vector<std::string> out;
        for (const QString& word : text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts))
            out.push_back(word.toStdString());
        return out;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::string title;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle().toStdString();
            QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
            titleFont.setBold(true);
            const QFontMetrics titleMetrics(titleFont);
            EXPECT_GE(box->width(), titleMetrics.horizontalAdvance(box->windowTitle()) + 4 * titleMetrics.height());
            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            ASSERT_NE(label, nullptr);
            // The lines as the label shows them; none runs past its edge.
            const int width = label->contentsRect().width();
            QTextOption option;
            option.setWrapMode(label->wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
            QStringList shown;
            for (const QString& paragraph : label->text().split('\n')) {
                QTextLayout layout(paragraph, label->font());
                layout.setTextOption(option);
                layout.beginLayout();
                for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
                    line.setLineWidth(width);
                layout.endLayout();
                for (int i = 0; i < layout.lineCount(); ++i) {
                    const QTextLine line = layout.lineAt(i);
                    shown.push_back(paragraph.mid(line.textStart(), line.textLength()));
                    EXPECT_LE(line.naturalTextWidth(), width) << "cut at the edge: " << shown.back().toStdString();
                }
            }
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
            if (row.longWord)
                return;
            // Every word whole, in its order; a paragraph that fits half the
            // screen on one line, a longer one with no word alone at its end.
            EXPECT_EQ(words(shown.join(' ')), words(QString::fromStdString(row.text)));
            const int half = box->screen()->availableGeometry().width() / 2;
            qsizetype next = 0;
            for (const QString& paragraph : QString::fromStdString(row.text).split('\n')) {
                auto left = std::ptrdiff_t(words(paragraph).size());
                size_t lines = 0, last = 0;
                do {
                    ASSERT_LT(next, shown.size());
                    last = words(shown[next++]).size();
                    left -= std::ptrdiff_t(last);
                    ++lines;
                } while (left > 0);
                if (label->fontMetrics().horizontalAdvance(paragraph) <= half)
                    EXPECT_EQ(lines, 1u) << paragraph.toStdString();
                else
                    EXPECT_GE(last, 2u) << "alone on the last line of: " << paragraph.toStdString();
            }
        });
        EXPECT_EQ(MessageDlg(row.text, MsgDlgType::Warning, mbYes | mbNo), mrNo);
        EXPECT_EQ(title, "Vantelox SMS Repeater Installation Utility");
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
