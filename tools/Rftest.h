#pragma once
// The RF test tab's jobs: clear the repeater's logger database, start a test
// patrol, read the database into the main window's list; and the row that
// one database entry becomes.
#include <QString>
#include <cstdint>

class TformMain;
class QTreeWidgetItem;
struct TMsgRecord;

void StartClearDatabase(TformMain* form);
void StartPatrol(TformMain* form);
void StartReadDatabase(TformMain* form);

// Appends the entry of a 16- or 17-byte database entry reply as a row of
// viewDatabase and shows the new logger count. Shorter records add nothing.
void AddLoggerRecord(TformMain* form, const TMsgRecord* msg);

// The patrol time as the row shows it: "dd-mmm-yy  hh:nn:ss" of an unsigned
// Unix time, with the short month name of the regional settings.
QString LoggerTimeText(uint32_t unixSeconds);

// What the starters share: the no-repeater refusal and the job's busy look.
bool RefuseWithoutRepeater(TformMain* form);
void ShowBusyLook(TformMain* form);
