// Every window of the program, the main one with every page of its tabs, in
// English and in a language whose every text is longer: no caption is wider
// than its control, no control sticks out of its parent and no two controls
// side by side overlap. With KVT_SCREENSHOT_DIR set, each window is also
// saved there as a PNG.
#include "app/LangTestSupport.h"
#include "app/Languages.h"
#include "tools/About.h"
#include "tools/Author.h"
#include "tools/Comms.h"
#include "tools/Distoptions.h"
#include "tools/History.h"
#include "tools/Options.h"
#include "tools/Msglog.h"
#include "tools/MultiRowTabs.h"
#include "tools/Password.h"
#include "tools/Readconfig.h"
#include "tools/Readdebuglogs.h"
#include "tools/Rtfm.h"
#include "tools/Splashscreen.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// Controls whose geometry is the window's own (not those inside Qt's compound widgets).
bool IsOurs(const QWidget* w)
{
    const QString name = w->objectName();
    return !name.isEmpty() && !name.startsWith("qt_");
}

// What is wrong with the window's sizing, one line per fault.
std::vector<std::string> SizingFaults(QWidget& window)
{
    std::vector<std::string> faults;
    auto fault = [&](const QWidget* w, const std::string& what) {
        faults.push_back(window.objectName().toStdString() + "." + w->objectName().toStdString() + ": " + what);
    };
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!IsOurs(w) || w->isHidden())
            continue;
        // Inside its parent, clear of the controls beside it.
        const QWidget* parent = w->parentWidget();
        if (IsOurs(parent) || parent == &window) {
            if (!parent->rect().contains(w->geometry()))
                fault(w, "outside its parent");
            for (const QObject* o : parent->children()) {
                const auto* sibling = qobject_cast<const QWidget*>(o);
                if (sibling && sibling != w && IsOurs(sibling) && !sibling->isHidden() &&
                    w->objectName() < sibling->objectName() && w->geometry().intersects(sibling->geometry()))
                    fault(w, "overlaps " + sibling->objectName().toStdString());
            }
        }
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            const QStyle* style = box->style();
            const int mark = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                             (box->text().isEmpty() ? 0 : style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box));
            if (CaptionWidth(box, box->text()) + mark > box->width())
                fault(w, "caption wider than the box");
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            if (CaptionWidth(button, button->text()) + 8 > button->width())
                fault(w, "caption wider than the button");
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->pixmap().isNull() && !label->wordWrap() && label->sizeHint().width() > label->width())
                fault(w, "text wider than the label");
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (!combo->isEditable() && combo->sizeHint().width() > combo->width())
                fault(w, "items wider than the list");
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            if (CaptionWidth(group, group->title()) + 16 > group->width())
                fault(w, "title wider than the frame");
        } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            int sum = 0;
            for (int i = 0; i < tabs->count(); ++i) {
                const int tab = tabs->tabBar()->tabRect(i).width();
                if (CaptionWidth(tabs->tabBar(), tabs->tabText(i)) > tab)
                    fault(w, "tab caption wider than its tab");
                sum += tab;
            }
            if (sum > tabs->width())
                fault(w, "tabs need scroll arrows");
        } else if (auto* rows = qobject_cast<TMultiRowTabs*>(w)) {
            for (int i = 0; i < rows->count(); ++i) {
                if (CaptionWidth(rows, rows->tabText(i)) > rows->tabRect(i).width())
                    fault(w, "tab caption wider than its tab");
                if (!rows->rect().contains(rows->tabRect(i)))
                    fault(w, "tab outside the control");
            }
        }
    }
    // The main window keeps its configuration tabs in one row: with every
    // text of the generated language a hundred pixels longer they need more
    // than a small screen's width, which the tool windows never do.
    if ((window.width() > 1280 && &window != formMain) || window.height() > 1024)
        faults.push_back(window.objectName().toStdString() + ": larger than a small screen");
    return faults;
}

void Screenshot(QWidget& window, const std::string& language)
{
    const char* dir = std::getenv("KVT_SCREENSHOT_DIR");
    if (!dir || !*dir)
        return;
    window.grab().save(QString("%1/%2-%3.png").arg(dir, window.objectName(), QString::fromStdString(language)));
}

using Window = std::unique_ptr<QWidget>;
using Factory = std::function<Window(TformMain*)>;

std::vector<Factory> Windows()
{
    return {
        [](TformMain* f) { return Window(new TformPassword(f)); },
        [](TformMain* f) { return Window(new TformComms(f)); },
        [](TformMain* f) { return Window(new TformAdminOptions(f)); },
        [](TformMain* f) { return Window(new TformDistOptions(f)); },
        [](TformMain* f) { return Window(new TformAbout(f)); },
        [](TformMain* f) { return Window(new TformHistory(f)); },
        [](TformMain* f) { return Window(new TformAuthor(f)); },
        [](TformMain* f) { return Window(new TformSplash(f)); },
        [](TformMain* f) { return Window(new TformRTFM(f)); },
        [](TformMain* f) { return Window(new TformReadConfig(f)); },
        [](TformMain* f) { return Window(new TformDebugLogs(f)); },
        [](TformMain* f) { return Window(new TformMsgLog(f)); },
    };
}

class WindowSizing : public MainWindowTest, public ::testing::WithParamInterface<const char*> {};

} // namespace

// Every page of every tab control of the window in turn, with the pages that
// hold that tab control in front; each is checked and, when asked, saved.
void CheckEveryPage(QWidget& window, const std::string& library)
{
    std::vector<std::function<void()>> pages;
    for (QTabWidget* tabs : window.findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i)
            pages.push_back([tabs, i] {
                for (QWidget* w = tabs; w; w = w->parentWidget())
                    if (auto* outer = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr))
                        outer->setCurrentWidget(w);
                tabs->setCurrentIndex(i);
            });
    for (TMultiRowTabs* tabs : window.findChildren<TMultiRowTabs*>())
        for (int i = 0; i < tabs->count(); ++i)
            pages.push_back([tabs, i] { tabs->setCurrentIndex(i); });
    if (pages.empty())
        pages.push_back([] {});
    for (size_t i = 0; i < pages.size(); ++i) {
        pages[i]();
        QCoreApplication::processEvents();
        for (const std::string& fault : SizingFaults(window))
            ADD_FAILURE() << library << ": " << fault;
        Screenshot(window, pages.size() == 1 ? library : library + "-" + std::to_string(i));
    }
}

TEST_P(WindowSizing, NoCaptionWiderThanItsControl)
{
    const std::string library = GetParam();
    TformMain& f = Create(library == "English" ? "" : library);
    // The main window with every tab on show, as the administrator and the
    // distributor see it, without its reminder and connection.
    f.show();
    f.timerPostShow->SetEnabled(false);
    f.adminOptions |= 1;
    f.distOptions |= 1;
    f.ShowConfigurationTab(true);
    f.ShowEngineeringTab(true);
    CheckEveryPage(f, library);
    for (const Factory& make : Windows()) {
        Window window = make(&f);
        window->setAttribute(Qt::WA_DeleteOnClose, false); // the test frees it
        window->show();
        QCoreApplication::processEvents();
        CheckEveryPage(*window, library);
        window->close();
    }
}

std::string LanguageName(const ::testing::TestParamInfo<const char*>& param)
{
    return std::string(param.param) == "English" ? "English" : "Longer";
}

INSTANTIATE_TEST_SUITE_P(Languages, WindowSizing, ::testing::Values("English", "Longer.dll"), LanguageName);
