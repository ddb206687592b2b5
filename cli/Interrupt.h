// Ctrl-C (SIGINT) and SIGTERM. During a library call with its progress bar
// the sibling library catches Ctrl-C and the call ends with error 1, after
// which the tool stops without writing. At every other moment (reading,
// decoding, a call without progress bar, encoding, writing) the tool's own
// handler removes the temporary files of writes in progress and ends the
// program at once with status 130 (SIGINT) or 143 (SIGTERM): an output is
// either complete and renamed into place, or was never there, and an
// existing file of that name is untouched.
#pragma once

namespace qvx::cli {

// Installs the handler (the program does this once, at start).
void WatchInterrupts();
// Whether an interrupt was recorded and not acted on yet.
bool Interrupted();

}  // namespace qvx::cli
