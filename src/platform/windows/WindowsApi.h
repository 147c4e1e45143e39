// The one way into the Windows API for the platform layer: windows.h with the
// min/max macros and the rarely used parts of the API left out.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
