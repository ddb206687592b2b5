// `qvxeffect gallery`: every effect of the table, with its sample
// parameters, on one picture, gathered on a web page.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qvx::cli {

// The bundled sample photograph, found next to the sources the tool was
// built from or relative to the executable.
std::string DefaultGalleryInput();
// Where the gallery goes by default: a folder in the build tree.
std::string DefaultGalleryDir();

// The arguments a gallery sample stands for on a width x height picture:
// "{w:0.25}" and "{h:0.5}" become that fraction of the width or height
// (rounded), "{W:0.3}" and "{H:0.3}" likewise but at least 1 (for sizes), "{ellipse}" and "{polygon}" a centred --ellipse or --polygon;
// double quotes group words into one argument.
std::vector<std::string> GalleryArguments(const std::string& sample, int width, int height);

// An argument as a POSIX shell reads it back: quoted when needed.
std::string ShellQuote(const std::string& argument);

// Runs every sample of every effect on `input` (empty: the default) and
// writes `outDir` (empty: the default)/index.html. Returns 0 when every
// sample ran, 1 when some failed (the page shows why), 3 when the input
// cannot be read or the page not written, 130 when cancelled.
int RunGallery(const std::string& program, const std::string& input, const std::string& outDir,
               std::ostream& out, std::ostream& err);

}  // namespace qvx::cli
