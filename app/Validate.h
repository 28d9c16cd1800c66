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

// The number fields, read as their builders send them (surrounding blanks
// allowed): editLowRfThresh a decimal number 0..255.
TItemResult ValidateLowRfThreshold(TformMain* form);

// editEcuNum: hexadecimal digits giving 0..0xFFFF. With boxEcuUsesSerial
// ticked the ECU text plays no part: the number comes from the serial number,
// which must then be a valid one when boxSerialNum is ticked (else from the
// selected repeater's address).
TItemResult ValidateEcuNumber(TformMain* form);

// editSerialNum: a decimal number 0..12999999.
TItemResult ValidateSerialNumber(TformMain* form);

// Everything the configuration job and the single send check for entry
// `index` of the table: the entry's own validator, if any, and then whether
// the entry's request builder would send its input as it stands
// (RequestCanBeBuilt: a text too long for one record or with a character
// outside the code page, a list with nothing chosen, ...).
// irInvalid also for an index outside the table.
TItemResult ValidateEntryInput(TformMain* form, int index);
