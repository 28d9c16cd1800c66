#pragma once
// Behaviour of the configuration page that shapes what a configuration holds:
// the telephone book shared by the four telephone combo boxes, the weekday
// boxes with their "Every Day" boxes, and the "Clear All Debug Data" box over
// the fourteen debug-data clearing items.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class TformMain;

// ---- telephone book (the lists of comboHostTel, comboEngineerTel,
// comboTestTel and comboAlarmTel hold the same numbers in the same order)

// The most numbers the book holds: every index GetPhoneListItem can name.
inline constexpr size_t kPhoneBookLimit = 65536;

// The number at `index`, or "" when the index is not below the count.
std::string GetPhoneListItem(TformMain* form, uint16_t index);
// Appends the number (untrimmed) to all four lists unless it is blanks alone
// or an entry equals it once both are stripped of surrounding blanks and
// control characters.
// A full book (kPhoneBookLimit numbers) takes no more.
void AddNumberToLists(TformMain* form, const std::string& number);
// As AddNumberToLists for each number in turn.
void AddNumbersToLists(TformMain* form, const std::vector<std::string>& numbers);
// Removes the first entry exactly equal to the number from all four lists;
// each combo keeps the text shown in its edit field.
void RemoveNumberFromLists(TformMain* form, const std::string& number);

// Click of btnHostNum, btnEngNum, btnTestNum or btnAlarmNum: adds the
// combo's number in add mode ("Add to List"), else removes it and returns
// the button to add mode. An empty number does nothing.
void btnHostNumClick(TformMain* form, QPushButton* sender);
// A number picked from a combo's list: its button goes to delete mode.
void comboHostTelClick(TformMain* form, QComboBox* sender);
// A key typed into a combo: its button goes to add mode.
void comboHostTelKeyPress(TformMain* form, QComboBox* sender);

// ---- day masks: bit 0 Sunday .. bit 6 Saturday, bit 7 always 0

uint8_t GetPatrolDaysMask(TformMain* form);
uint8_t GetReportDaysMask(TformMain* form);
uint8_t GetHistDaysMask(TformMain* form);
void SetPatrolDaysMask(TformMain* form, uint8_t mask);
void SetReportDaysMask(TformMain* form, uint8_t mask);
void SetHistDaysMask(TformMain* form, uint8_t mask);

// "Every Day" ticked: the days chosen so far are remembered (patrolDays,
// reportDays, histDays) and all seven boxes ticked and locked; unticked: the
// boxes are unlocked and the remembered days put back.
void boxPatrolDailyClick(TformMain* form);
void boxReportDailyClick(TformMain* form);
void boxHistDailyClick(TformMain* form);

// ---- clear all debug data

// The ticks of the fourteen clearing boxes, bit 0 boxClearSmsSuccess ..
// bit 13 boxClearRxSmsLog (the order of the configuration table).
uint32_t GetDebugClearMask(TformMain* form);
// boxClearAll ticked: the ticks are remembered in debugCounters and all
// fourteen boxes ticked and locked; unticked: unlocked and put back.
void boxClearAllClick(TformMain* form);
// A click on the label beside the box toggles the box.
void textClearAllClick(TformMain* form);

// Connects the page's controls to the handlers above (check boxes through
// toggled, so that a state set from code runs them too). Safe to call more
// than once: the second call does nothing.
void WireConfigPage(TformMain* form);
