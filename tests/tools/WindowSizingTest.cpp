// Every window of the program, the main one with every page of its tabs, in
// English and in a language whose every text is longer: no caption is wider
// than its control, no control sticks out of its parent, no two controls side
// by side overlap and every window lies on the test programs' 1024 x 768
// screen. A switch of the main window to the other language and back gives
// every control the place and size of a fresh start. With KVT_SCREENSHOT_DIR
// set, each window is also saved there as a PNG.
#include "app/LangTestSupport.h"
#include "app/Languages.h"
#include "platform/ScreenFit.h"
#include "link/Serial.h"
#include "tools/Rftest.h"
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
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>

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
            // A list keeps the measure of its first items: a new one measures them now.
            QComboBox fresh;
            fresh.setFont(combo->font());
            for (int i = 0; i < combo->count(); ++i)
                fresh.addItem(combo->itemText(i));
            if (!combo->isEditable() && fresh.sizeHint().width() > combo->width())
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
            if (sum > tabs->width() && !tabs->usesScrollButtons())
                fault(w, "tabs out of reach");
        } else if (auto* view = qobject_cast<QTreeWidget*>(w)) {
            // A cell cut while the list has room to show it whole.
            int room = view->viewport()->width();
            for (int c = 0; c < view->columnCount(); ++c)
                room -= view->columnWidth(c);
            for (int r = 0; r < view->topLevelItemCount(); ++r)
                for (int c = 0; c < view->columnCount(); ++c) {
                    const int short_ = view->sizeHintForIndex(view->model()->index(r, c)).width() - view->columnWidth(c);
                    if (short_ > 0 && short_ <= room)
                        fault(w, "cell of column " + std::to_string(c) + " cut with room to spare");
                }
        } else if (auto* rows = qobject_cast<TMultiRowTabs*>(w)) {
            for (int i = 0; i < rows->count(); ++i) {
                if (CaptionWidth(rows, rows->tabText(i)) > rows->tabRect(i).width())
                    fault(w, "tab caption wider than its tab");
                if (!rows->rect().contains(rows->tabRect(i)))
                    fault(w, "tab outside the control");
            }
        }
    }
    if (&window == formMain) {
        // The page controls and the window grow only for what they hold: no
        // empty band right of every page, none right of the page control.
        // The telephone-book buttons stand at their page's right edge.
        const std::set<QString> followPage = {"btnHostNum", "btnEngNum", "btnAlarmNum"};
        for (QTabWidget* tabs : window.findChildren<QTabWidget*>()) {
            int right = 0;
            for (int i = 0; i < tabs->count(); ++i)
                for (QObject* o : tabs->widget(i)->children()) {
                    auto* w = qobject_cast<QWidget*>(o);
                    if (!w || !IsOurs(w) || w->isHidden())
                        continue;
                    if (!followPage.count(w->objectName()))
                        right = std::max(right, w->geometry().right());
                    else if (w->geometry().right() + 1 != w->parentWidget()->width() - 8)
                        fault(w, "not at the right edge of its page");
                }
            if (tabs->widget(0)->width() - right > 16)
                faults.push_back(tabs->objectName().toStdString() + ": wider than its pages need");
        }
        int right = 0;
        for (QObject* o : formMain->centralwidget->children())
            if (auto* w = qobject_cast<QWidget*>(o); w && w != formMain->panelHeader && !w->isHidden())
                right = std::max(right, w->geometry().right());
        if (window.width() - right > 16)
            faults.push_back("formMain: wider than its controls need");
        // The lamps and the battery gauge stay in view however far the window is scrolled.
        auto* scroll = qobject_cast<QScrollArea*>(formMain->centralWidget());
        QScrollBar* bar = scroll->horizontalScrollBar();
        for (const int value : {bar->maximum(), bar->minimum()}) {
            bar->setValue(value);
            for (const QWidget* lamp : std::initializer_list<const QWidget*>{formMain->ledTx, formMain->ledRx, formMain->imageBattery100})
                if (!scroll->viewport()->rect().contains(QRect(lamp->mapTo(scroll->viewport(), QPoint()), lamp->size())))
                    fault(lamp, "out of view");
        }
    }
    if (!platform::AvailableArea(&window).contains(window.frameGeometry()))
        faults.push_back(window.objectName().toStdString() + ": not all on the screen");
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

// Where every control of the main window is and how large, in the order of
// the window's children; the window by its size alone (a larger one may have
// been moved to stay on the screen).
using Places = std::vector<std::pair<std::string, QRect>>;

Places PlacesOf(TformMain& f)
{
    Places places = {{"window", QRect(QPoint(), f.size())}};
    // Not the menus, nor the scroll arrows of a row of tabs.
    for (QWidget* w : f.findChildren<QWidget*>())
        if (IsOurs(w) && !w->isWindow() && !qobject_cast<QTabBar*>(w->parentWidget()))
            places.emplace_back(w->objectName().toStdString(), w->geometry());
    for (int c = 0; c < f.viewDatabase->columnCount(); ++c)
        places.emplace_back("viewDatabase column " + std::to_string(c), QRect(0, 0, f.viewDatabase->columnWidth(c), 0));
    return places;
}

// The user picks a language from the Language menu.
void PickLanguage(TformMain& f, int index)
{
    QMenu* menu = f.menuLanguage;
    menu->popup(f.mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(index)).center());
    QCoreApplication::processEvents();
    ASSERT_TRUE(menu->actions().at(index)->isChecked());
}

// The language library's first language has the longer texts, its second is English.
constexpr int kLonger = 0, kEnglish = 1;

TEST_P(WindowSizing, NoCaptionWiderThanItsControlAndAllOnTheScreen)
{
    const std::string library = GetParam();
    const int language = library == "English" ? kEnglish : kLonger;
    StoreLanguage(language);
    TformMain& f = Create("Longer.dll");
    // The main window with every tab on show, as the administrator and the
    // distributor see it, without its reminder and connection.
    f.show();
    f.timerPostShow->SetEnabled(false);
    f.adminOptions |= 1;
    f.distOptions |= 1;
    f.ShowConfigurationTab(true);
    f.ShowEngineeringTab(true);
    // A row of the database list, as a read of the repeater's database gives it.
    TMsgRecord entry;
    const uint8_t bytes[] = {0xA8, 0xE9, 1, 2, 3, 0, 0x65, 0x4A, 0x3B, 0x2C, 0x12, 0x34, 0x56, 0x85, 0x84, 200, 0x0F};
    entry.length = sizeof bytes;
    std::copy(std::begin(bytes), std::end(bytes), entry.data);
    AddLoggerRecord(&f, &entry);
    // Settled: with no window manager the window is fitted to the screen
    // once more when it has waited for its frame.
    QTRY_VERIFY_WITH_TIMEOUT(f.findChild<QTimer*>("framePoll") == nullptr, 20000);
    QCoreApplication::processEvents();
    const Places fresh = PlacesOf(f);

    // To the other language and back: every control as at a fresh start.
    PickLanguage(f, language == kEnglish ? kLonger : kEnglish);
    const Places other = PlacesOf(f);
    for (const std::string& fault : SizingFaults(f))
        ADD_FAILURE() << "after a switch from " << library << ": " << fault;
    PickLanguage(f, language);
    const Places back = PlacesOf(f);
    ASSERT_EQ(back.size(), fresh.size());
    for (size_t i = 0; i < fresh.size(); ++i)
        EXPECT_EQ(back[i], fresh[i]) << "after a switch and back";
    // Fields for numbers and texts are never narrower than in English.
    const Places& english = language == kEnglish ? fresh : other;
    const Places& longer = language == kEnglish ? other : fresh;
    for (size_t i = 0; i < fresh.size(); ++i) {
        const auto* w = f.findChild<QWidget*>(QString::fromStdString(fresh[i].first));
        const auto* combo = qobject_cast<const QComboBox*>(w);
        if (qobject_cast<const QLineEdit*>(w) || (combo && combo->isEditable())) {
            EXPECT_GE(longer[i].second.width(), english[i].second.width()) << fresh[i].first;
        }
    }

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
    return param.param;
}

INSTANTIATE_TEST_SUITE_P(Languages, WindowSizing, ::testing::Values("English", "Longer"), LanguageName);
