// Effects on pictures in memory.
//
// Every effect is called as a Windows caller calls it: the pictures are
// movable global blocks (the tool decodes large pictures straight into
// such blocks, so they go over without a copy), the export gets their
// handles, the error status is cleared before and read back after the
// call, and every handle that comes back is freed with GlobalFree.
//
// The library's 32-bit pictures carry no opacity (it writes 0 into the
// fourth byte of each pixel it changes), so the tool keeps a transparent
// picture's alpha as a plane of its own: effects that keep every pixel in
// place leave it as it is, and effects that move pixels move the plane the
// same way by running the same export on it as a grey picture.
#include "cli/Pipeline.h"

#include <chrono>
#include <sstream>

#include "cli/Interrupt.h"
#include "cli/Metadata.h"
#include "cli/Params.h"
#include "platform/QvxCom.h"

namespace qvx::cli {

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Why the library gave no picture, in the user's terms.
std::string ExplainFailure(const Stage& stage, const std::string& input, int code,
                           const Bytes& picture) {
  const EffectSpec& spec = *stage.spec;
  const std::string prefix =
      code == 0 ? std::string("no picture made and no error code")
                : "error " + std::to_string(code) + " (" + ErrorMeaning(code) + ")";
  const std::string kind = DescribePicture(picture);
  const std::string what = Quoted(input) + (kind[0] == '8' ? " is an " : " is a ") + kind +
                           " picture; " + spec.name + " takes " + spec.accepts;
  switch (code) {
    case 0:
    case 4:
    case 7:
      return prefix + ": " + what;
    case 1:
      return prefix + ": nothing was written";
    case 2:
      return prefix + (stage.mode == 1 ? std::string(": the progress window did not open")
                                       : ": the selection shape could not be drawn");
    case 3:
      return prefix + ": the pictures do not fit in memory";
    case 5:
      return prefix + ": the library refused a parameter or the selection";
    default:
      return prefix;
  }
}

// One call of the export: the pictures handed over as global blocks (the
// tool's large buffers already are), the call, and what it made. The
// result stays a block until the caller knows which pictures it still
// needs, so that copying it out can reuse memory they held.
struct CallResult {
  int status = 0;
  GlobalPicture picture, second;
  bool Made() const { return picture.get() != nullptr; }
};

CallResult CallExport(const EffectSpec& spec, EffectCall& call, const Bytes& picture,
                      const Bytes* mask, const std::vector<Bytes>& extraInputs,
                      RunReport* report) {
  CallResult result;
  GlobalPicture source = ToGlobal(picture);
  GlobalPicture maskBlock = mask ? ToGlobal(*mask) : GlobalPicture();
  std::vector<GlobalPicture> extras;
  for (const Bytes& dib : extraInputs) extras.push_back(ToGlobal(dib));
  bool allocated = source.get() && (!mask || maskBlock.get());
  for (const GlobalPicture& block : extras) allocated = allocated && block.get();
  if (!allocated) {
    result.status = 3;
    return result;
  }
  call.images = ImageHandles{source.get(), maskBlock.get()};
  call.extraInputs.clear();
  for (const GlobalPicture& block : extras) call.extraInputs.push_back(block.get());

  SetErrorStatus(0);
  const auto start = std::chrono::steady_clock::now();
  const EffectResult made = spec.invoke(call);
  const auto stop = std::chrono::steady_clock::now();
  result.status = GetErrorStatus();
  result.picture.Reset(made.picture);
  result.second.Reset(made.second);
  if (report) {
    report->callMilliseconds += std::chrono::duration<double, std::milli>(stop - start).count();
    report->errorStatus = result.status;
  }
  return result;
}

// The result's pictures as bytes, the blocks freed; false with `error` when
// the picture's block is not a whole picture. A second picture that cannot be read is
// dropped alone.
bool TakeResult(CallResult& result, Bytes& picture, Bytes& second, std::string& error) {
  const bool made = CopyFromGlobal(result.picture.get(), picture, error);
  result.picture.Reset();
  if (made && result.second.get() && !CopyFromGlobal(result.second.get(), second, error))
    second.clear();
  result.second.Reset();
  return made;
}

// The alpha plane of `picture` after a geometric effect made `result`: the
// same call with the same `values` on the plane as a grey picture (8 bits,
// or 24 for exports that refuse grey), with the entry's parameters for it.
bool MoveAlphaPlane(const EffectSpec& spec, std::vector<ParamValue> values, const Bytes& picture,
                    const Bytes& result, const std::vector<Bytes>& extraInputs, Bytes& plane) {
  int width = 0, height = 0, resultWidth = 0, resultHeight = 0;
  PictureSize(picture, width, height);
  PictureSize(result, resultWidth, resultHeight);
  std::string error;
  if (!ApplyArgs(spec, spec.alphaArgs, values, error)) return false;
  for (const int bits : {8, 24}) {
    EffectCall call;
    call.specs = &spec.params;
    call.values = &values;
    call.noDialog = TRUE;
    CallResult moved = CallExport(spec, call, PlanePicture(plane, width, height, bits), nullptr,
                                  extraInputs, nullptr);
    Bytes movedPicture, unused;
    if (!moved.Made() || !TakeResult(moved, movedPicture, unused, error)) continue;
    int movedWidth = 0, movedHeight = 0;
    PictureSize(movedPicture, movedWidth, movedHeight);
    if (movedWidth == resultWidth && movedHeight == resultHeight)
      return PictureToPlane(movedPicture, plane);
  }
  return false;
}

}  // namespace

bool ApplyArgs(const EffectSpec& spec, const std::string& args, std::vector<ParamValue>& values,
               std::string& error) {
  std::istringstream words(args);
  std::string word;
  while (words >> word) {
    const bool negated = word.rfind("--no-", 0) == 0;
    const std::string name = word.substr(negated ? 5 : 2);
    std::size_t i = 0;
    while (i < spec.params.size() && name != spec.params[i].name) ++i;
    if (word.rfind("--", 0) != 0 || i == spec.params.size()) {
      error = "no parameter " + word;
      return false;
    }
    const ParamSpec& p = spec.params[i];
    std::string text = negated ? "0" : "1";
    if (p.kind != ParamKind::Flag && !(words >> text)) {
      error = word + " needs a value";
      return false;
    }
    if ((negated && p.kind != ParamKind::Flag) || !ParseParam(p, text, values[i], error)) {
      if (negated) error = word + " is not an on/off option";
      return false;
    }
  }
  return true;
}

Outcome LoadPicture(const std::string& path, const FileOptions& options, Picture& picture) {
  std::string error;
  if (!LoadImageFile(path, picture.dib, error, &picture.extras, options.maxPixels))
    return Outcome{kExitFile, "", error};
  const int orientation = options.autoOrient ? ExifOrientation(picture.extras.exif) : 1;
  if (orientation == 1) return Outcome{};
  // Turned upright with the library's own quarter turns and mirror.
  const Upright upright = UprightFor(orientation);
  Stage turn;
  turn.spec = FindEffect("rotation");
  if (!turn.spec) return Outcome{kExitLibrary, "", "the tool has no rotation to turn pictures"};
  turn.values.resize(turn.spec->params.size());
  for (std::size_t i = 0; i < turn.spec->params.size(); ++i)
    if (turn.spec->params[i].fallback)
      ParseParam(turn.spec->params[i], turn.spec->params[i].fallback, turn.values[i], error);
  const std::string args =
      "--angle " + std::to_string(upright.degrees) + (upright.mirror ? " --mirror" : "");
  if (!ApplyArgs(*turn.spec, args, turn.values, error)) return Outcome{kExitLibrary, "", error};
  FileOptions quiet = options;
  quiet.quiet = true;
  Outcome turned = RunStage(turn, quiet, path, picture, nullptr);
  if (!turned) {
    turned.what = "turning the picture upright (EXIF orientation " +
                  std::to_string(orientation) + "): " + turned.what;
    return turned;
  }
  // A block whose orientation cannot be reset would turn the picture again
  // in a viewer; it is dropped.
  if (!ResetExifOrientation(picture.extras.exif)) picture.extras.exif.clear();
  return Outcome{};
}

Outcome SavePicture(const std::string& path, const FileOptions& options, const Picture& picture,
                    ImageFormat stdoutFormat) {
  EncodeOptions encode = options.encode;
  ImageExtras alphaOnly;
  if (options.strip) {
    alphaOnly.alpha = picture.extras.alpha;
    encode.extras = &alphaOnly;
  } else {
    encode.extras = &picture.extras;
  }
  std::string error;
  if (!SaveImageFile(path, picture.dib, error, encode, stdoutFormat))
    return Outcome{kExitFile, "", error};
  return Outcome{};
}

Outcome RunStage(const Stage& stage, const FileOptions& options, const std::string& input,
                 Picture& picture, std::ostream* notes, Bytes* secondOutput, RunReport* report) {
  const EffectSpec& spec = *stage.spec;
  const auto fail = [&](int status, const std::string& what) {
    return Outcome{status, spec.name, what};
  };
  const auto note = [&](const std::string& what) {
    if (notes) *notes << spec.name << ": note: " << what << '\n';
  };
  int width = 0, height = 0;
  PictureSize(picture.dib, width, height);

  std::vector<ParamValue> values = stage.values;
  EffectCall call;
  call.specs = &spec.params;
  call.values = &values;
  call.mode = stage.mode;
  call.polygon = stage.polygon;
  call.ellipse = stage.ellipse;
  call.inside = stage.outside ? FALSE : TRUE;
  call.noDialog = options.quiet ? TRUE : FALSE;
  if (spec.check) {
    const std::string why = spec.check(call, width, height);
    if (!why.empty()) return fail(kExitUsage, why);
  }

  std::string error;
  std::vector<Bytes> extraInputs(stage.extraInputs.size());
  for (std::size_t i = 0; i < extraInputs.size(); ++i)
    if (!LoadImageFile(stage.extraInputs[i], extraInputs[i], error, nullptr, options.maxPixels))
      return fail(kExitFile, error);
  Bytes mask;
  if (!stage.mask.empty()) {
    Bytes maskFile;
    if (!LoadImageFile(stage.mask, maskFile, error, nullptr, options.maxPixels))
      return fail(kExitFile, error);
    if (!MakeMask(maskFile, spec.selection == Selection::Shapes && stage.outside, mask, error))
      return fail(kExitFile, Quoted(stage.mask) + ": " + error);
    int maskWidth = 0, maskHeight = 0;
    PictureSize(mask, maskWidth, maskHeight);
    if (maskWidth != width || maskHeight != height)
      return fail(kExitUsage, "--mask " + Quoted(stage.mask) + " is " +
                                  std::to_string(maskWidth) + " x " + std::to_string(maskHeight) +
                                  ", the picture " + std::to_string(width) + " x " +
                                  std::to_string(height) + "; they must be the same size");
  }

  // Picture-valued parameters: files into global memory (masks made 1-bit)
  // for the length of the call. The pictures are kept as long as their
  // blocks, which may be the pictures' own memory.
  std::vector<Bytes> paramPictures;
  std::vector<GlobalPicture> paramBlocks;
  for (std::size_t i = 0; i < spec.params.size(); ++i) {
    const ParamSpec& p = spec.params[i];
    if (values[i].path.empty()) continue;
    Bytes file, dib;
    if (!LoadImageFile(values[i].path, file, error, nullptr, options.maxPixels))
      return fail(kExitFile, error);
    if (p.kind == ParamKind::Mask && !MakeMask(file, false, dib, error))
      return fail(kExitFile, Quoted(values[i].path) + ": " + error);
    paramPictures.push_back(std::move(p.kind == ParamKind::Mask ? dib : file));
    paramBlocks.push_back(ToGlobal(paramPictures.back()));
    if (!paramBlocks.back().get()) return fail(kExitLibrary, "the pictures do not fit in memory");
    values[i].picture = paramBlocks.back().get();
  }

  // Effects that read opacity from the fourth bytes get the alpha plane there.
  Bytes& alpha = picture.extras.alpha;
  if (spec.alphaIn && !alpha.empty() && PutAlphaBytes(picture.dib, alpha)) alpha.clear();

  if (Interrupted()) return fail(kExitCancelled, "cancelled; nothing was written");
  CallResult result =
      CallExport(spec, call, picture.dib, mask.empty() ? nullptr : &mask, extraInputs, report);
  // A depth the effect does not take: the picture goes in again at 24 bits,
  // unless the user asked for the library's refusal.
  const std::string kind = DescribePicture(picture.dib);
  const bool refused = result.status == 0 || result.status == 4 || result.status == 7;
  if (!result.Made() && refused && !options.strict && kind.rfind("24-bit", 0) != 0 &&
      kind.rfind("32-bit", 0) != 0) {
    Bytes converted = To24Bit(picture.dib);
    CallResult again = CallExport(spec, call, converted, mask.empty() ? nullptr : &mask,
                                  extraInputs, report);
    if (again.Made()) {
      note(Quoted(input) + " is " + (kind[0] == '8' ? "an " : "a ") + kind +
           " picture, which " + spec.name + " does not take; converted to 24-bit");
      picture.dib = std::move(converted);
      result = std::move(again);
    }
  }
  if (!result.Made())
    return fail(result.status == 1 ? kExitCancelled : kExitLibrary,
                ExplainFailure(stage, input, result.status, picture.dib));

  // The source is needed after the call only to move an alpha plane;
  // otherwise its memory goes first, so that the result's copy reuses it.
  const bool moveAlpha = !spec.alphaOut && !alpha.empty() && spec.alphaArgs;
  if (!moveAlpha) Bytes().swap(picture.dib);
  Bytes made, second;
  if (!TakeResult(result, made, second, error)) return fail(kExitLibrary, error);

  if (spec.alphaOut) {
    if (!TakeAlphaBytes(made, alpha)) alpha.clear();
  } else if (moveAlpha) {
    if (!MoveAlphaPlane(spec, values, picture.dib, made, extraInputs, alpha)) {
      alpha.clear();
      note("the transparency could not follow the picture and was dropped");
    }
  } else if (!alpha.empty()) {
    int resultWidth = 0, resultHeight = 0;
    PictureSize(made, resultWidth, resultHeight);
    if (resultWidth != width || resultHeight != height) {
      alpha.clear();
      note("the picture changed size; its transparency was dropped");
    }
  }
  picture.dib = std::move(made);
  if (secondOutput) *secondOutput = std::move(second);
  return Outcome{};
}

Outcome RunPipeline(const std::string& input, const std::vector<Stage>& stages,
                    const std::string& output, const std::string& secondOutput,
                    const FileOptions& options, std::ostream* notes, RunReport* report) {
  Picture picture;
  Outcome outcome = LoadPicture(input, options, picture);
  if (!outcome) return outcome;
  Bytes second;
  for (std::size_t i = 0; i < stages.size(); ++i) {
    const bool last = i + 1 == stages.size();
    outcome = RunStage(stages[i], options, input, picture, notes,
                       last && !secondOutput.empty() ? &second : nullptr, report);
    if (!outcome) return outcome;
  }
  // Standard output gets the input's format (PNG for standard input).
  const ImageFormat inputFormat = ImageFormatFromPath(input);
  const ImageFormat stdoutFormat =
      inputFormat == ImageFormat::Unknown ? ImageFormat::Png : inputFormat;
  outcome = SavePicture(output, options, picture, stdoutFormat);
  if (!outcome || secondOutput.empty() || second.empty()) return outcome;
  std::string error;
  if (!SaveImageFile(secondOutput, second, error, options.encode, stdoutFormat))
    return Outcome{kExitFile, "", error};
  return Outcome{};
}

}  // namespace qvx::cli
