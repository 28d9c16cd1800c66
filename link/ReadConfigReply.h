#pragma once
// The read-back's step of the repeater reply handler (state osReadConfig):
// offers each reply of the selected repeater to the current entry of the
// Read Configuration window's item table and moves on to the next entry
// once the entry's lines are in the report.
class TformMain;
struct TMsgRecord;

void ReadConfigStep(TformMain* form, const TMsgRecord* msg);
