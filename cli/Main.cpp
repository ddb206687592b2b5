// qvxeffect: the library's effects on picture files, from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Interrupt.h"

int main(int argc, char** argv) {
  qvx::cli::WatchInterrupts();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return qvx::cli::RunCommandLine(argc > 0 ? argv[0] : "qvxeffect", args, std::cout, std::cerr);
}
