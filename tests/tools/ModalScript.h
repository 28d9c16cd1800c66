#pragma once
// Drives modal windows in the order they open: each step gets the window,
// shown, does what the user would (real clicks and keys) and returns; the
// window's result is then the modal result. A window opened when no step is
// left is closed with its close box. Names of the windows are recorded.
#include "platform/Modal.h"

#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTest>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class ModalScript {
public:
    using Step = std::function<void(QDialog&)>;

    // The hook it replaces (a fixture's, say) is back when the script ends.
    ModalScript() : before_(platform::SetModalHook([this](QDialog& dialog) { return Run(dialog); })) {}
    ~ModalScript() { platform::SetModalHook(std::move(before_)); }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    ModalScript& Then(Step step)
    {
        steps_.push_back(std::move(step));
        return *this;
    }

    std::vector<std::string> opened; // object names, in order
    std::vector<int> results;        // modal result of each

private:
    platform::ModalHook before_;

    int Run(QDialog& dialog)
    {
        opened.push_back(dialog.objectName().toStdString());
        dialog.setResult(0);
        dialog.show();
        QCoreApplication::processEvents();
        if (!steps_.empty()) {
            Step step = std::move(steps_.front());
            steps_.pop_front();
            step(dialog);
        }
        if (dialog.isVisible()) // no step, or the step left it open: the close box ends it
            CloseBox(dialog);
        results.push_back(dialog.result());
        return dialog.result();
    }

public:
    // The window's close box, as the window manager reports it.
    static void CloseBox(QDialog& dialog) { dialog.close(); }

    static void Escape(QWidget* focus) { QTest::keyClick(focus, Qt::Key_Escape); }

private:
    std::deque<Step> steps_;
};
