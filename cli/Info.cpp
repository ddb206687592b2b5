#include "cli/Info.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cli/Command.h"
#include "cli/Help.h"
#include "cli/ImageFile.h"
#include "cli/ImageFileDib.h"
#include "cli/Metadata.h"
#include "cli/Pictures.h"

namespace qvx::cli {

namespace {

const char* OrientationMeaning(int orientation) {
  static const char* const kMeanings[] = {
      "upright",
      "mirrored left-right",
      "upside down",
      "upside down and mirrored (flipped top-bottom)",
      "mirrored and lying on its right side (transposed)",
      "lying on its left side: turned a quarter right when read",
      "mirrored and lying on its left side (transversed)",
      "lying on its right side: turned a quarter left when read"};
  return kMeanings[std::clamp(orientation, 1, 8) - 1];
}

std::string Transparency(const Bytes& alpha) {
  if (alpha.empty()) return "none";
  const bool opaque = std::all_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a == 255; });
  return opaque ? "alpha channel, every pixel opaque" : "alpha channel";
}

}  // namespace

int RunInfo(const std::string& program, const std::vector<std::string>& files, std::ostream& out,
            std::ostream& err) {
  if (files.empty()) {
    err << ProgramName(program) << ": info: name at least one picture file\n";
    return kExitUsage;
  }
  int status = kExitOk;
  for (const std::string& path : files) {
    Bytes dib;
    ImageExtras extras;
    std::string error;
    if (!LoadImageFile(path, dib, error, &extras)) {
      err << ProgramName(program) << ": info: " << error << '\n';
      status = kExitFile;
      continue;
    }
    DibLayout layout;
    InspectDib(dib.data(), dib.size(), layout, error);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
    const int orientation = ExifOrientation(extras.exif);
    out << path << ": " << layout.width << " x " << layout.height << ", "
        << DescribePicture(dib) << (extras.alpha.empty() ? "" : " with alpha") << '\n';
    out << "  colour table:   "
        << (layout.bitCount <= 8 ? std::to_string(layout.colorCount) + " entries" : "none") << '\n';
    out << "  transparency:   " << Transparency(extras.alpha) << '\n';
    out << "  orientation:    " << orientation << " (" << OrientationMeaning(orientation) << ")\n";
    out << "  EXIF:           "
        << (extras.exif.empty() ? "none" : std::to_string(extras.exif.size()) + " bytes") << '\n';
    out << "  colour profile: "
        << (extras.icc.empty() ? "none" : "ICC, " + std::to_string(extras.icc.size()) + " bytes")
        << '\n';
    if (header->biXPelsPerMeter > 0 && header->biYPelsPerMeter > 0)
      out << "  resolution:     " << std::lround(header->biXPelsPerMeter * 0.0254) << " x "
          << std::lround(header->biYPelsPerMeter * 0.0254) << " dpi\n";
  }
  return status;
}

}  // namespace qvx::cli
