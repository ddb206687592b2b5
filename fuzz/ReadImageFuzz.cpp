// The tool's file readers on hostile files: each either reads a picture the
// library can take or refuses with a one-line message, allocating no more
// than the pixel budget allows.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ImageFile.h"
#include "cli/ImageFileDib.h"

namespace {

// A smaller budget than the tool's keeps every run fast; it is what the
// check is about, not its value.
constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "read fuzz: %s: %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> dib;
  std::string error;
  if (qvx::DecodeImage(data, size, dib, error, nullptr, kFuzzMaxPixels)) {
    qvx::DibLayout layout;
    if (!qvx::InspectDib(dib.data(), dib.size(), layout, error))
      Fail("a picture was read that the library cannot take", error);
    if (static_cast<std::uint64_t>(layout.width) * layout.height > kFuzzMaxPixels)
      Fail("a picture over the pixel budget was read", std::to_string(layout.width));
  } else {
    if (!dib.empty()) Fail("a refused file left a picture behind", error);
    if (error.empty() || error.find('\n') != std::string::npos)
      Fail("a refusal without a one-line message", error);
  }
  return 0;
}
