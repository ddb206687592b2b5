// Movable global memory: every picture, mask and work table lives in a block
// from GlobalAlloc, handed around by its HGLOBAL.
//
// On Windows these are kernel32's. Elsewhere the platform layer provides the
// same functions with the Windows semantics callers rely on (zero-initialised
// blocks, lock counts, null for failure), refuses handles it did not hand out,
// and keeps accounts that tests read.
#pragma once

#include "platform/WinTypes.h"

// GlobalAlloc and its siblings are declared by the public header (kernel32's
// on Windows, the stand-in elsewhere).

// Accounts and failure injection are this platform layer's own; kernel32
// keeps neither, so on Windows the counts stay 0 and injection does nothing
// (tests ask QvxTest::HasAccounting() before relying on them).
extern "C" {
// Accounting for tests: blocks allocated and not freed, and blocks whose lock
// count is above zero.
long QvxMemLiveBlocks(void);
long QvxMemLockedBlocks(void);
// Bytes of the blocks allocated and not freed (the sizes asked for), and the
// most there have been at once since QvxMemResetPeakBytes (or the start):
// what a call needed at its peak, for tests of work memory.
SIZE_T QvxMemLiveBytes(void);
SIZE_T QvxMemPeakBytes(void);
void QvxMemResetPeakBytes(void);

// Failure injection: the n-th GlobalAlloc (or GlobalLock) from now fails,
// counting from 1; 0 switches injection off. Injection also switches itself
// off after it has fired once.
void QvxMemFailAllocAt(long n);
void QvxMemFailLockAt(long n);
// How many GlobalAlloc / GlobalLock calls have been made since the process
// started; lets a test size its injection loop.
long QvxMemAllocCalls(void);
long QvxMemLockCalls(void);
// Guard-page mode, for sanitizer and fuzz builds: every block allocated
// while it is on ends right before an inaccessible page, so a read or write
// past the end of any block faults at once. Blocks start 16-byte aligned;
// the few bytes between a block's end and its guard page are poisoned for
// the address sanitizer where it is present. Off by default.
void QvxMemSetGuardPages(int on);
// Reuse of freed large blocks (1 MB and more, outside guard-page mode):
// at most `blocks` of them, holding at most `bytes` together, are kept, and
// one unused for `idleMilliseconds` goes back to the system at the next
// allocation or free. 0 blocks switches reuse off; what is kept beyond new
// limits is released at once. By default 4 blocks, 512 MB, 1000 ms.
void QvxMemSetBlockKeep(long blocks, unsigned long long bytes, long idleMilliseconds);
// Freed blocks kept for reuse now.
long QvxMemKeptBlocks(void);
}
