// The exported functions as the library's own code sees them: the public
// declarations together with the internal records, layout checks and
// services their definitions use.
#pragma once

// First, so that <windows.h> comes in with the library's settings (no min
// and max macros) before the public header includes it.
#include "platform/WinTypes.h"

#include "exports/QvxEffect.h"
#include "frame/DibAccess.h"
#include "frame/FixedRecords.h"
#include "frame/ImageHandles.h"
#include "platform/GlobalMemory.h"
#include "platform/QvxCom.h"
