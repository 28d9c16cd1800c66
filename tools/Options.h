#pragma once
// The administrator options window: the option word adminOptions, the link
// retry interval and the RF test's patrol duration. It reads the main
// window's fields when shown and writes them back only on OK.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;
class TformMain;

class TformAdminOptions : public QDialog {
public:
    // Texts come from the owner's language strings (English without an owner);
    // the fields read and written are the owner's.
    explicit TformAdminOptions(TformMain* owner);
    ~TformAdminOptions() override;

    QWidget* clientArea = nullptr; // the window inside its border
    QTabWidget* pageControl = nullptr;
    QWidget* tabOptions = nullptr;
    QCheckBox* checkShowConfig = nullptr;
    QCheckBox* checkSetClock = nullptr;
    QCheckBox* checkShowWarning = nullptr;
    QCheckBox* checkForceSlowTx = nullptr;
    QLabel* labelWaitTime = nullptr;
    QSpinBox* spinWaitTime = nullptr;
    QLineEdit* editWaitTime = nullptr; // the up-down's own entry
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* labelPatrolDuration = nullptr;
    QSpinBox* spinPatrolTime = nullptr;
    QLineEdit* editPatrolDuration = nullptr;
    QLabel* Label1 = nullptr;
    QWidget* tabPassword = nullptr;
    QLabel* labelCurrent = nullptr;
    QLabel* labelNew = nullptr;
    QLabel* labelConfirm = nullptr;
    QLineEdit* editCurrent = nullptr;
    QLineEdit* editNew = nullptr;
    QLineEdit* editConfirm = nullptr;
    QPushButton* btnChangePwd = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

    void ApplyLanguage();
    void FormShow();
    void btnOkClick();
    void checkForceSlowTxClick();
    void checkShowConfigClick();

    // The close box and Escape end the window with 2, as Cancel does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TformMain* form_;
    bool shown_ = false;
};

// The password pages of the options windows (shared with the distributor
// window): a field at `y`, a masked entry in the symbol font's "l", and the
// change button below the fields, shown but never enabled.
QLineEdit* MakeOptionsPasswordEdit(QWidget* page, const char* name, int y, int width);
// A caption sized to its text, ending where the field below it starts.
void FitLabelAbove(QLabel* label, const QWidget* field);
QPushButton* MakeChangePasswordButton(QWidget* page, const char* name, int width);
