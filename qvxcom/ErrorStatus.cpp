// Error status of the stand-in sibling library: one value per thread, so that
// concurrent callers each see the outcome of their own last call.
#include "platform/QvxCom.h"

namespace {
thread_local int g_errorStatus = 0;
}

extern "C" {

void WINAPI SetErrorStatus(int code) { g_errorStatus = code; }

int WINAPI GetErrorStatus(void) { return g_errorStatus; }

// The toolkit's locale probe; this stand-in has no locale-dependent behaviour.
void WINAPI CheckJapan(void) {}

}  // extern "C"
