// Per-row progress reports of effect workers.
#pragma once

#include "frame/ErrorCodes.h"
#include "platform/QvxCom.h"

namespace qvx {

// Reports `done` of `total` within the slice percentFrom..percentTo. A false
// answer means the user cancelled: error 1 is already set, and the worker
// releases everything and returns 0.
inline bool ReportProgress(int done, int total, int percentFrom, int percentTo, BOOL noDialog) {
  if (PercentProgress(done, total, percentFrom, percentTo, noDialog)) return true;
  SetErrorStatus(kErrorCancelled);
  return false;
}

}  // namespace qvx
