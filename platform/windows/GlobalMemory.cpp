// Global memory on Windows is kernel32's, which keeps no accounts for tests
// and cannot be made to fail on demand: the counts read 0 and injection
// requests are ignored.
#include "platform/GlobalMemory.h"

extern "C" {

long QvxMemLiveBlocks(void) { return 0; }
long QvxMemLockedBlocks(void) { return 0; }
void QvxMemFailAllocAt(long) {}
void QvxMemFailLockAt(long) {}
long QvxMemAllocCalls(void) { return 0; }
long QvxMemLockCalls(void) { return 0; }
void QvxMemSetGuardPages(int) {}
unsigned long long QvxMemPeakBytes(void) { return 0; }
void QvxMemResetPeak(void) {}

}  // extern "C"
