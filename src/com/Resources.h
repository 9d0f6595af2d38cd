// Resource ids of comlineprobe.dll that code outside the resource script needs.
#pragma once

// The dialog's icon (32x32 and 16x16, 16 colours).
#define LINEPROBE_IDI_DIALOG 101
