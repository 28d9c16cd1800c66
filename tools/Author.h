#pragma once
// The maker's contact window, opened from the about window: the contact
// details, with the mail address, web sites and address lines as links.
#include <QDialog>

#include <map>
#include <string>

class QLabel;

// Where each link leads (placeholders of the example.com domain).
inline constexpr const char* kContactMail = "MailTo:support@example.com";
inline constexpr const char* kContactWeb = "https://www.example.com";
inline constexpr const char* kContactPage = "https://www.example.com/contact";
inline constexpr const char* kGroupWeb = "https://group.example.com";
inline constexpr const char* kContactMap = "https://maps.example.com/?q=1+Example+Park+Sampletown";

class TformAuthor : public QDialog {
public:
    explicit TformAuthor(QWidget* owner);
    ~TformAuthor() override;

    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Email_Text = nullptr;
    QLabel* Www_Text = nullptr;
    QLabel* Tarvo_Logo = nullptr;
    QLabel* Address_1 = nullptr;
    QLabel* Address_2 = nullptr;
    QLabel* Address_3 = nullptr;
    QLabel* Address_4 = nullptr;
    QLabel* Address_5 = nullptr;
    QLabel* imageDrosenLogo = nullptr;

    // The link that a click on `item` opens ("" when it is no link).
    std::string LinkOf(const QLabel* item) const;

    void reject() override; // close box and Escape: 2

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::map<const QObject*, std::string> links_;
};

// The window while the about window shows it; null otherwise.
extern TformAuthor* formAuthor;
