// The resource id of the dialog's icon, which the resource script of the DLL
// (or of a test program that shows the dialog) provides.
#pragma once

// The dialog's icon (32x32 and 16x16, 16 colours).
#define LINEPROBE_IDI_DIALOG 101
