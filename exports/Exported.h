// The exported functions as the library's own code sees them: the public
// declarations together with the internal records, layout checks and
// services their definitions use.
#pragma once

#include "exports/QvxEffect.h"
#include "frame/DibAccess.h"
#include "frame/FixedRecords.h"
#include "frame/ImageHandles.h"
#include "platform/GlobalMemory.h"
#include "platform/QvxCom.h"
#include "platform/WinTypes.h"
