#pragma once
// A test fixture with the main window as start-up creates it, on a registry
// file of its own in a private folder, with every modal window skipped (and
// recorded by object name) and, unless asked otherwise, on virtual time.
// Header-only: `testsupport` does not link the program; the test programs
// that include this do.
#include "app/Main.h"
#include "platform/Clock.h"
#include "platform/Modal.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

#include <QDialog>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

// Owns the main window under test and keeps formMain pointing at it. It
// converts to TformMain* so that it can be handed as it is to the program's
// functions that take the form.
class MainWindowHolder {
public:
    MainWindowHolder() = default;
    ~MainWindowHolder() { reset(); }
    MainWindowHolder(const MainWindowHolder&) = delete;
    MainWindowHolder& operator=(const MainWindowHolder&) = delete;

    // Closes the window there was, then creates a new one.
    TformMain& Create()
    {
        reset();
        window_ = std::make_unique<TformMain>();
        formMain = window_.get();
        return *window_;
    }

    // Closes the window; formMain still names it while it closes.
    void reset()
    {
        window_.reset();
        formMain = nullptr;
    }

    TformMain* get() const { return window_.get(); }
    TformMain* operator->() const { return window_.get(); }
    TformMain& operator*() const { return *window_; }
    operator TformMain*() const { return window_.get(); }

private:
    std::unique_ptr<TformMain> window_;
};

class MainWindowFixture : public ::testing::Test {
protected:
    enum class Time { Virtual, Real };

    explicit MainWindowFixture(Time time = Time::Virtual) : virtualTime_(time == Time::Virtual) {}

    void SetUp() override
    {
        if (virtualTime_)
            platform::TimeControl::UseVirtualTime();
        platform::SetRegistryFile(dir.File("registry.txt"));
        platform::SetModalHook([this](QDialog& dialog) {
            modals.push_back(dialog.objectName().toStdString());
            return 0;
        });
    }

    // Undoes SetUp in reverse, after closing the window.
    void TearDown() override
    {
        form.reset();
        platform::SetModalHook({});
        if (virtualTime_)
            platform::TimeControl::UseRealTime();
    }

    TempDir dir;                      // holds the registry file
    MainWindowHolder form;            // created by the test or its fixture: form.Create()
    std::vector<std::string> modals;  // object names of the modal windows skipped

private:
    bool virtualTime_;
};
