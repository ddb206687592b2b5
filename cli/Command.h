// The command line of `qvxeffect`: `list`, `gallery [INPUT] [OUTDIR]`, and
// `EFFECT [--param value ...] [selection] INPUT OUTPUT` for every entry of
// the effect table.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qvx::cli {

struct Stage;
struct FileOptions;

// Exit statuses of the tool.
enum ExitCode : int {
  kExitOk = 0,
  kExitLibrary = 1,      // the library refused or failed (its error code is printed)
  kExitUsage = 2,        // bad command line or parameter value, refused before the call
  kExitFile = 3,         // a file could not be read or written
  kExitCancelled = 130,  // Ctrl-C (SIGINT), in the progress bar (error 1) or elsewhere
  kExitTerminated = 143,  // SIGTERM
};

// What one effect run did, for the gallery.
struct RunReport {
  double callMilliseconds = 0;  // the exported function's call alone
  int errorStatus = 0;          // GetErrorStatus after the call
};

// Runs the tool on `args` (without the program name). `program` is how the
// tool was invoked, used in usage lines. Normal output goes to `out`, help
// included; every failure is one line on `err`.
int RunCommandLine(const std::string& program, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err, RunReport* report = nullptr);

// Reads the stages of a pipeline, "EFFECT [options] then EFFECT [options]
// ...", and the file options given in any of them. On failure `where` names
// the effect (or is empty) and `what` says what is wrong.
bool ParsePipeline(const std::vector<std::string>& words, std::vector<Stage>& stages,
                   FileOptions& files, std::string& where, std::string& what);

// "error 7 (unusable picture)"-style meaning of a library error code.
const char* ErrorMeaning(int code);

}  // namespace qvx::cli
