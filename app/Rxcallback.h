#pragma once
// The reply checks of the configuration item table: each decides whether a
// reply of the selected repeater acknowledges the entry in progress
// (form->itemIndex). The reply handler has compared the address already.
//
// Results: irDone (acknowledged), irRejected (the repeater refused the item)
// or irNotMine (some other reply; left to the reply time-out). A record too
// short to hold a byte that a check looks at is irNotMine: nothing beyond the
// record's count is ever read.
#include "app/ConfigItems.h"

class TformMain;
struct TMsgRecord;

// Write acknowledgement 0xCB for the current item code; refusal: error reply
// to the write command 0xCA.
TItemResult ReplyCheckDefault(TformMain* form, const TMsgRecord* msg);
// Set-clock acknowledgement: 0xD1, count 5.
TItemResult ReplyCheckD1(TformMain* form, const TMsgRecord* msg);
// Region acknowledgement: 0xE5, count 6.
TItemResult ReplyCheckE5(TformMain* form, const TMsgRecord* msg);
// Clear-database acknowledgement: 0xED, count 5.
TItemResult ReplyCheckED(TformMain* form, const TMsgRecord* msg);
// Erase-log acknowledgement: 0xF1, count 6, for the current log index.
TItemResult ReplyCheckF1(TformMain* form, const TMsgRecord* msg);
// Service write acknowledgement: 0xF3, count 6, for the current item code;
// refusal: error reply count 7 to the service command 0xF2 with error code 3.
TItemResult ReplyCheckF3(TformMain* form, const TMsgRecord* msg);
