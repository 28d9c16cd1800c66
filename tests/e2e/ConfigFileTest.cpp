// A configuration file saved from the File menu of a running program and
// loaded into the next run gives back the configuration page exactly.
#include "Clicks.h"
#include "Harness.h"
#include "platform/FileDialogs.h"
#include "support/ConfigPageState.h"
#include "support/FileBytes.h"

#include <QMenuBar>
#include <QTest>

namespace {

class ConfigFileEndToEnd : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        platform::SetFileDialogHook([this](platform::FileDialogKind, const platform::FileDialogOptions&)
                                        -> std::optional<platform::FileDialogResult> {
            return platform::FileDialogResult{chosen, 1};
        });
    }
    void TearDown() override
    {
        platform::SetFileDialogHook({});
        EndToEnd::TearDown();
    }

    void ChooseFromFileMenu(QAction* item, const std::string& path)
    {
        chosen = path;
        QMenuBar* bar = form->menubar;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->menuFile->menuAction()).center());
        ASSERT_TRUE(form->menuFile->isVisible());
        QTest::mouseClick(form->menuFile, Qt::LeftButton, {}, form->menuFile->actionGeometry(item).center());
    }

    std::string chosen;
};

TEST_F(ConfigFileEndToEnd, SavedPageComesBackInTheNextRun)
{
    StartAndConnect();
    FillConfigPage(form, 5);
    // And what the user changes by hand.
    QCheckBox* box = form->configItems[5].box;
    const bool wasTicked = box->isChecked();
    clicks::Click(box);
    EXPECT_NE(box->isChecked(), wasTicked);
    clicks::Type(form->editApn, 'q');
    const std::vector<std::string> page = ConfigPageState(form);
    const std::string saved = dir.File("site 12.kvt");
    ChooseFromFileMenu(form->menuSave, dir.File("site 12"));
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(ReadAll(saved).rfind("[Config]\r\nTx Status 1=", 0), 0u);

    form->close();
    delete form;
    form = nullptr;
    formMain = nullptr;
    Start();
    // Start from the load defaults, whatever the settings brought back.
    const std::string empty = dir.File("empty.kvt");
    WriteAll(empty, "[Config]\r\n");
    ChooseFromFileMenu(form->menuLoad, empty);
    EXPECT_NE(ConfigPageState(form), page);
    ChooseFromFileMenu(form->menuLoad, saved);
    const std::vector<std::string> loaded = ConfigPageState(form);
    ASSERT_EQ(loaded.size(), page.size());
    for (size_t i = 0; i < page.size(); ++i)
        EXPECT_EQ(loaded[i], page[i]);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(beeps.empty());

    // Saved again, the file is the same byte for byte.
    const std::string again = dir.File("again.kvt");
    ChooseFromFileMenu(form->menuSave, again);
    EXPECT_EQ(ReadAll(again), ReadAll(saved));
}

} // namespace
