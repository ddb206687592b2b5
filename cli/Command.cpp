// The command line of `qvxeffect`, built from the effect table with CLI11.
//
// Every effect is called as a Windows caller calls it: the pictures are
// copied into movable global blocks, the export gets their handles, the
// error status is cleared before and read back after the call, and every
// handle that comes back is freed with GlobalFree. Parameters are checked
// against the table's ranges before any file is read.
#include "cli/Command.h"

#include <strings.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>

#include "cli/EffectTable.h"
#include "cli/Gallery.h"
#include "cli/Help.h"
#include "cli/ImageFile.h"
#include "cli/Interrupt.h"
#include "cli/Params.h"
#include "cli/Pictures.h"
#include "platform/QvxCom.h"

namespace qvx::cli {

namespace {

// The options of one effect's subcommand, bound to CLI11.
struct EffectOptions {
  const EffectSpec* spec = nullptr;
  CLI::App* app = nullptr;
  std::vector<std::string> params;
  std::vector<CLI::Option*> paramOptions;
  std::string polygon, ellipse, mask;
  bool outside = false;
  bool quiet = false;
  std::vector<std::string> inputs;
  std::string output, secondOutput;
};

struct GalleryOptions {
  std::string input, outDir;
};

// One failure line: "qvxeffect: EFFECT: what".
class Failure {
 public:
  Failure(std::ostream& err, const std::string& program, const std::string& effect)
      : err_(err), prefix_(ProgramName(program) + ": " + (effect.empty() ? "" : effect + ": ")) {}
  int operator()(int exitCode, const std::string& what) const {
    err_ << prefix_ << what << '\n';
    return exitCode;
  }

 private:
  std::ostream& err_;
  std::string prefix_;
};

void AddEffect(CLI::App& app, const EffectSpec& spec, EffectOptions& o) {
  o.spec = &spec;
  o.app = app.add_subcommand(spec.name, spec.summary);
  const std::string bare = spec.exportName + 2;  // without the QV prefix
  o.app->alias(spec.exportName);
  if (strcasecmp(bare.c_str(), spec.name) != 0) o.app->alias(bare);
  o.params.resize(spec.params.size());
  for (std::size_t i = 0; i < spec.params.size(); ++i) {
    const ParamSpec& p = spec.params[i];
    CLI::Option* option = o.app->add_option(std::string("--") + p.name, o.params[i], p.help);
    option->type_name(ParamTypeName(p));
    if (!p.fallback) option->required();
    o.paramOptions.push_back(option);
  }
  if (spec.selection == Selection::Shapes) {
    CLI::Option* polygon = o.app->add_option("--polygon", o.polygon);
    CLI::Option* ellipse = o.app->add_option("--ellipse", o.ellipse);
    CLI::Option* mask = o.app->add_option("--mask", o.mask);
    polygon->excludes(ellipse)->excludes(mask);
    ellipse->excludes(mask);
    o.app->add_flag("--outside", o.outside);
  } else if (spec.selection == Selection::TravelMask) {
    o.app->add_option("--mask", o.mask);
  }
  o.app->add_flag("--quiet", o.quiet);
  o.inputs.resize(1 + spec.extraInputs);
  o.app->add_option("INPUT", o.inputs[0])->required();
  for (int i = 1; i <= spec.extraInputs; ++i)
    o.app->add_option("INPUT" + std::to_string(i + 1), o.inputs[i])->required();
  o.app->add_option("OUTPUT", o.output)->required();
  if (*spec.secondOutput) o.app->add_option("SECOND-OUTPUT", o.secondOutput);
}

bool LoadPicture(const std::string& path, Bytes& dib, std::string& error) {
  return LoadImageFile(path, dib, error);
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Why the library gave no picture, in the user's terms.
std::string ExplainFailure(const EffectOptions& o, int code, const Bytes& input) {
  const std::string prefix =
      code == 0 ? std::string("no picture made and no error code")
                : "error " + std::to_string(code) + " (" + ErrorMeaning(code) + ")";
  const std::string kind = DescribePicture(input);
  const std::string picture = Quoted(o.inputs[0]) + (kind[0] == '8' ? " is an " : " is a ") + kind +
                              " picture; " + o.spec->name + " takes " + o.spec->accepts;
  switch (code) {
    case 0:
    case 4:
    case 7:
      return prefix + ": " + picture;
    case 1:
      return prefix + ": nothing was written";
    case 2:
      return prefix + (o.polygon.empty() && o.ellipse.empty()
                           ? std::string(": the progress window did not open")
                           : ": the selection shape could not be drawn");
    case 3:
      return prefix + ": the pictures do not fit in memory";
    case 5:
      return prefix + ": the library refused a parameter or the selection";
    default:
      return prefix;
  }
}

int RunEffect(const std::string& program, EffectOptions& o, std::ostream& err, RunReport* report,
              FileSync sync) {
  const EffectSpec& spec = *o.spec;
  const Failure fail(err, program, spec.name);

  // Parameters and selection, all before any file is touched.
  std::vector<ParamValue> values(spec.params.size());
  for (std::size_t i = 0; i < spec.params.size(); ++i) {
    const ParamSpec& p = spec.params[i];
    const bool given = o.paramOptions[i]->count() > 0;
    const std::string text = given ? o.params[i] : p.fallback;
    std::string error;
    if (!ParseParam(p, text, values[i], error))
      return fail(kExitUsage, std::string("--") + p.name + " " + text + ": " + error);
  }
  EffectCall call;
  call.specs = &spec.params;
  call.values = &values;
  call.noDialog = o.quiet ? TRUE : FALSE;
  std::string error;
  if (!o.polygon.empty()) {
    if (!ParsePolygon(o.polygon, call.polygon, error))
      return fail(kExitUsage, "--polygon " + o.polygon + ": " + error);
    call.mode = 2;
  } else if (!o.ellipse.empty()) {
    if (!ParseEllipse(o.ellipse, call.ellipse, error))
      return fail(kExitUsage, "--ellipse " + o.ellipse + ": " + error);
    call.mode = 3;
  } else if (!o.mask.empty() && spec.selection == Selection::Shapes) {
    call.mode = 0;
  } else if (o.outside) {
    return fail(kExitUsage, "--outside needs a --polygon, --ellipse or --mask to be outside of");
  }
  call.inside = o.outside ? FALSE : TRUE;
  for (const std::string* path : {&o.output, &o.secondOutput})
    if (!path->empty() && ImageFormatFromPath(*path) == ImageFormat::Unknown)
      return fail(kExitUsage, Quoted(*path) +
                                  ": unknown output format; name it .bmp, .png, "
                                  ".jpg or .jpeg");
  if (!o.secondOutput.empty() && o.mask.empty())
    return fail(kExitUsage, "SECOND-OUTPUT " + Quoted(o.secondOutput) + " needs --mask");

  // Pictures: files into global memory.
  std::vector<Bytes> inputs(o.inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i)
    if (!LoadPicture(o.inputs[i], inputs[i], error)) return fail(kExitFile, error);
  Bytes mask;
  if (!o.mask.empty()) {
    Bytes maskFile;
    if (!LoadPicture(o.mask, maskFile, error)) return fail(kExitFile, error);
    if (!MakeMask(maskFile, spec.selection == Selection::Shapes && o.outside, mask, error))
      return fail(kExitFile, Quoted(o.mask) + ": " + error);
    int w = 0, h = 0, mw = 0, mh = 0;
    PictureSize(inputs[0], w, h);
    PictureSize(mask, mw, mh);
    if (w != mw || h != mh)
      return fail(kExitUsage, "--mask " + Quoted(o.mask) + " is " + std::to_string(mw) + " x " +
                                  std::to_string(mh) + ", the picture " + std::to_string(w) +
                                  " x " + std::to_string(h) + "; they must be the same size");
  }
  std::vector<GlobalPicture> blocks;
  for (const Bytes& dib : inputs) blocks.push_back(CopyToGlobal(dib));
  GlobalPicture maskBlock;
  if (!mask.empty()) maskBlock = CopyToGlobal(mask);
  for (const GlobalPicture& block : blocks)
    if (!block.get()) return fail(kExitLibrary, "the pictures do not fit in memory");
  if (!mask.empty() && !maskBlock.get())
    return fail(kExitLibrary, "the pictures do not fit in memory");
  call.images = ImageHandles{blocks[0].get(), maskBlock.get()};
  for (std::size_t i = 1; i < blocks.size(); ++i) call.extraInputs.push_back(blocks[i].get());

  // The call.
  if (Interrupted()) return fail(kExitCancelled, "cancelled (Ctrl-C); nothing was written");
  SetErrorStatus(0);
  const auto start = std::chrono::steady_clock::now();
  const EffectResult result = spec.invoke(call);
  const auto stop = std::chrono::steady_clock::now();
  const int status = GetErrorStatus();
  GlobalPicture picture(result.picture), second(result.second);
  if (report) {
    report->callMilliseconds = std::chrono::duration<double, std::milli>(stop - start).count();
    report->errorStatus = status;
  }
  if (!picture.get())
    return fail(status == 1 ? kExitCancelled : kExitLibrary, ExplainFailure(o, status, inputs[0]));

  if (Interrupted()) return fail(kExitCancelled, "cancelled (Ctrl-C); nothing was written");

  // Results: global memory out to files.
  Bytes output;
  if (!CopyFromGlobal(picture.get(), output, error)) return fail(kExitLibrary, error);
  if (!SaveImageFile(o.output, output, error, sync)) return fail(kExitFile, error);
  if (!o.secondOutput.empty() && second.get()) {
    if (!CopyFromGlobal(second.get(), output, error)) return fail(kExitLibrary, error);
    if (!SaveImageFile(o.secondOutput, output, error, sync)) return fail(kExitFile, error);
  }
  // A Ctrl-C while the files were written lets them finish (a temporary file
  // is never left behind), then stops the caller, such as the gallery.
  if (Interrupted()) return fail(kExitCancelled, "cancelled (Ctrl-C) after the output was written");
  return kExitOk;
}

}  // namespace

const char* ErrorMeaning(int code) {
  switch (code) {
    case 0:
      return "success";
    case 1:
      return "cancelled by the user";
    case 2:
      return "the operation cannot be carried out";
    case 3:
      return "out of memory";
    case 4:
      return "depth not supported by the operation";
    case 5:
      return "bad parameter";
    case 7:
      return "unusable picture";
    case 9:
      return "text of a mark not rendered";
    default:
      return "unknown error code";
  }
}

int RunCommandLine(const std::string& program, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err, RunReport* report, FileSync sync) {
  CLI::App app("Image effects of the QvxEffect library on BMP, PNG and JPEG files.",
               ProgramName(program));
  app.ignore_case();
  app.require_subcommand(1);
  CLI::App* list = app.add_subcommand("list", "Every effect with a one-line description");
  GalleryOptions galleryOptions;
  CLI::App* gallery = app.add_subcommand("gallery", "Every effect on one picture, as a web page");
  gallery->add_option("INPUT", galleryOptions.input);
  gallery->add_option("OUTDIR", galleryOptions.outDir);
  std::vector<std::unique_ptr<EffectOptions>> effects;
  for (const EffectSpec& spec : EffectTable()) {
    effects.push_back(std::make_unique<EffectOptions>());
    AddEffect(app, spec, *effects.back());
  }

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  const Failure fail(err, program, "");
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty()) {
      out << ToolHelp(program);
    } else if (chosen[0] == list) {
      out << ToolHelp(program);
    } else if (chosen[0] == gallery) {
      out << GalleryHelp(program);
    } else {
      for (const auto& o : effects)
        if (o->app == chosen[0]) out << EffectHelp(program, *o->spec);
    }
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    out << ToolHelp(program);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    std::string what = e.what();
    if (args.empty())
      what = "no command given";
    else if (chosen.empty())
      what = "unknown command or effect '" + args[0] + "'";
    if (chosen.empty()) return fail(kExitUsage, what + "; see " + ProgramName(program) + " --help");
    const std::string name = chosen[0]->get_name();
    return Failure(err, program, name)(
        kExitUsage, what + "; see " + ProgramName(program) + " " + name + " --help");
  }

  if (list->parsed()) {
    out << EffectList();
    return kExitOk;
  }
  if (gallery->parsed())
    return RunGallery(program, galleryOptions.input, galleryOptions.outDir, out, err);
  for (const auto& o : effects)
    if (o->app->parsed()) return RunEffect(program, *o, err, report, sync);
  return fail(kExitUsage, "no command given; see " + ProgramName(program) + " --help");
}

}  // namespace qvx::cli
