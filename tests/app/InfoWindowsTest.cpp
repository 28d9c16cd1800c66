// The splash window, the user-guide reminder and the user-guide file search
// with the shell's "open".
#include "app/LangTestSupport.h"
#include "app/Languages.h"
#include "platform/Clock.h"
#include "platform/Shell.h"
#include "tools/Rtfm.h"
#include "tools/Splashscreen.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <filesystem>

namespace {

std::string S(const QString& text)
{
    return text.toStdString();
}

// Records what the shell would open.
class ShellRecorder {
public:
    ShellRecorder()
    {
        platform::SetShellOpenHook([this](const std::string& what) { opened.push_back(what); });
    }
    ~ShellRecorder() { platform::SetShellOpenHook({}); }
    std::vector<std::string> opened;
};

void Click(QWidget* widget)
{
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

} // namespace

// ------------------------------------------------------------ file search

TEST(UserGuideSearch, MatchesLikeTheWindowsSearchAndTakesTheLastInNameOrder)
{
    WorkingFolder folder;
    EXPECT_EQ(platform::FindLastFile(kUserGuidePattern), "");
    EXPECT_FALSE(platform::FirstFoundIsFile(kUserGuidePattern));

    folder.WriteFile("UGD-317-2045 Issue 2.pdf", "%PDF");
    folder.WriteFile("ugd-317-2045 issue 3.PDF", "%PDF"); // letter case does not matter
    folder.WriteFile("UGD-317-2045.pdf.bak", "");         // the pattern ends at ".pdf"
    folder.WriteFile("UGD-317-204.pdf", "");
    folder.WriteFile("XUGD-317-2045.pdf", "");
    const auto found = platform::FindEntries(kUserGuidePattern);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "UGD-317-2045 Issue 2.pdf");
    EXPECT_EQ(platform::FindLastFile(kUserGuidePattern), "ugd-317-2045 issue 3.PDF");
    EXPECT_TRUE(platform::FirstFoundIsFile(kUserGuidePattern));

    folder.WriteFile("a1b.txt", "");
    EXPECT_EQ(platform::FindLastFile("a?b.TXT"), "a1b.txt");
    EXPECT_EQ(platform::FindLastFile("a?b"), "");
}

TEST(UserGuideSearch, AFolderFirstInTheSearchIsNotAGuide)
{
    WorkingFolder folder;
    std::filesystem::create_directory(folder.File("UGD-317-2045 A.pdf"));
    folder.WriteFile("UGD-317-2045 B.pdf", "%PDF");
    EXPECT_FALSE(platform::FirstFoundIsFile(kUserGuidePattern));
    // The last match is taken whatever it is, as the search reports any entry.
    EXPECT_EQ(platform::FindLastFile(kUserGuidePattern), "UGD-317-2045 B.pdf");
}

TEST(ShellOpen, HandsTheNameToTheHook)
{
    ShellRecorder shell;
    platform::ShellOpen("UGD-317-2045.pdf");
    platform::ShellOpen("MailTo:someone@example.com");
    EXPECT_EQ(shell.opened, (std::vector<std::string>{"UGD-317-2045.pdf", "MailTo:someone@example.com"}));
}

// ------------------------------------------------------------ splash window

TEST(SplashWindow, ShowsTheNameAndAnEmptySuffixAfterThePoint)
{
    TformSplash splash(nullptr);
    EXPECT_EQ(S(splash.labelAppName->text()), "Vantelox SMS Repeater Installation Utility");
    EXPECT_EQ(S(splash.labelVersion->text()), "V1.01.");
    EXPECT_EQ(splash.labelAppName->x(), 784 / 2 - splash.labelAppName->width() / 2);
    EXPECT_EQ(splash.labelAppName->y(), 272);
    EXPECT_EQ(splash.labelVersion->y(), splash.labelAppName->y() + splash.labelAppName->height());
}

TEST(SplashWindow, ClosesItselfAfterThreeSeconds)
{
    platform::TimeControl::UseVirtualTime();
    bool openAt2999 = false, closedAt3000 = false;
    platform::SetModalHook([&](QDialog& dialog) {
        dialog.show();
        platform::TimeControl::Advance(2999);
        openAt2999 = dialog.isVisible();
        platform::TimeControl::Advance(1);
        closedAt3000 = !dialog.isVisible();
        return dialog.result();
    });
    ShowSplash(nullptr);
    platform::SetModalHook({});
    platform::TimeControl::UseRealTime();
    EXPECT_TRUE(openAt2999);
    EXPECT_TRUE(closedAt3000);
}

using SplashOnMainWindow = MainWindowTest;

TEST_F(SplashOnMainWindow, CarriesTheLanguagePackSuffixAndTheLanguagesName)
{
    StoreLanguage(1);
    TformMain& f = Create("Languages.dll");
    EXPECT_EQ(modals, std::vector<std::string>{"TformSplash"}); // shown by the create handler
    TformSplash splash(&f);
    EXPECT_EQ(S(splash.labelVersion->text()), "V1.01.07");
    EXPECT_EQ(S(splash.labelAppName->text()), "Warteschlange"); // German id 74
}

// ---------------------------------------------------- user-guide reminder

TEST(UserGuideWindow, EnglishTextsAndLayoutAroundThem)
{
    WorkingFolder folder;
    TformRTFM window(nullptr);
    EXPECT_EQ(S(window.windowTitle()), " Information");
    EXPECT_EQ(S(window.labelInfo1->text()),
              "Before using this software, please take the time to read the User Guide.");
    EXPECT_EQ(S(window.labelInfo2->text()), "It contains important information about its use and functions.");
    EXPECT_EQ(S(window.labelUserGuide->text()), "Click here to open the User Guide now");
    EXPECT_EQ(S(window.btnOk->text()), "O&K");
    EXPECT_EQ(S(window.checkNoShow->text()), "Do not show this message again");

    EXPECT_EQ(window.btnOk->width(), std::max(75, CaptionWidth(window.btnOk, "O&K") + 48));
    EXPECT_EQ(window.checkNoShow->width(), MarkedCaptionWidth(window.checkNoShow));
    const int widest = std::max({window.labelInfo1->width(), window.labelInfo2->width(),
                                 window.labelUserGuide->width(), window.checkNoShow->width()});
    const int client = window.labelInfo1->x() + widest + 32;
    EXPECT_EQ(window.clientArea->width(), client);
    EXPECT_EQ(window.btnOk->x(), (client - window.btnOk->width()) / 2);
    EXPECT_TRUE(window.labelUserGuide->isHidden()); // no guide here
}

TEST(UserGuideWindow, ResultIsTheBoxsStateHoweverTheWindowCloses)
{
    struct Case {
        bool tick;
        bool viaCloseBox;
        int expected;
    };
    for (const Case& c : {Case{true, true, 1}, Case{true, false, 1}, Case{false, true, 2}, Case{false, false, 2}}) {
        platform::SetModalHook([&](QDialog& dialog) {
            auto& window = dynamic_cast<TformRTFM&>(dialog);
            dialog.show();
            window.checkNoShow->setChecked(c.tick);
            if (c.viaCloseBox)
                dialog.close();
            else
                window.btnOk->click();
            return dialog.result();
        });
        EXPECT_EQ(ShowRtfm(nullptr), c.expected) << c.tick << c.viaCloseBox;
    }
    platform::SetModalHook({});
}

TEST(UserGuideWindow, LinkOpensTheLastGuideOrSaysItIsGone)
{
    WorkingFolder folder;
    ShellRecorder shell;
    folder.WriteFile("UGD-317-2045 v1.pdf", "%PDF");
    folder.WriteFile("UGD-317-2045 v2.pdf", "%PDF");
    TformRTFM window(nullptr);
    EXPECT_FALSE(window.labelUserGuide->isHidden());

    Click(window.labelUserGuide);
    EXPECT_EQ(shell.opened, std::vector<std::string>{"UGD-317-2045 v2.pdf"});

    std::filesystem::remove(folder.File("UGD-317-2045 v1.pdf"));
    std::filesystem::remove(folder.File("UGD-317-2045 v2.pdf"));
    Click(window.labelUserGuide);
    EXPECT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(S(window.labelUserGuide->text()), "<User Guide Not Found>");
    EXPECT_FALSE(window.labelUserGuide->isEnabled());
}

TEST(UserGuideWindow, LinkUnderlinesWhileTheMouseIsOverIt)
{
    WorkingFolder folder;
    folder.WriteFile("UGD-317-2045.pdf", "%PDF");
    TformRTFM window(nullptr);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(window.labelUserGuide, &enter);
    EXPECT_TRUE(window.labelUserGuide->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(window.labelUserGuide, &leave);
    EXPECT_FALSE(window.labelUserGuide->font().underline());
}

using UserGuideOnMainWindow = MainWindowTest;

TEST_F(UserGuideOnMainWindow, TextsComeFromTheChosenLanguage)
{
    TformMain& f = Create("Dense.dll");
    TformRTFM window(&f);
    EXPECT_EQ(S(window.windowTitle()), " L0 162");
    EXPECT_EQ(S(window.labelInfo1->text()), "L0 163");
    EXPECT_EQ(S(window.btnOk->text()), "L0 15");
    EXPECT_EQ(S(window.checkNoShow->text()), "L0 166");
}
