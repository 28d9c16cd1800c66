#pragma once
// Helpers for tests of the language strings and the information windows: a
// private working folder (the program looks for "Languages.dll" and the user
// guide there), the generated test language libraries, and a main window built
// on a private registry with every modal window skipped.
#include "app/Main.h"
#include "platform/Registry.h"
#include "support/MainWindowFixture.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

#ifndef KVT_LANGDLL_DIR
#error "KVT_LANGDLL_DIR must name the folder of the generated test language libraries"
#endif

// A test language library by file name (Languages.dll, Incomplete.dll, Dense.dll, ...).
inline std::string TestLibrary(const std::string& name)
{
    return std::string(KVT_LANGDLL_DIR) + "/" + name;
}

// Makes a fresh temporary folder the current directory for the test's lifetime.
class WorkingFolder {
public:
    WorkingFolder() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.Path()); }
    ~WorkingFolder()
    {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    std::string File(const std::string& name) const { return dir_.File(name); }

    // Puts a copy of a test library here as "Languages.dll".
    void InstallLibrary(const std::string& testLibraryName) const
    {
        std::filesystem::copy_file(TestLibrary(testLibraryName), File("Languages.dll"),
                                   std::filesystem::copy_options::overwrite_existing);
    }

    void WriteFile(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

private:
    TempDir dir_;
    std::filesystem::path previous_;
};

// The main window as start-up creates it, with its own working folder and registry.
// Modal windows shown meanwhile are recorded by object name and skipped.
class MainWindowTest : public MainWindowFixture {
protected:
    // Real time: the tests that want virtual time switch to it themselves.
    MainWindowTest() : MainWindowFixture(Time::Real) {}

    // Stores the chosen language as a previous run would have.
    void StoreLanguage(int32_t index)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool", true));
        reg.WriteInteger("Language", index);
        reg.CloseKey();
    }

    // Creates the main window (its create handler runs: language menu, strings,
    // splash) with `library` installed as "Languages.dll" ("" = none).
    TformMain& Create(const std::string& library = "")
    {
        if (!library.empty())
            folder.InstallLibrary(library);
        return form.Create();
    }

    WorkingFolder folder;
};
