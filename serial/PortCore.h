#pragma once
// The serial port library, as its users include it: the component with its
// settings, I/O, event thread and listeners, the port list, the text forms of
// the settings and their persistence.
#include "serial/ComError.h"
#include "serial/ComPort.h"
#include "serial/ComSettings.h"
#include "serial/ComTexts.h"
#include "serial/ComThread.h"
#include "serial/ComTypes.h"
#include "serial/ControlBlock.h"
