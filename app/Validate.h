#pragma once
// Input checks of the configuration items, run before anything is sent.
// Each reads its fields at the moment it is called and returns irValid or
// irInvalid.
#include "app/ConfigItems.h"

class TformMain;

// Latitude and longitude (editGpsLat, editGpsLong): surrounding blanks and
// control characters are removed and the stripped texts written back; an
// empty text is 0. Valid when -90 <= latitude <= 90 and -180 <= longitude
// <= 180 after rounding to single precision; a text that is not a number
// (the decimal separator is '.') is invalid.
TItemResult ValidateGpsCoords(TformMain* form);

// editLowRfThresh: a decimal number 0..255.
TItemResult ValidateLowRfThreshold(TformMain* form);

// editEcuNum: hexadecimal digits giving 0..0xFFFF; any text when
// boxEcuUsesSerial is ticked (the number then comes from the serial number).
TItemResult ValidateEcuNumber(TformMain* form);

// editSerialNum: a decimal number 0..12999999.
TItemResult ValidateSerialNumber(TformMain* form);

// Everything the configuration job and the single send check for entry
// `index` of the table: the entry's own validator, if any; for the text items
// that the value (after the telephone-number filter where the item has one)
// fits one message record, since a text is refused, never cut; for the items
// taken from a drop-down list that an item is selected; and whatever else
// would keep the entry's request builder from sending (RequestCanBeBuilt).
// irInvalid also for an index outside the table.
TItemResult ValidateEntryInput(TformMain* form, int index);
