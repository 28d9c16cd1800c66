#pragma once
// The password dialog in front of the options windows: one masked entry and
// OK. The caller compares the entry with the access codes itself.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class TformMain;

class TformPassword : public QDialog {
public:
    // Texts come from the owner's language strings (English without an owner).
    explicit TformPassword(TformMain* owner);
    ~TformPassword() override;

    QWidget* clientArea = nullptr; // the window inside its border
    QLabel* labelPasswordReq = nullptr;
    QLineEdit* editPassword = nullptr;
    QPushButton* btnOk = nullptr;

    void ApplyLanguage();

    // The close box and Escape end the dialog with 2, as Cancel would.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TformMain* form_;
};
