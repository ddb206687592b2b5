// qvxeffect: the library's effects on picture files, from the command line.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Interrupt.h"
#include "cli/LargeBuffers.h"

// Every C++ allocation of the tool goes through the tool's buffers, so that
// large ones land in huge pages that are reused.
void* operator new(std::size_t bytes) {
  if (void* buffer = qvx::cli::AllocateBuffer(bytes)) return buffer;
  throw std::bad_alloc();
}
void* operator new[](std::size_t bytes) { return operator new(bytes); }
void operator delete(void* buffer) noexcept { qvx::cli::FreeBuffer(buffer); }
void operator delete[](void* buffer) noexcept { qvx::cli::FreeBuffer(buffer); }
void operator delete(void* buffer, std::size_t) noexcept { qvx::cli::FreeBuffer(buffer); }
void operator delete[](void* buffer, std::size_t) noexcept { qvx::cli::FreeBuffer(buffer); }

int main(int argc, char** argv) {
  qvx::cli::WatchInterrupts();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return qvx::cli::RunCommandLine(argc > 0 ? argv[0] : "qvxeffect", args, std::cout, std::cerr);
}
