// The about window with the version history and the contact window it opens.
#include "app/LangTestSupport.h"
#include "platform/Shell.h"
#include "tools/About.h"
#include "tools/Author.h"
#include "tools/History.h"
#include "tools/ModalScript.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

std::string S(const QString& text)
{
    return text.toStdString();
}

class ShellRecorder {
public:
    ShellRecorder()
    {
        platform::SetShellOpenHook([this](const std::string& what) { opened.push_back(what); });
    }
    ~ShellRecorder() { platform::SetShellOpenHook({}); }
    std::vector<std::string> opened;
};

using AboutOnMainWindow = MainWindowTest;

} // namespace

TEST(AboutWindow, FixedTitleVersionAndAnEmptyLanguagePack)
{
    TformAbout window(nullptr);
    EXPECT_EQ(S(window.windowTitle()), " About Vantelox SMS Repeater Installation Utility");
    EXPECT_EQ(S(window.labelVersion->text()), "Vantelox SMS Repeater Installation Utility V1.01");
    EXPECT_EQ(S(window.labelLanguageVersion->text()), "Language Pack ");
    EXPECT_TRUE(window.Disclaimer_Memo->isReadOnly());
    EXPECT_EQ(window.Disclaimer_Memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_FALSE(window.Disclaimer_Memo->toPlainText().isEmpty());
    EXPECT_EQ(S(window.btnShowHistory->text()), "Show &Version History ...");
}

TEST_F(AboutOnMainWindow, LanguagePackIsTheLibrarysSuffixAndTheTitleIsNeverTranslated)
{
    TformMain& f = Create("Dense.dll");
    ModalScript script;
    script.Then([](QDialog& d) {
        auto& about = dynamic_cast<TformAbout&>(d);
        EXPECT_EQ(S(about.labelLanguageVersion->text()), "Language Pack L0 309");
        EXPECT_EQ(S(about.windowTitle()), " About Vantelox SMS Repeater Installation Utility");
        QTest::mouseClick(about.OK_Btn, Qt::LeftButton);
    });
    f.menuAbout->trigger();
    EXPECT_EQ(script.opened, std::vector<std::string>{"formAbout"});
    EXPECT_EQ(script.results, std::vector<int>{1});
    EXPECT_TRUE(f.findChildren<QDialog*>().isEmpty());
}

TEST(AboutWindow, HistoryAndContactAreModalAndTheirPointersEmptyAfterwards)
{
    ModalScript script;
    TformHistory* historyWhileShown = nullptr;
    TformAuthor* authorWhileShown = nullptr;
    script
        .Then([](QDialog& d) {
            QTest::mouseClick(dynamic_cast<TformAbout&>(d).btnShowHistory, Qt::LeftButton);
            auto* logo = dynamic_cast<TformAbout&>(d).imageDrosenLogo;
            QTest::mouseDClick(logo, Qt::LeftButton, Qt::NoModifier, logo->rect().center());
            ModalScript::Escape(dynamic_cast<TformAbout&>(d).OK_Btn);
        })
        .Then([&](QDialog& d) {
            historyWhileShown = formHistory;
            EXPECT_EQ(&d, static_cast<QDialog*>(formHistory));
            EXPECT_EQ(S(d.windowTitle()), "Version History Information");
            EXPECT_TRUE(formHistory->Memo1->isReadOnly());
            EXPECT_TRUE(formHistory->Memo1->toPlainText().contains("V1.01"));
            QTest::mouseClick(formHistory->BitBtn1, Qt::LeftButton);
        })
        .Then([&](QDialog& d) {
            authorWhileShown = formAuthor;
            EXPECT_EQ(&d, static_cast<QDialog*>(formAuthor));
            ModalScript::Escape(formAuthor->Email_Text);
        });
    TformAbout about(nullptr);
    EXPECT_EQ(platform::ExecModal(about), 2);
    EXPECT_EQ(script.opened, (std::vector<std::string>{"formAbout", "formHistory", "formAuthor"}));
    EXPECT_EQ(script.results, (std::vector<int>{1, 2, 2}));
    EXPECT_NE(historyWhileShown, nullptr);
    EXPECT_NE(authorWhileShown, nullptr);
    EXPECT_EQ(formHistory, nullptr);
    EXPECT_EQ(formAuthor, nullptr);
    EXPECT_TRUE(about.findChildren<QDialog*>().isEmpty());
}

TEST(ContactWindow, EveryLinkOpensThroughTheShellAndPointsAtPlaceholders)
{
    ShellRecorder shell;
    TformAuthor window(nullptr);
    window.show();
    struct Case {
        QLabel* item;
        const char* link;
    };
    const Case cases[] = {
        {window.Label7, "MailTo:support@example.com"},  {window.Email_Text, "MailTo:support@example.com"},
        {window.Www_Text, "https://www.example.com"},   {window.Tarvo_Logo, "https://group.example.com"},
        {window.Address_1, kContactMap},                {window.Address_2, kContactMap},
        {window.Address_3, kContactMap},                {window.Address_5, kContactMap},
        {window.Address_4, "https://www.example.com/contact"},
        {window.imageDrosenLogo, "https://www.example.com/contact"},
    };
    for (const Case& c : cases) {
        shell.opened.clear();
        QTest::mouseClick(c.item, Qt::LeftButton, Qt::NoModifier, c.item->rect().center());
        EXPECT_EQ(shell.opened, std::vector<std::string>{c.link}) << S(c.item->objectName());
        EXPECT_EQ(c.item->cursor().shape(), Qt::PointingHandCursor);
    }
    shell.opened.clear();
    for (QLabel* plain : {window.Label8, window.Label9, window.Label10, window.Label16})
        QTest::mouseClick(plain, Qt::LeftButton, Qt::NoModifier, plain->rect().center());
    EXPECT_TRUE(shell.opened.empty());
    // Nothing but placeholder addresses.
    for (QLabel* label : window.findChildren<QLabel*>()) {
        const std::string link = window.LinkOf(label);
        if (!link.empty()) {
            EXPECT_NE(link.find("example.com"), std::string::npos) << link;
        }
    }
}

TEST(ContactWindow, MailAndWebUnderlineWhileTheMouseIsOverThem)
{
    TformAuthor window(nullptr);
    for (QLabel* link : {window.Email_Text, window.Www_Text}) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(link, &enter);
        EXPECT_TRUE(link->font().underline());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(link, &leave);
        EXPECT_FALSE(link->font().underline());
    }
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(window.Address_1, &enter);
    EXPECT_FALSE(window.Address_1->font().underline());
}
