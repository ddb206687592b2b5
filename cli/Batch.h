// `qvxeffect batch`: one effect or pipeline on many files, on several
// threads.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qvx::cli {

// The output file of `input` for --out `target`: a folder (the input's file
// name inside it), or a pattern with {name} (the input's file name without
// extension), {ext} (its extension) and {dir} (its folder, "." when none).
std::string BatchOutputPath(const std::string& target, const std::string& input);

// `batch [-j N] --out DIR|PATTERN EFFECT [options] [then EFFECT ...] --
// INPUT...`, INPUT files or folders (their BMP, PNG and JPEG files). Every
// file is tried; failures are listed at the end and make the status
// non-zero (that of the first failure).
int RunBatch(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err);

}  // namespace qvx::cli
