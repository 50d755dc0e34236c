#pragma once

// Marker bytes that open the program file's version record ("WLVREC" + 0xFE 0xED).
#define WAVELARK_VERSION_RECORD_MARKER_BYTES 'W', 'L', 'V', 'R', 'E', 'C', 0xFE, 0xED
