// `qvxeffect info FILE...`: what a picture file holds.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qvx::cli {

// For each file: format, size, kind of picture, colour table, transparency,
// EXIF orientation, colour profile and resolution. Returns 0, or 3 when a
// file could not be read (the others are still described).
int RunInfo(const std::string& program, const std::vector<std::string>& files, std::ostream& out,
            std::ostream& err);

}  // namespace qvx::cli
