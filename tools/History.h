#pragma once
// The version history, opened from the about window.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TformHistory : public QDialog {
public:
    explicit TformHistory(QWidget* owner);
    ~TformHistory() override;

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

    void reject() override; // close box and Escape: 2
};

// The window while the about window shows it; null otherwise.
extern TformHistory* formHistory;
