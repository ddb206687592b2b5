// Ctrl-C outside the library's calls. During a call the sibling library's
// progress handler catches it and the call ends with error 1; before and
// after a call the tool's own handler records it, so that the tool can stop
// at the next step without leaving a temporary file behind.
#pragma once

namespace qvx::cli {

// Installs the handler (the program does this once, at start).
void WatchInterrupts();
// Whether Ctrl-C was pressed since WatchInterrupts.
bool Interrupted();

}  // namespace qvx::cli
