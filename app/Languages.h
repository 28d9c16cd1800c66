#pragma once
// The program's texts in the chosen language.
//
// "Languages.dll" holds one block of 310 strings per language: language n owns
// the string ids n*310 .. n*310+309, offset 0 names the language, and id 309 of
// block 0 is the language-pack version suffix. The first block whose name is
// empty ends the list of languages. The library is opened around each use and
// never held open; without it every text is the English one built into the
// program (app/LangTable.h).
#include "app/LangTable.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractButton;
class QAction;
class QMenu;
class QWidget;
class TformMain;
namespace platform {
class ResourceLibrary;
}

using TLangStrings = std::array<std::string, kLangStringCount>;

// ---- lookup

// The current language's text `id` (0..309), or `englishDefault` when the language
// has none. An id outside 0..309 or a null form gives the default.
std::string GetLangString(TformMain* form, int id, const std::string& englishDefault);
std::string GetLangString(const TLangStrings& strings, int id, const std::string& englishDefault);

// The same with the English text taken from the text table (variant: which of
// the id's English texts this caller shows, 0 = the first).
std::string LangText(TformMain* form, int id, int variant = 0);

// ---- the language library

// "Languages.dll" beside the program, else in the current directory; null when
// it is missing or not a readable library.
std::unique_ptr<platform::ResourceLibrary> OpenLanguageLibrary();

struct TLanguageList {
    std::vector<std::string> names; // in block order, up to the first unnamed block
    std::string suffix;             // id 309, "00" when empty or without a library
};
TLanguageList ReadLanguageList(const platform::ResourceLibrary* library);

// Fills `strings` with block `index` (entry i = id index*310 + i; "" when missing,
// and all "" without a library).
void LoadLanguageBlock(const platform::ResourceLibrary* library, uint32_t index, TLangStrings& strings);

// ---- the Language menu

// Appends one radio item per language of the library to `menu` and sets
// `captionSuffix`; a click on an item calls onClick with it. Without languages
// the menu gets the single ticked item "English", which does nothing.
void BuildLanguageMenu(QMenu* menu, std::string& captionSuffix,
                       const std::function<void(QAction*)>& onClick);

// The main window's Language menu and captionSuffix; items call LanguageMenuClick.
// Called once by the create handler, which then ticks the item at languageIndex
// and loads that language.
void BuildLanguageMenu(TformMain* form);

// Loads block `index` of the library into form->langStrings.
void LoadLanguage(TformMain* form, uint32_t index);

// The click of a language item: unless it is already ticked, makes its language
// the current one (languageIndex, langStrings), ticks it and applies the texts.
void LanguageMenuClick(TformMain* form, QAction* sender);

// ---- the main window's texts

// Puts every text on the main window's captions, items and column headers and
// lays the window out again to fit them.
void ApplyLanguage(TformMain* form);

// Keeps the main window's layout as its form resource gives it (every pass of
// ApplyLanguage starts from it) and puts its controls in a scroll area. Called
// once by the constructor.
void KeepDesignLayout(TformMain* form);

// The main window at the size its layout needs, as far as the available area
// of its screen allows, and moved onto that area.
void FitWindowToScreen(TformMain* form);

// Width of a caption as `widget`'s font draws it, without the '&' accelerator marks.
int CaptionWidth(const QWidget* widget, const QString& caption);

// Width of a check box or radio button that shows the whole of its caption:
// the caption, the style's indicator and the spacing after it (and whatever
// else the style asks for around them).
int MarkedCaptionWidth(const QAbstractButton* button);
