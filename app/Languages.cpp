#include "app/Languages.h"

#include "app/Main.h"
#include "platform/ExceptionDisplay.h"
#include "platform/ResourceLibrary.h"
#include "platform/ScreenFit.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <algorithm>
#include <initializer_list>

namespace {

constexpr const char* kLibraryName = "Languages.dll";
constexpr const char* kVersion = "V1.01";
constexpr const char* kNoSuffix = "00";

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

// ================================================================= lookup

std::string GetLangString(const TLangStrings& strings, int id, const std::string& englishDefault)
{
    if (id < 0 || id >= kLangStringCount || strings[std::size_t(id)].empty())
        return englishDefault;
    return strings[std::size_t(id)];
}

std::string GetLangString(TformMain* form, int id, const std::string& englishDefault)
{
    if (!form)
        return englishDefault;
    return GetLangString(form->langStrings, id, englishDefault);
}

std::string LangText(TformMain* form, int id, int variant)
{
    return GetLangString(form, id, EnglishText(id, variant));
}

// ======================================================== the library

std::unique_ptr<platform::ResourceLibrary> OpenLanguageLibrary()
{
    const std::string path = platform::FindLibraryFile(kLibraryName);
    if (path.empty())
        return nullptr;
    return platform::ResourceLibrary::Load(path);
}

TLanguageList ReadLanguageList(const platform::ResourceLibrary* library)
{
    TLanguageList list;
    if (library) {
        // String ids are 32-bit: the list cannot go on past the last whole block.
        for (uint64_t n = 0; (n + 1) * kLangStringCount <= uint64_t(UINT32_MAX) + 1; ++n) {
            std::string name = library->LoadString(uint32_t(n * kLangStringCount + kLangNameOffset));
            if (name.empty())
                break;
            list.names.push_back(std::move(name));
        }
        list.suffix = library->LoadString(kLangSuffixId);
    }
    if (list.suffix.empty())
        list.suffix = kNoSuffix;
    return list;
}

void LoadLanguageBlock(const platform::ResourceLibrary* library, uint32_t index, TLangStrings& strings)
{
    const uint64_t first = uint64_t(index) * kLangStringCount;
    for (int i = 0; i < kLangStringCount; ++i) {
        const uint64_t id = first + uint64_t(i);
        strings[std::size_t(i)] = (library && id <= UINT32_MAX) ? library->LoadString(uint32_t(id)) : std::string();
    }
}

// ====================================================== the Language menu

void BuildLanguageMenu(QMenu* menu, std::string& captionSuffix,
                       const std::function<void(QAction*)>& onClick)
{
    const std::unique_ptr<platform::ResourceLibrary> library = OpenLanguageLibrary();
    const TLanguageList list = ReadLanguageList(library.get());
    captionSuffix = list.suffix;

    // Radio items: one ticked at a time. The group lets the ticked item be
    // unticked, so a click on it can be told from a click on another item.
    auto* group = new QActionGroup(menu);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    // A click on an unticked item ticks it at once and the group unticks the
    // item that had the tick just before; the trace tells which one that was.
    struct TickTrace {
        QPointer<QAction> lastTicked, lastUnticked;
        uint64_t tickSerial = 0, untickSerial = 0, serial = 0;
    };
    auto trace = std::make_shared<TickTrace>();
    for (const std::string& name : list.names) {
        auto* item = new QAction(Q(name), menu);
        item->setCheckable(true);
        item->setActionGroup(group);
        QObject::connect(item, &QAction::toggled, menu, [item, trace](bool on) {
            (on ? trace->lastTicked : trace->lastUnticked) = item;
            (on ? trace->tickSerial : trace->untickSerial) = ++trace->serial;
        });
        QObject::connect(item, &QAction::triggered, menu, [item, trace, onClick](bool checkedNow) {
            // Undo the click's own tick change: the click handler decides on
            // the tick from the state the items had before the click.
            if (!checkedNow) {
                item->setChecked(true);
            } else {
                const bool tookTheTick = trace->lastTicked == item && trace->untickSerial + 1 == trace->tickSerial;
                QPointer<QAction> previous = tookTheTick ? trace->lastUnticked : nullptr;
                item->setChecked(false);
                if (previous)
                    previous->setChecked(true);
            }
            if (onClick)
                onClick(item);
        });
        menu->addAction(item);
    }
    if (list.names.empty()) {
        // The one language there always is; it can never be unticked.
        auto* english = new QAction(QStringLiteral("English"), menu);
        english->setCheckable(true);
        auto* single = new QActionGroup(menu);
        single->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
        english->setActionGroup(single);
        english->setChecked(true);
        menu->addAction(english);
    }
}

void BuildLanguageMenu(TformMain* form)
{
    BuildLanguageMenu(form->menuLanguage, form->captionSuffix,
                      [form](QAction* item) { platform::Guarded([&] { LanguageMenuClick(form, item); }); });
}

void LoadLanguage(TformMain* form, uint32_t index)
{
    const std::unique_ptr<platform::ResourceLibrary> library = OpenLanguageLibrary();
    LoadLanguageBlock(library.get(), index, form->langStrings);
}

void LanguageMenuClick(TformMain* form, QAction* sender)
{
    const qsizetype position = form->menuLanguage->actions().indexOf(sender);
    if (position < 0 || sender->isChecked())
        return;
    form->languageIndex = uint32_t(position);
    LoadLanguage(form, form->languageIndex);
    sender->setChecked(true); // the group unticks the others
    ApplyLanguage(form);
}

// ================================================== the main window's texts

namespace {

// Text setters for the kinds of control that carry a caption.
void SetText(QAction* item, const std::string& text)
{
    item->setText(Q(text));
}

void SetText(QMenu* menu, const std::string& text)
{
    menu->setTitle(Q(text));
}

void SetText(QAbstractButton* button, const std::string& text)
{
    button->setText(Q(text));
}

void SetText(QGroupBox* group, const std::string& text)
{
    group->setTitle(Q(text));
}

// How a label's width follows its new caption.
enum class LabelWidth {
    Fit,  // exactly the caption: the label is a measure for the layout
    Grow, // wide enough for the caption, never narrower: later texts (counts,
          // addresses) are set without a new measurement
    Keep, // a fixed cell
};

void SetText(QLabel* label, const std::string& text, LabelWidth width = LabelWidth::Grow)
{
    label->setText(Q(text));
    if (label->wordWrap() || width == LabelWidth::Keep)
        return;
    const int needed = label->sizeHint().width();
    if (width == LabelWidth::Fit || needed > label->width())
        label->resize(needed, label->height());
}

// The caption of a page's tab.
void SetTabText(QWidget* page, const std::string& text)
{
    for (QWidget* w = page->parentWidget(); w; w = w->parentWidget()) {
        if (auto* pages = qobject_cast<QTabWidget*>(w)) {
            const int index = pages->indexOf(page);
            if (index >= 0)
                pages->setTabText(index, Q(text));
            return;
        }
    }
}

// Replaces a list's items, keeping the selected index (signals held back: this
// is not a choice of the user).
void SetItems(QComboBox* combo, const QStringList& items, bool refill)
{
    const QSignalBlocker blocker(combo);
    const int selected = combo->currentIndex();
    if (!refill && combo->count() == items.size()) {
        for (int i = 0; i < items.size(); ++i)
            combo->setItemText(i, items[i]);
    } else {
        combo->clear();
        combo->addItems(items);
    }
    combo->setCurrentIndex(selected < combo->count() ? selected : -1);
}

int Right(const QWidget* w)
{
    return w->x() + w->width();
}

void SetLeft(QWidget* w, int left)
{
    w->move(left, w->y());
}

void SetWidth(QWidget* w, int width)
{
    w->resize(width, w->height());
}

// The pages' rectangle in a tab widget, worked out the way the tab widget lays
// them out: from the style's contents rectangle of its pane. A page takes it
// only when the tab widget is next laid out, which for one not on show is
// later than the layout here needs it.
QRect PageRect(QTabWidget* pages)
{
    QStyleOptionTabWidgetFrame option;
    option.initFrom(pages);
    option.lineWidth = pages->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, pages);
    option.shape = pages->tabBar()->shape();
    option.tabBarSize = pages->tabBar()->sizeHint();
    option.rect = pages->rect();
    return pages->style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, pages);
}

int PageWidth(QWidget* page)
{
    for (QWidget* w = page->parentWidget(); w; w = w->parentWidget())
        if (auto* pages = qobject_cast<QTabWidget*>(w))
            return PageRect(pages).width();
    return page->width();
}

// A control's geometry in the window's layout, as the constructor found it:
// every pass of the layout starts from it again, so the layout is a function
// of the texts alone and never of the passes before it.
QRect DesignGeometry(const QWidget* w)
{
    const QVariant kept = w->property("designGeometry");
    return kept.isValid() ? kept.toRect() : w->geometry();
}

int DesignWidth(const QWidget* w)
{
    return DesignGeometry(w).width();
}

int DesignLeft(const QWidget* w)
{
    return DesignGeometry(w).x();
}

// Hidden in the layout: such controls (kept for a later state, or never
// shown) take no room when a page is measured, whatever they show now.
bool HiddenInDesign(const QWidget* w)
{
    const QVariant kept = w->property("designHidden");
    return kept.isValid() ? kept.toBool() : w->isHidden();
}

// The controls the layout places: named ones whose place their parent does
// not manage (no Qt layout, not the pages of a tab widget, not Qt's own parts).
std::vector<QWidget*> PlacedControls(QWidget& window)
{
    std::vector<QWidget*> placed;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const QWidget* parent = w->parentWidget();
        const QString name = w->objectName();
        if (name.isEmpty() || name.startsWith("qt_") || !parent || parent->layout() ||
            parent->objectName().isEmpty() || parent->objectName().startsWith("qt_"))
            continue;
        placed.push_back(w);
    }
    return placed;
}

// Back to the layout's width, or wider when `needed` asks for more.
void SetWidthAtLeastDesign(QWidget* w, int needed)
{
    SetWidth(w, std::max(DesignWidth(w), needed));
}

// Back to the layout's left edge, or further right when `least` asks for it.
void SetLeftAtLeastDesign(QWidget* w, int least)
{
    SetLeft(w, std::max(DesignLeft(w), least));
}

void FitButton(QAbstractButton* button)
{
    SetWidth(button, MarkedCaptionWidth(button));
}

// The width a list needs for its widest item now. A list measures its items
// once and keeps that measure; switching it to follow its contents for the
// moment makes it measure them again.
int ItemsWidth(QComboBox* combo)
{
    const QComboBox::SizeAdjustPolicy policy = combo->sizeAdjustPolicy();
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int width = combo->sizeHint().width();
    combo->setSizeAdjustPolicy(policy);
    return width;
}

// The value column of a configuration tab: to the right of its widest item box.
int ValueColumn(std::initializer_list<QWidget*> itemBoxes)
{
    int widest = 0;
    for (QWidget* box : itemBoxes)
        widest = std::max(widest, box->width());
    return (*itemBoxes.begin())->x() + widest + 32;
}

// Day box i and its day label (Sunday first) at x + 20*i; the Every Day box,
// and the two-week box after it, follow the Saturday box.
void PlaceDays(int x, const std::array<QCheckBox*, 7>& boxes, const std::array<QLabel*, 7>& labels,
               QWidget* daily, QWidget* fortnightly)
{
    for (std::size_t i = 0; i < 7; ++i) {
        SetLeft(boxes[i], x + 20 * int(i));
        SetLeft(labels[i], x + 20 * int(i));
    }
    SetLeft(daily, Right(boxes[6]) + 12);
    if (fortnightly)
        SetLeft(fortnightly, Right(daily) + 10);
}

// A spin button stands against the right edge of the field it steps.
void Attach(QWidget* spinner, const QWidget* field)
{
    spinner->setGeometry(Right(field), field->y(), spinner->width(), field->height());
}

// The special messages group of the engineering tab grows to its captions,
// never below its design size: the ECU group as wide as its radio buttons, the
// two buttons as wide as their captions, the sleep group after the ECU group.
// It keeps its right edge where the layout has it, unless the rows beside it
// reach that far: then it stands right of them and the page grows.
void FitSpecialMessages(TformMain& f)
{
    const int designRight = DesignLeft(f.groupSpecialMessages) + DesignWidth(f.groupSpecialMessages);
    int ecu = DesignWidth(f.groupEcuEnable);
    for (QRadioButton* radio : {f.radioEcuActive, f.radioEcuInactive})
        ecu = std::max(ecu, Right(radio) + 6);
    SetWidthAtLeastDesign(f.btnEcuActive, CaptionWidth(f.btnEcuActive, f.btnEcuActive->text()) + 24);
    ecu = std::max(ecu, Right(f.btnEcuActive) + 6);
    SetWidth(f.groupEcuEnable, ecu);
    SetWidthAtLeastDesign(f.btnSleep, CaptionWidth(f.btnSleep, f.btnSleep->text()) + 24);
    SetLeft(f.groupSleep, Right(f.groupEcuEnable) + 6);
    SetWidthAtLeastDesign(f.groupSleep, Right(f.btnSleep) + 8);
    const int width = std::max(DesignWidth(f.groupSpecialMessages), Right(f.groupSleep) + 8);
    SetWidth(f.groupSpecialMessages, width);
    int rows = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{f.boxPatrolDuration, f.comboPatrolDuration, f.boxRxDuration,
                                                      f.comboSmsRxDuration, f.boxSerialNum, f.spinnerSerialNum,
                                                      f.boxEcuNum, f.boxEcuUsesSerial})
        rows = std::max(rows, Right(w));
    SetLeft(f.groupSpecialMessages, std::max(designRight - width, rows + 4));
}

// The part of a page's controls that reaches past the page's right edge, less
// a margin of 4 pixels; 0 when they all fit.
int Overflow(QWidget* page)
{
    int right = 0;
    for (QObject* o : page->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !HiddenInDesign(w))
            right = std::max(right, Right(w) + 4);
    return std::max(0, right - PageWidth(page));
}

// A tab widget as wide as its widest page needs, never narrower than its
// layout. Its tabs do not widen it: a row of tabs that does not fit scrolls.
void FitTabs(QTabWidget* tabs)
{
    tabs->setUsesScrollButtons(true);
    tabs->setElideMode(Qt::ElideNone);
    SetWidth(tabs, DesignWidth(tabs));
    int grow = 0;
    for (int i = 0; i < tabs->count(); ++i)
        grow = std::max(grow, Overflow(tabs->widget(i)));
    SetWidth(tabs, tabs->width() + grow);
    // Every page at once, not only the one in front.
    const QRect rect = PageRect(tabs);
    for (int i = 0; i < tabs->count(); ++i)
        tabs->widget(i)->resize(rect.size());
}

// The database list's columns grow by what the cells the language gives
// them and their captions need beyond the layout's widths, as far as the list
// has room; a column the list has no room for keeps its width. The widths
// they grow from are those the user (or the stored settings) gave them, so a
// column widened for one language is back to that in another.
void FitDatabaseColumns(TformMain& f)
{
    QTreeWidget* view = f.viewDatabase;
    QHeaderView* header = view->header();
    auto T = [&f](int id) { return Q(LangText(&f, id)); };
    const int columns = view->columnCount();
    const QList<int> design = view->property("designColumnWidths").value<QList<int>>();
    QList<int> base = view->property("baseColumnWidths").value<QList<int>>();
    const QList<int> laid = view->property("laidColumnWidths").value<QList<int>>();
    if (design.size() != columns)
        return;
    base.resize(columns);
    for (int c = 0; c < columns; ++c)
        if (laid.size() != columns || view->columnWidth(c) != laid[c])
            base[c] = view->columnWidth(c);
    int room = view->width() - 2 * view->frameWidth() -
               view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    for (int c = 0; c < columns; ++c)
        room -= base[c];
    QList<int> widths = base;
    auto grant = [&](int c, int needed) {
        const int grow = needed - design[c] - (widths[c] - base[c]);
        if (grow > 0 && grow <= room) {
            widths[c] += grow;
            room -= grow;
        }
    };
    // The cells first: what the rows say matters more than whole captions.
    const std::pair<int, QStringList> cells[] = {{2, {T(255), T(256)}}, {4, {T(27), T(28)}}};
    for (const auto& [column, texts] : cells)
        for (const QString& text : texts)
            if (column < columns)
                grant(column, DatabaseCellWidth(view, text));
    for (int c = 0; c < columns; ++c)
        grant(c, header->sectionSizeHint(c));
    for (int c = 0; c < columns; ++c)
        view->setColumnWidth(c, widths[c]);
    view->setProperty("baseColumnWidths", QVariant::fromValue(base));
    view->setProperty("laidColumnWidths", QVariant::fromValue(widths));
}

// The window as large as its layout, and never larger than the available
// area of its screen: what does not fit then scrolls. A stored size, maybe
// of another language, is not kept; a maximized window stays so.
void FitWindow(TformMain& f)
{
    const QSize design = f.property("designSize").toSize();
    const int content = design.height() - f.menubar->sizeHint().height() - f.statusBar->sizeHint().height();
    f.centralwidget->setMinimumSize(f.panelHeader->width(), content);
    f.setProperty("layoutSize", QSize(f.panelHeader->width(), design.height()));
    FitWindowToScreen(&f);
}

} // namespace

int MarkedCaptionWidth(const QAbstractButton* button)
{
    const QStyle* style = button->style();
    const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
    const int mark = style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth,
                                        nullptr, button) +
                     style->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing,
                                        nullptr, button);
    return std::max(CaptionWidth(button, button->text()) + mark, button->sizeHint().width());
}

int CaptionWidth(const QWidget* widget, const QString& caption)
{
    // "&x" marks x as the accelerator and "&&" stands for '&'.
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        shown.append(caption[i]);
    }
    return QFontMetrics(widget->font()).horizontalAdvance(shown);
}

namespace {

// 2. Header: the lamps at the right, the battery gauge left of them. On a
// window narrower than its layout the header stays over the part in view,
// so that the lamps and the gauge are never scrolled out of sight.
void PinHeader(TformMain& f)
{
    const auto* scroll = qobject_cast<const QScrollArea*>(f.centralWidget());
    const int full = f.property("headerWidth").toInt();
    if (scroll == nullptr || full <= 0)
        return;
    const int visible = scroll->viewport()->width();
    if (visible < full)
        f.panelHeader->setGeometry(scroll->horizontalScrollBar()->value(), f.panelHeader->y(), visible,
                                   f.panelHeader->height());
    else
        f.panelHeader->setGeometry(DesignLeft(f.panelHeader), f.panelHeader->y(), full, f.panelHeader->height());
    SetLeft(f.ledTx, f.panelHeader->width() - f.ledTx->width() - 10);
    SetLeft(f.ledRx, f.ledTx->x() - f.ledRx->width() - 10);
    for (QLabel* image : {f.imageBattery0, f.imageBattery25, f.imageBattery50, f.imageBattery75, f.imageBattery100})
        SetLeft(image, f.ledRx->x() - 32);
    SetLeft(f.labelTx, f.ledTx->x() - 3);
    SetLeft(f.labelRx, f.ledRx->x() - 3);
}

// Pins the header again whenever the part in view changes size.
class HeaderPin : public QObject {
public:
    explicit HeaderPin(TformMain* form) : QObject(form), form_(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            PinHeader(*form_);
        return QObject::eventFilter(watched, event);
    }

private:
    TformMain* form_;
};

} // namespace

void KeepDesignLayout(TformMain* form)
{
    TformMain& f = *form;
    if (f.property("designSize").isValid())
        return;
    f.setProperty("designSize", f.size());
    for (QWidget* w : PlacedControls(f)) {
        w->setProperty("designGeometry", w->geometry());
        w->setProperty("designHidden", w->isHidden());
    }
    QList<int> columns;
    for (int c = 0; c < f.viewDatabase->columnCount(); ++c)
        columns.append(f.viewDatabase->columnWidth(c));
    f.viewDatabase->setProperty("designColumnWidths", QVariant::fromValue(columns));
    // The window's controls in a scroll area: on a screen too small for the
    // layout they scroll instead of lying out of reach.
    auto* scroll = new QScrollArea;
    scroll->setObjectName("scrollClient");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(f.takeCentralWidget());
    f.setCentralWidget(scroll);
    scroll->viewport()->installEventFilter(new HeaderPin(form));
    QObject::connect(scroll->horizontalScrollBar(), &QScrollBar::valueChanged, form, [form] { PinHeader(*form); });
}

void FitWindowToScreen(TformMain* form)
{
    const QVariant layout = form->property("layoutSize");
    if (!layout.isValid() || form->isMaximized() || form->isFullScreen())
        return;
    QSize size = layout.toSize();
    // Narrower than its layout, the window shows a scroll bar along its foot:
    // it is taller by as much, as far as the screen allows.
    if (size.width() > platform::LargestClientSize(form).width())
        size.rheight() += form->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, form);
    form->resize(size);
    platform::KeepOnScreen(form); // shrinks it to the screen where it must
}

void ApplyLanguage(TformMain* form)
{
    TformMain& f = *form;
    auto T = [form](int id, int variant = 0) { return LangText(form, id, variant); };
    const std::string blanks = "   "; // before the caption of an item's send box

    // Every control back where the layout has it: the captions below grow
    // from there, never from what an earlier language made of them.
    KeepDesignLayout(form);
    for (QWidget* w : PlacedControls(f))
        w->setGeometry(DesignGeometry(w));

    // ---- texts
    f.setWindowTitle(Q(" " + T(74) + " - " + kVersion + "." + f.captionSuffix));

    SetText(f.menuFile, T(1));
    SetText(f.menuExit, T(2));
    SetText(f.menuSetup, T(3));
    SetText(f.menuLanguage, T(6));
    SetText(f.menuVigilator, T(23));
    SetText(f.menuTools, T(75));
    SetText(f.menuHelp, T(11));
    SetText(f.menuShowHints, T(12));
    SetText(f.menuLoad, T(56) + " ...");
    SetText(f.menuSave, T(57) + " ...");
    SetText(f.menuExportPatrolData, T(280) + " ...");
    SetText(f.menuOptions, T(5) + " ...");
    SetText(f.menuComms, T(4) + " ...");
    SetText(f.menuVigilatorSetup, T(9) + " ...");
    SetText(f.menuConnect, T(24) + " ...");
    SetText(f.menuReadConfig, T(62) + " ...");
    SetText(f.menuMessageLog, T(72) + " ...");
    SetText(f.menuViewLogs, T(76) + " ...");
    SetText(f.menuShowGuide, T(77) + " ...");
    SetText(f.menuAbout, T(10) + " " + T(74) + " ...");

    SetText(f.btnConfig, T(78));
    SetText(f.btnAbort, T(64));
    SetText(f.btnDeploy, T(8));
    SetText(f.btnAbandon, T(79));
    SetText(f.labelSelectedRepeater, T(80) + " :", LabelWidth::Fit);
    SetText(f.textSelectedRepeater, "<" + T(40) + ">");
    SetText(f.panelSplashHeader, "  " + T(24, 1) + " ...", LabelWidth::Keep);
    SetText(f.textSplash1, T(29), LabelWidth::Fit);
    SetText(f.textSplash2, T(30), LabelWidth::Keep);
    SetText(f.textRepeaters, T(81) + " (0)");

    SetTabText(f.tabConfig, "  " + T(82) + "  ");
    SetTabText(f.tabRegion, T(41));
    SetTabText(f.tabPatrol, T(85));
    SetTabText(f.tabReport, T(92));
    SetTabText(f.tabAlarms, T(102));
    SetTabText(f.tabDebug, T(116));
    SetTabText(f.tabEngineering, T(134));
    for (QLabel* label : {f.labelProgramRegion, f.labelProgramPatrol, f.labelProgramReport, f.labelProgramAlarms,
                          f.labelProgramDebug, f.labelProgramGprs, f.labelProgramEng})
        SetText(label, T(61));

    const std::pair<QCheckBox*, std::string> itemBoxes[] = {
        {f.boxGsmBand, T(83)},       {f.boxClock, T(84)},          {f.boxRegion, T(41, 1)},
        {f.boxGpsCoords, T(50)},     {f.boxPatrolTime, T(39)},     {f.boxRetryTime, T(86)},
        {f.boxPatrolDays, T(87)},    {f.boxLowNoiseAmp, T(89)},    {f.boxHostTel, T(93)},
        {f.boxEngTel, T(95)},        {f.boxReportTime, T(96)},     {f.boxStagger, T(97)},
        {f.boxReportDays, T(98)},    {f.boxReportFormat, T(100)},  {f.boxService, T(282)},
        {f.boxHistDays, T(101)},     {f.boxAlarmReport, T(103)},   {f.boxLowRf, T(108)},
        {f.boxAlarmEnable, T(109)},  {f.boxAlarmTel, T(114)},      {f.boxAlarmMsg, T(115)},
        {f.boxApn, T(283)},          {f.boxGprsUser, T(284)},      {f.boxGprsPass, T(285)},
        {f.boxFtpHost, T(286)},      {f.boxFtpUser, T(287)},       {f.boxFtpPass, T(288)},
        {f.boxFtpFolder, T(306)},    {f.boxSimNumber, T(289)},     {f.boxPatrolDuration, T(258)},
        {f.boxRxDuration, T(135)},   {f.boxSerialNum, T(37)},
    };
    for (const auto& [box, text] : itemBoxes)
        SetText(box, blanks + text);
    SetText(f.boxEcuNum, blanks + T(136) + "(Hex)");

    SetItems(f.comboRegion,
             {Q(T(42)), Q(T(43)), Q(T(44)), Q(T(45) + ", 433 MHz"), Q(T(45) + ", 315 MHz"),
              Q(T(45) + ", 800 MHz"), Q(T(46) + ", 784 MHz"), Q(T(46) + ", 433 MHz")},
             false);
    SetText(f.labelGpsLong, T(51));
    SetText(f.textGpsStatus, T(53));
    SetText(f.labelGpsStatus, T(52) + " :");
    SetText(f.labelGsmRssi, T(147) + " :");
    SetText(f.labelDestination, T(149) + " :");
    SetText(f.labelClearData, T(119) + " :");

    // Day labels: the first letter of the locale's short day name, Sunday first.
    const std::array<QLabel*, 7> patrolDayLabels = {f.labelSun1, f.labelMon1, f.labelTue1, f.labelWed1,
                                                    f.labelThu1, f.labelFri1, f.labelSat1};
    const std::array<QLabel*, 7> reportDayLabels = {f.labelSun2, f.labelMon2, f.labelTue2, f.labelWed2,
                                                    f.labelThu2, f.labelFri2, f.labelSat2};
    const std::array<QLabel*, 7> histDayLabels = {f.labelSun3, f.labelMon3, f.labelTue3, f.labelWed3,
                                                  f.labelThu3, f.labelFri3, f.labelSat3};
    const QLocale locale = QLocale::system();
    for (int i = 0; i < 7; ++i) {
        const int qtDay = i == 0 ? 7 : i; // Qt counts Monday 1 .. Sunday 7
        const QString letter = locale.dayName(qtDay, QLocale::ShortFormat).left(1);
        for (const auto* labels : {&patrolDayLabels, &reportDayLabels, &histDayLabels})
            (*labels)[std::size_t(i)]->setText(letter);
    }

    SetText(f.boxPatrolDaily, T(88));
    SetText(f.boxReportDaily, T(88, 1));
    SetText(f.boxHistDaily, T(88, 1));
    SetText(f.boxReportFortnightly, T(99));
    SetText(f.boxHistFortnightly, T(99));
    SetText(f.radioDisableLna, T(91));
    SetText(f.radioEnableLna, T(90));
    for (QPushButton* button : {f.btnHostNum, f.btnEngNum, f.btnAlarmNum, f.btnTestNum})
        SetText(button, T(94));
    SetItems(f.comboLeakAlarm, {Q(T(104)), Q(T(105)), Q(T(106)), Q(T(107))}, false);
    SetText(f.boxLowVantBat, T(110));
    SetText(f.boxLowVantRf, T(111));
    SetText(f.boxLowKvtBat, T(112));
    SetText(f.boxChangeViaSms, T(113));
    SetText(f.boxClearDb, T(117));
    SetText(f.textClearAll, T(118));
    QCheckBox* const clearBoxes[] = {
        f.boxClearSmsSuccess,   f.boxClearSmsFail,    f.boxClearCc1100,        f.boxClearLogonFail,
        f.boxClearSimFail,      f.boxClearModemFail,  f.boxClearSmsRx,         f.boxClearSMSSuccLog,
        f.boxClearSmsFailLog,   f.boxClearCc1100FailLog, f.boxClearLogonFailLog, f.boxClearSimFailLog,
        f.boxClearModemFailLog, f.boxClearRxSmsLog,
    };
    for (int i = 0; i < 14; ++i)
        SetText(clearBoxes[i], T(120 + i));
    SetText(f.boxEcuUsesSerial, T(137));
    SetText(f.groupSpecialMessages, "  " + T(138) + "  ");
    SetText(f.groupEcuEnable, "  " + T(139) + "  ");
    SetText(f.groupSleep, "  " + T(60) + "  ");
    SetText(f.groupManual, "  " + T(143) + "  ");
    SetText(f.radioEcuActive, T(140));
    SetText(f.radioEcuInactive, T(141));
    SetText(f.btnEcuActive, T(142));
    SetText(f.btnSleep, T(58));
    SetText(f.checkSendToRepeater, T(144));
    SetText(f.btnClearDatabase, T(117));
    SetText(f.btnPatrol, T(26));
    SetText(f.btnReadDatabase, T(145));
    SetText(f.labelDatabase, T(48) + ":", LabelWidth::Fit);
    SetText(f.textDatabaseEnum, "0 " + T(49));
    const int columnIds[] = {37, 259, 260, 39, 261, 262, 263, 264, 265, 266, 267};
    for (int column = 0; column < 11; ++column)
        f.viewDatabase->headerItem()->setText(column, Q(T(columnIds[column], columnIds[column] == 39 ? 1 : 0)));
    SetText(f.btnLogOn, T(146));
    SetText(f.btnRequestTestSms, T(150));
    SetText(f.btnTestFtp, T(290));
    SetText(f.btnLogOff, T(151));
    SetText(f.textRssiError, "<" + T(148, 1) + ">");
    f.SetStatusText("");

    QStringList durations;
    durations.reserve(255);
    const QString minutes = Q(" " + T(237));
    for (int k = 0; k < 255; ++k)
        durations << locale.toString(0.25 + 0.25 * k, 'g', QLocale::FloatingPointShortest) + minutes;
    SetItems(f.comboSmsRxDuration, durations, true);

    // ---- layout around the new texts
    // The page controls have their layout's widths; they grow at the end to
    // what their pages need. Lists are as wide as their widest item.
    const int rfPageDesign = PageWidth(f.tabRfTest);
    for (QComboBox* combo : f.findChildren<QComboBox*>())
        if (!combo->isEditable())
            SetWidthAtLeastDesign(combo, ItemsWidth(combo));
    // The repeater list as wide as its caption with a count of three digits;
    // the pages and the main buttons move right by as much as it grows.
    SetWidth(f.textRepeaters,
             std::max(f.textRepeaters->width(), CaptionWidth(f.textRepeaters, Q(T(81) + " (000)")) + 4));
    SetWidthAtLeastDesign(f.panelTarget, Right(f.textRepeaters) + f.textRepeaters->x());
    SetWidthAtLeastDesign(f.boxRepeaters, f.panelTarget->width() - 2 * f.boxRepeaters->x());
    const int shift = f.panelTarget->width() - DesignWidth(f.panelTarget);
    SetLeft(f.pageMain, DesignLeft(f.pageMain) + shift);
    SetLeft(f.btnConfig, DesignLeft(f.btnConfig) + shift);

    // 1. The four main buttons share the width of the widest caption.
    int w = 0;
    for (QPushButton* button : {f.btnConfig, f.btnAbort, f.btnDeploy, f.btnAbandon})
        w = std::max(w, CaptionWidth(f.textDummy, button->text()));
    w = std::max(w + 24, 100);
    for (QPushButton* button : {f.btnConfig, f.btnAbort, f.btnDeploy, f.btnAbandon})
        SetWidth(button, w);
    f.btnAbort->move(f.btnConfig->pos());
    SetLeft(f.btnDeploy, Right(f.btnConfig) + 32);
    SetLeft(f.btnAbandon, Right(f.btnDeploy) + 32);

    // 3. Repeater list, selected repeater, connection notice.
    f.boxRepeaters->resize(f.boxRepeaters->width(), f.panelTarget->height() - 48);
    SetLeft(f.textSelectedRepeater, Right(f.labelSelectedRepeater) + 8);
    SetWidth(f.panelSplash, f.textSplash1->width() + 2 * f.textSplash1->x());
    SetWidth(f.textSplash2, f.textSplash1->width());
    SetWidth(f.panelSplashHeader, f.panelSplash->width() - 2 * f.panelSplashHeader->x());

    // 4. Boxes and radio buttons as wide as their captions; the telephone-book
    //    buttons as wide as theirs (they stand at the right edge of their tab
    //    once the tabs have grown).
    for (const auto& entry : itemBoxes)
        FitButton(entry.first);
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             f.boxEcuNum, f.boxPatrolDaily, f.boxReportDaily, f.boxHistDaily, f.boxReportFortnightly,
             f.boxHistFortnightly, f.radioDisableLna, f.radioEnableLna, f.boxLowVantBat, f.boxLowVantRf,
             f.boxLowKvtBat, f.boxChangeViaSms, f.boxClearDb, f.boxEcuUsesSerial, f.radioEcuActive,
             f.radioEcuInactive, f.checkSendToRepeater})
        FitButton(button);
    for (QCheckBox* box : clearBoxes)
        FitButton(box);
    for (QPushButton* button : {f.btnHostNum, f.btnAlarmNum})
        SetWidth(button, CaptionWidth(button, button->text()) + 24);
    SetWidth(f.btnTestNum, CaptionWidth(f.btnTestNum, f.btnTestNum->text()) + 24);

    // 5. One value column per configuration tab, right of its widest item box.
    {   // Region
        const int x = ValueColumn({f.boxGsmBand, f.boxClock, f.boxRegion, f.boxGpsCoords});
        for (QWidget* value : std::initializer_list<QWidget*>{f.comboGsmBand, f.labelCpu, f.comboRegion,
                                                              f.editGpsLat, f.editGpsLong})
            SetLeft(value, x);
        f.labelCpu->resize(f.labelCpu->sizeHint().width(), f.labelCpu->height()); // a measure, as wide as its text
        SetLeft(f.editTimezone, Right(f.labelCpu) + 4);
        Attach(f.spinnerTimeZone, f.editTimezone);
        SetLeft(f.labelGpsStatus, f.ledGpsRx->x() + 20);
        SetLeft(f.textGpsStatus, f.ledGpsRx->x() + 20);
    }
    {   // Patrol
        const int x = ValueColumn({f.boxPatrolTime, f.boxRetryTime, f.boxPatrolDays, f.boxLowNoiseAmp});
        SetLeft(f.comboPatrolHour, x);
        SetLeft(f.comboPatrolMinute, Right(f.comboPatrolHour) + 8);
        SetLeft(f.comboRetryHour, x);
        SetLeft(f.comboRetryMinute, Right(f.comboRetryHour) + 8);
        PlaceDays(x, f.patrolDayBoxes, patrolDayLabels, f.boxPatrolDaily, nullptr);
        SetLeft(f.radioDisableLna, x);
        SetLeft(f.radioEnableLna, Right(f.radioDisableLna) + 10);
    }
    {   // Report
        const int x = ValueColumn({f.boxHostTel, f.boxEngTel, f.boxReportTime, f.boxStagger, f.boxReportDays,
                                   f.boxReportFormat, f.boxService, f.boxHistDays});
        // The number lists keep their widths; their button stands after them.
        SetLeft(f.comboHostTel, x);
        SetLeft(f.comboEngineerTel, x);
        SetLeftAtLeastDesign(f.btnHostNum, std::max(Right(f.comboHostTel), Right(f.comboEngineerTel)) + 8);
        SetLeft(f.comboReportHour, x);
        SetLeft(f.comboReportMinute, Right(f.comboReportHour) + 8);
        SetLeft(f.comboStaggerDigits, x);
        SetLeft(f.comboStaggerTime, Right(f.comboStaggerDigits) + 8);
        PlaceDays(x, f.reportDayBoxes, reportDayLabels, f.boxReportDaily, f.boxReportFortnightly);
        SetLeft(f.comboReportFormat, x);
        SetLeft(f.radioSms, x);
        SetLeft(f.radioGprs, Right(f.radioSms) + 10);
        PlaceDays(x, f.histDayBoxes, histDayLabels, f.boxHistDaily, f.boxHistFortnightly);
    }
    {   // Alarms
        const int x = ValueColumn({f.boxAlarmReport, f.boxLowRf, f.boxAlarmEnable, f.boxAlarmTel, f.boxAlarmMsg});
        for (QWidget* value : std::initializer_list<QWidget*>{f.comboLeakAlarm, f.editLowRfThresh, f.boxLowVantBat,
                                                              f.boxLowVantRf, f.boxLowKvtBat, f.boxChangeViaSms,
                                                              f.comboAlarmTel, f.editAlarmMsg})
            SetLeft(value, x);
        SetLeftAtLeastDesign(f.btnAlarmNum, Right(f.comboAlarmTel) + 8);
    }
    {   // Debug data: the log boxes form a second column right of the counter boxes.
        const int x = ValueColumn({f.boxClearSmsSuccess, f.boxClearSmsFail, f.boxClearCc1100, f.boxClearLogonFail,
                                   f.boxClearSimFail, f.boxClearModemFail, f.boxClearSmsRx});
        const std::pair<QCheckBox*, QLabel*> logs[] = {
            {f.boxClearSMSSuccLog, f.tickClearSmsSuccessLog},  {f.boxClearSmsFailLog, f.tickClearSmsFailLog},
            {f.boxClearCc1100FailLog, f.tickClearCc1100FailLog}, {f.boxClearLogonFailLog, f.tickClearLogonFailLog},
            {f.boxClearSimFailLog, f.tickClearSimFailLog},    {f.boxClearModemFailLog, f.tickClearModemFailLog},
            {f.boxClearRxSmsLog, f.tickClearRxSmsLog},
        };
        const int tickOffset = f.boxClearSmsSuccess->x() - f.tickClearSmsSuccess->x();
        for (const auto& [box, tick] : logs) {
            SetLeft(box, x + tickOffset);
            SetLeft(tick, x);
        }
    }
    {   // GPRS
        const int x = ValueColumn({f.boxApn, f.boxGprsUser, f.boxGprsPass, f.boxFtpHost, f.boxFtpUser, f.boxFtpPass,
                                   f.boxFtpFolder, f.boxSimNumber});
        for (QWidget* value : std::initializer_list<QWidget*>{f.editApn, f.editGprsUser, f.editGprsPass, f.editFtpHost,
                                                              f.editFtpUser, f.editFtpPass, f.editFtpFolder,
                                                              f.editSimNumber})
            SetLeft(value, x);
    }
    {   // Engineering
        const int x = ValueColumn({f.boxPatrolDuration, f.boxRxDuration, f.boxSerialNum, f.boxEcuNum});
        for (QWidget* value : std::initializer_list<QWidget*>{f.comboPatrolDuration, f.comboSmsRxDuration,
                                                              f.editSerialNum, f.editEcuNum})
            SetLeft(value, x);
        Attach(f.spinnerSerialNum, f.editSerialNum);
        SetLeft(f.boxEcuUsesSerial, Right(f.editEcuNum) + 8);
    }

    // 6. RF test tab: three buttons of one width, 24 apart.
    w = 0;
    for (QPushButton* button : {f.btnClearDatabase, f.btnPatrol, f.btnReadDatabase})
        w = std::max(w, CaptionWidth(f.textDummy, button->text()));
    w = std::max(w + 24, 100);
    for (QPushButton* button : {f.btnClearDatabase, f.btnPatrol, f.btnReadDatabase})
        SetWidth(button, w);
    SetLeft(f.btnPatrol, Right(f.btnClearDatabase) + 24);
    SetLeft(f.btnReadDatabase, Right(f.btnPatrol) + 24);
    SetLeft(f.textDatabaseEnum, Right(f.labelDatabase) + 8);

    // 7. GSM test tab: four buttons of one width.
    w = 0;
    for (QPushButton* button : {f.btnLogOn, f.btnRequestTestSms, f.btnLogOff, f.btnTestFtp})
        w = std::max(w, CaptionWidth(button, button->text()));
    for (QPushButton* button : {f.btnLogOn, f.btnRequestTestSms, f.btnLogOff, f.btnTestFtp})
        SetWidth(button, w + 24);
    SetLeft(f.btnTestFtp, Right(f.btnRequestTestSms) + 32);
    // The signal gauge and the test number right of their captions.
    const int gauge = f.labelGsmRssi->x() + f.labelGsmRssi->sizeHint().width() + 8;
    SetLeftAtLeastDesign(f.guageRssi, gauge);
    SetLeftAtLeastDesign(f.textRssiError, gauge);
    SetLeft(f.textRssiValue, Right(f.guageRssi) + 10);
    SetLeftAtLeastDesign(f.comboTestTel, f.labelDestination->x() + f.labelDestination->sizeHint().width() + 8);
    SetLeft(f.btnTestNum, Right(f.comboTestTel) + 10);

    // 8. Manual message entry: the send buttons in one column, the fields up to them.
    const int fieldWidth = f.btnSend1->x() - f.editManualMsg1->x() - 8;
    for (QPushButton* button : {f.btnSend2, f.btnSend3, f.btnSend4, f.btnSend5, f.btnSend6, f.btnSend7, f.btnSend8})
        SetLeft(button, f.btnSend1->x());
    for (QLineEdit* field : {f.editManualMsg1, f.editManualMsg2, f.editManualMsg3, f.editManualMsg4, f.editManualMsg5,
                             f.editManualMsg6, f.editManualMsg7, f.editManualMsg8})
        SetWidth(field, fieldWidth);

    FitSpecialMessages(f);

    // 9. The page controls grow to what their pages hold, the window to them.
    FitTabs(f.pageKvt);
    FitTabs(f.pageMain);
    // The telephone-book buttons at the right edge of their grown tab.
    for (auto [button, tab] : {std::pair{f.btnHostNum, f.tabReport}, std::pair{f.btnAlarmNum, f.tabAlarms}})
        SetLeft(button, std::max(button->x(), PageWidth(tab) - button->width() - 8));
    f.btnEngNum->setGeometry(f.btnHostNum->x(), f.btnEngNum->y(), f.btnHostNum->width(), f.btnEngNum->height());
    // The database list grows with its page, its columns to their captions and cells.
    SetWidth(f.viewDatabase, DesignWidth(f.viewDatabase) + PageWidth(f.tabRfTest) - rfPageDesign);
    FitDatabaseColumns(f);
    int right = 0;
    for (QWidget* control : std::initializer_list<QWidget*>{f.pageMain, f.btnAbandon, f.panelSplash})
        right = std::max(right, Right(control) + 4);
    SetWidthAtLeastDesign(f.panelHeader, right);
    f.setProperty("headerWidth", f.panelHeader->width());
    FitWindow(f);
    PinHeader(f);
}
