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

namespace {
std::string S(const QString& text)
{
    return text.toStdString();
}
} // namespace

using AboutOnMainWindow = MainWindowTest;

TEST_F(AboutOnMainWindow, FixedTitleAndTheLibrarysLanguagePack)
{
    TformAbout alone(nullptr);
    EXPECT_EQ(S(alone.windowTitle()), " About Vantelox SMS Repeater Installation Utility");
    EXPECT_EQ(S(alone.labelVersion->text()), "Vantelox SMS Repeater Installation Utility V1.01");
    EXPECT_EQ(S(alone.labelLanguageVersion->text()), "Language Pack ");

    TformMain& f = Create("Dense.dll");
    ModalScript script;
    script.Then([](QDialog& d) {
        auto& about = dynamic_cast<TformAbout&>(d);
        EXPECT_EQ(S(about.labelLanguageVersion->text()), "Language Pack L0 309");
        EXPECT_EQ(S(about.windowTitle()), " About Vantelox SMS Repeater Installation Utility");
        QTest::mouseClick(about.OK_Btn, Qt::LeftButton);
    });
    f.menuAbout->trigger();
    EXPECT_EQ(script.results, std::vector<int>{1});
}

TEST(AboutWindow, HistoryAndContactAreModalAndTheirPointersEmptyAfterwards)
{
    ModalScript script;
    script
        .Then([](QDialog& d) {
            auto& about = dynamic_cast<TformAbout&>(d);
            QTest::mouseClick(about.btnShowHistory, Qt::LeftButton);
            QTest::mouseDClick(about.imageDrosenLogo, Qt::LeftButton);
            ModalScript::Escape(about.OK_Btn);
        })
        .Then([](QDialog& d) {
            EXPECT_EQ(&d, static_cast<QDialog*>(formHistory));
            EXPECT_TRUE(formHistory->Memo1->isReadOnly());
            QTest::mouseClick(formHistory->BitBtn1, Qt::LeftButton);
        })
        .Then([](QDialog& d) {
            EXPECT_EQ(&d, static_cast<QDialog*>(formAuthor));
            ModalScript::Escape(formAuthor->Email_Text);
        });
    TformAbout about(nullptr);
    EXPECT_EQ(platform::ExecModal(about), 2);
    EXPECT_EQ(script.opened, (std::vector<std::string>{"formAbout", "formHistory", "formAuthor"}));
    EXPECT_EQ(script.results, (std::vector<int>{1, 2, 2}));
    EXPECT_EQ(formHistory, nullptr);
    EXPECT_EQ(formAuthor, nullptr);
}

TEST(ContactWindow, LinksOpenThroughTheShellAndMailAndWebUnderlineOnHover)
{
    std::vector<std::string> opened;
    platform::SetShellOpenHook([&](const std::string& what) { opened.push_back(what); });
    TformAuthor w(nullptr);
    w.show();
    const std::pair<QLabel*, std::string> cases[] = {
        {w.Label7, "MailTo:support@example.com"}, {w.Email_Text, "MailTo:support@example.com"},
        {w.Www_Text, "https://www.example.com"},  {w.Tarvo_Logo, "https://group.example.com"},
        {w.Address_1, kContactMap},               {w.Address_2, kContactMap},
        {w.Address_3, kContactMap},               {w.Address_5, kContactMap},
        {w.Address_4, "https://www.example.com/contact"}, {w.imageDrosenLogo, "https://www.example.com/contact"},
        {w.Label8, ""},                           {w.Label10, ""},
    };
    for (const auto& [item, link] : cases) {
        opened.clear();
        QTest::mouseClick(item, Qt::LeftButton, Qt::NoModifier, item->rect().center());
        EXPECT_EQ(opened, link.empty() ? std::vector<std::string>{} : std::vector<std::string>{link})
            << S(item->objectName());
        EXPECT_EQ(item->cursor().shape(), link.empty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    }
    platform::SetShellOpenHook({});
    for (QLabel* link : {w.Email_Text, w.Www_Text, w.Address_1}) {
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QCoreApplication::sendEvent(link, &enter);
        EXPECT_EQ(link->font().underline(), link != w.Address_1);
        QCoreApplication::sendEvent(link, &leave);
        EXPECT_FALSE(link->font().underline());
    }
}
