#pragma once
// The distributor options window: the option word distOptions (engineering
// tab, message log). It reads the word when shown and writes it only on OK.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TformMain;

class TformDistOptions : public QDialog {
public:
    // Texts come from the owner's language strings (English without an owner);
    // the word read and written is the owner's.
    explicit TformDistOptions(TformMain* owner);
    ~TformDistOptions() override;

    QWidget* clientArea = nullptr; // the window inside its border
    QTabWidget* pageControl = nullptr;
    QWidget* tabOptions = nullptr;
    QCheckBox* checkShowEngTab = nullptr;
    QCheckBox* checkAllowLog = nullptr;
    QWidget* tabAdminPassword = nullptr;
    QLabel* labelValidatePwd = nullptr;
    QLineEdit* editValidatePwd = nullptr;
    QPushButton* btnChangeAdminPwd = nullptr;
    QWidget* tabDistPassword = nullptr;
    QLabel* labelCurrentPwd = nullptr;
    QLabel* labelNewPwd = nullptr;
    QLabel* labelConfirm = nullptr;
    QLineEdit* editCurrentPwd = nullptr;
    QLineEdit* editNewPwd = nullptr;
    QLineEdit* editConfirm = nullptr;
    QPushButton* btnChangeDistPwd = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* labelDummy = nullptr; // hidden; measures the tab captions

    void ApplyLanguage();
    void FormShow();
    void btnOkClick();

    // The close box and Escape end the window with 2, as Cancel does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TformMain* form_;
    bool shown_ = false;
};
