#pragma once
// The about window: title, version and language-pack version, a licence
// text, and the ways to the version history and to the maker's contact window.
#include <QDialog>
#include <QPixmap>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TformMain;

// The program's title: the application title, which message boxes carry, and
// the about window's (never translated).
inline constexpr const char* kProgramTitle = "Vantelox SMS Repeater Installation Utility";
inline constexpr const char* kAboutVersion = "V1.01";

class TformAbout : public QDialog {
public:
    // The language-pack version is the owner's captionSuffix (none without an owner).
    explicit TformAbout(TformMain* owner);
    ~TformAbout() override;

    QFrame* Panel4 = nullptr;
    QLabel* labelVersion = nullptr;
    QLabel* labelLanguageVersion = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* imageDrosenLogo = nullptr;
    QFrame* Version_Panel = nullptr;
    QPlainTextEdit* Disclaimer_Memo = nullptr;
    QFrame* Line_2 = nullptr;
    QPushButton* btnShowHistory = nullptr;
    QPushButton* OK_Btn = nullptr;

    void FormCreate();
    void btnShowHistoryClick();
    void imageDrosenLogoDblClick();

    void reject() override; // close box and Escape: 2

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TformMain* form_;
};

// The maker's logo and the group's logo, drawn at `size`.
QPixmap MakerLogo(QSize size);
QPixmap GroupLogo(QSize size);
