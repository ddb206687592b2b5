// Running effects on pictures held in memory: one or several effects in a
// row on one decoded picture, its transparency and metadata carried along.
// Both the single effect command and pipelines and batches end here.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/EffectTable.h"
#include "cli/ImageFile.h"
#include "cli/Pictures.h"

namespace qvx::cli {

// How the input is read and the output written, and how effects are called.
struct FileOptions {
  EncodeOptions encode;   // quality, chroma sampling, progression, compression
  bool autoOrient = true;  // turn pictures upright by their EXIF orientation
  bool strip = false;      // write no EXIF or ICC profile
  bool strict = false;     // no conversion of pictures an effect refuses
  bool quiet = false;      // no progress bar
  std::uint64_t maxPixels = kDefaultMaxPixels;  // largest input picture read
};

// A picture on its way through the tool: the packed DIB the library sees
// (fourth bytes of 32-bit pixels zero) with the file's opacity plane and
// metadata beside it.
struct Picture {
  Bytes dib;
  ImageExtras extras;
};

// One effect with everything the user gave it, checked.
struct Stage {
  const EffectSpec* spec = nullptr;
  std::vector<ParamValue> values;  // by parameter, in table order
  BYTE mode = 1;                   // whole picture, or mask 0, polygon 2, ellipse 3
  std::vector<POINT> polygon;
  RECT ellipse{};
  bool outside = false;
  std::string mask;                      // mask picture file ("" for none)
  std::vector<std::string> extraInputs;  // further picture files the effect takes
};

// Why a step failed: the exit status and one line (without the program's
// name), or status 0.
struct Outcome {
  int status = kExitOk;
  std::string where;  // the effect's name, or "" for the command as a whole
  std::string what;
  explicit operator bool() const { return status == kExitOk; }
};

// Sets parameters of `spec` from command-line text ("--name value --flag
// --no-flag ..."), over what `values` hold. False with `error` when a name
// or value is wrong.
bool ApplyArgs(const EffectSpec& spec, const std::string& args, std::vector<ParamValue>& values,
               std::string& error);

// Reads a picture file (or standard input for "-"), and unless told
// otherwise turns it upright by its EXIF orientation.
Outcome LoadPicture(const std::string& path, const FileOptions& options, Picture& picture);
// Writes the picture (standard output for "-", as `stdoutFormat`).
Outcome SavePicture(const std::string& path, const FileOptions& options, const Picture& picture,
                    ImageFormat stdoutFormat = ImageFormat::Png);

// Runs one effect on the picture and replaces it with the result. `input`
// names the picture in messages; notes (a conversion, transparency that
// could not follow) go to `notes` when given. A travelling mask's result
// goes to `secondOutput` when given.
Outcome RunStage(const Stage& stage, const FileOptions& options, const std::string& input,
                 Picture& picture, std::ostream* notes, Bytes* secondOutput = nullptr,
                 RunReport* report = nullptr);

// INPUT, each stage in turn, OUTPUT (and the travelling mask of a single
// stage to SECOND-OUTPUT).
Outcome RunPipeline(const std::string& input, const std::vector<Stage>& stages,
                    const std::string& output, const std::string& secondOutput,
                    const FileOptions& options, std::ostream* notes, RunReport* report = nullptr);

}  // namespace qvx::cli
