// Global memory on Windows is kernel32's, which keeps no accounts for tests
// and cannot be made to fail on demand: the counts read 0 and injection
// requests are ignored.
#include "platform/GlobalMemory.h"

extern "C" {

long QvxMemLiveBlocks(void) { return 0; }
long QvxMemLockedBlocks(void) { return 0; }
SIZE_T QvxMemLiveBytes(void) { return 0; }
SIZE_T QvxMemPeakBytes(void) { return 0; }
void QvxMemResetPeakBytes(void) {}
void QvxMemFailAllocAt(long) {}
void QvxMemFailLockAt(long) {}
long QvxMemAllocCalls(void) { return 0; }
long QvxMemLockCalls(void) { return 0; }
void QvxMemSetGuardPages(int) {}
void QvxMemSetBlockKeep(long, unsigned long long, long) {}
long QvxMemKeptBlocks(void) { return 0; }

}  // extern "C"
