// The command line of `qvxeffect`, built from the effect table with CLI11.
//
// Three forms run effects: `EFFECT [options] INPUT OUTPUT`, a pipeline
// `INPUT EFFECT [options] then EFFECT [options] ... OUTPUT`, and `batch`.
// Each effect's options are checked against the table's ranges before any
// file is read; the effects then run in Pipeline.cpp.
#include "cli/Command.h"

#include <strings.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <sstream>

#include "cli/Batch.h"
#include "cli/EffectTable.h"
#include "cli/Gallery.h"
#include "cli/Help.h"
#include "cli/Info.h"
#include "cli/Params.h"
#include "cli/Pipeline.h"

#ifndef QVX_VERSION
#define QVX_VERSION "0"
#endif

namespace qvx::cli {

namespace {

// The options of one effect's subcommand, bound to CLI11.
struct EffectOptions {
  const EffectSpec* spec = nullptr;
  CLI::App* app = nullptr;
  std::vector<std::string> params;
  std::unique_ptr<bool[]> flags;  // values of Flag parameters
  std::vector<CLI::Option*> paramOptions;
  std::string polygon, ellipse, mask;
  bool outside = false;
  std::vector<std::string> inputs;
  std::string output, secondOutput;
};

// Options about files and calls, the same for every effect of a command.
struct CommonOptions {
  int quality = kJpegQuality;
  int subsampling = 420;
  bool progressive = false;
  int compression = 6;
  bool noAutoOrient = false;
  bool strip = false;
  bool strict = false;
  bool quiet = false;
  std::uint64_t maxPixels = kDefaultMaxPixels;

  FileOptions Files() const {
    FileOptions files;
    files.encode.quality = quality;
    files.encode.subsampling = subsampling;
    files.encode.progressive = progressive;
    files.encode.compression = compression;
    files.autoOrient = !noAutoOrient;
    files.strip = strip;
    files.strict = strict;
    files.quiet = quiet;
    files.maxPixels = maxPixels;
    return files;
  }
};

// The option names every effect takes besides its parameters.
const char* const kCommonOptions[] = {"quality", "subsampling",   "progressive", "compression",
                                      "strip",   "no-auto-orient", "strict",      "quiet",
                                      "max-pixels", "help"};

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

void AddCommonOptions(CLI::App& app, CommonOptions& c) {
  app.add_option("--quality", c.quality)->check(CLI::Range(1, 100));
  app.add_option("--subsampling", c.subsampling)->check(CLI::IsMember({444, 422, 420}));
  app.add_flag("--progressive", c.progressive);
  app.add_option("--compression", c.compression)->check(CLI::Range(0, 9));
  app.add_flag("--no-auto-orient", c.noAutoOrient);
  app.add_flag("--strip", c.strip);
  app.add_flag("--strict", c.strict);
  app.add_flag("--quiet", c.quiet);
  app.add_option("--max-pixels", c.maxPixels)->check(CLI::PositiveNumber);
}

// The effect's subcommand; `withFiles` adds INPUT, OUTPUT and the like (a
// pipeline's stages take only the effect's own further input pictures).
void AddEffect(CLI::App& app, const EffectSpec& spec, EffectOptions& o, CommonOptions& common,
               bool withFiles) {
  o.spec = &spec;
  o.app = app.add_subcommand(spec.name, spec.summary);
  const std::string bare = spec.exportName + 2;  // without the QV prefix
  o.app->alias(spec.exportName);
  if (strcasecmp(bare.c_str(), spec.name) != 0) o.app->alias(bare);
  o.params.resize(spec.params.size());
  o.flags = std::make_unique<bool[]>(spec.params.size());
  for (std::size_t i = 0; i < spec.params.size(); ++i) {
    const ParamSpec& p = spec.params[i];
    const std::string name = std::string("--") + p.name;
    CLI::Option* option = nullptr;
    if (p.kind == ParamKind::Flag) {
      option = o.app->add_flag(name + ",!--no-" + p.name, o.flags[i], p.help);
    } else {
      option = o.app->add_option(name, o.params[i], p.help);
      option->type_name(ParamTypeName(p));
      if (!p.fallback) option->required();
    }
    o.paramOptions.push_back(option);
  }
  if (spec.selection == Selection::Shapes) {
    CLI::Option* polygon = o.app->add_option("--polygon", o.polygon);
    CLI::Option* ellipse = o.app->add_option("--ellipse", o.ellipse);
    CLI::Option* mask = o.app->add_option("--mask", o.mask);
    polygon->excludes(ellipse)->excludes(mask);
    ellipse->excludes(mask);
    o.app->add_flag("--outside", o.outside);
  } else if (spec.selection == Selection::TravelMask && withFiles) {
    o.app->add_option("--mask", o.mask);
  }
  AddCommonOptions(*o.app, common);
  // inputs[0] is INPUT; a pipeline's stage leaves it empty.
  o.inputs.resize(1 + spec.extraInputs);
  if (withFiles) o.app->add_option("INPUT", o.inputs[0])->required();
  for (int i = 1; i <= spec.extraInputs; ++i)
    o.app->add_option("INPUT" + std::to_string(i + 1), o.inputs[i])->required();
  if (!withFiles) return;
  o.app->add_option("OUTPUT", o.output)->required();
  if (*spec.secondOutput) o.app->add_option("SECOND-OUTPUT", o.secondOutput);
}

// Edit distance, for suggesting the option a user meant.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The first option among `words` that the effect does not know, with the
// nearest known one when it is close; "" when all are known.
std::string UnknownOption(const EffectSpec& spec, const std::vector<std::string>& words) {
  std::vector<std::string> known(std::begin(kCommonOptions), std::end(kCommonOptions));
  for (const ParamSpec& p : spec.params) {
    known.push_back(p.name);
    if (p.kind == ParamKind::Flag) known.push_back(std::string("no-") + p.name);
  }
  if (spec.selection == Selection::Shapes)
    known.insert(known.end(), {"polygon", "ellipse", "mask", "outside"});
  if (spec.selection == Selection::TravelMask) known.push_back("mask");
  for (const std::string& word : words) {
    if (word == "--") break;
    if (word.size() < 3 || word.rfind("--", 0) != 0) continue;
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(2, equals == std::string::npos ? equals : equals - 2);
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    std::string best;
    std::size_t bestDistance = 3;
    for (const std::string& candidate : known) {
      const std::size_t distance = Distance(name, candidate);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = candidate;
      }
    }
    return "unknown option --" + name + (best.empty() ? "" : "; did you mean --" + best + "?");
  }
  return "";
}

// The stage the options describe: parameters and selection read and checked.
bool PrepareStage(const EffectOptions& o, Stage& stage, std::string& what) {
  const EffectSpec& spec = *o.spec;
  stage.spec = &spec;
  stage.values.assign(spec.params.size(), ParamValue{});
  for (std::size_t i = 0; i < spec.params.size(); ++i) {
    const ParamSpec& p = spec.params[i];
    const bool given = o.paramOptions[i]->count() > 0;
    std::string text = given ? o.params[i] : p.fallback;
    if (given && p.kind == ParamKind::Flag) text = o.flags[i] ? "1" : "0";
    std::string error;
    if (!ParseParam(p, text, stage.values[i], error)) {
      what = std::string("--") + p.name + " " + text + ": " + error;
      return false;
    }
  }
  std::string error;
  if (!o.polygon.empty()) {
    if (!ParsePolygon(o.polygon, stage.polygon, error)) {
      what = "--polygon " + o.polygon + ": " + error;
      return false;
    }
    stage.mode = 2;
  } else if (!o.ellipse.empty()) {
    if (!ParseEllipse(o.ellipse, stage.ellipse, error)) {
      what = "--ellipse " + o.ellipse + ": " + error;
      return false;
    }
    stage.mode = 3;
  } else if (!o.mask.empty() && spec.selection == Selection::Shapes) {
    stage.mode = 0;
  } else if (o.outside) {
    what = "--outside needs a --polygon, --ellipse or --mask to be outside of";
    return false;
  }
  stage.outside = o.outside;
  stage.mask = o.mask;
  return true;
}

bool KnownOutputFormat(const std::string& path) {
  return path == "-" || ImageFormatFromPath(path) != ImageFormat::Unknown;
}

// Notes of a run, each line given the program's name.
void PrintNotes(const std::string& program, const std::string& notes, std::ostream& err) {
  std::istringstream lines(notes);
  std::string line;
  while (std::getline(lines, line)) err << ProgramName(program) << ": " << line << '\n';
}

int Finish(const std::string& program, const Outcome& outcome, const std::ostringstream& notes,
           std::ostream& err) {
  PrintNotes(program, notes.str(), err);
  if (outcome) return kExitOk;
  return Failure(err, program, outcome.where)(outcome.status, outcome.what);
}

bool IsCommandName(const std::string& word) {
  return word == "list" || word == "gallery" || word == "info" || word == "batch" ||
         FindEffect(word) != nullptr;
}

}  // namespace

bool ParsePipeline(const std::vector<std::string>& words, std::vector<Stage>& stages,
                   FileOptions& files, std::string& where, std::string& what) {
  CommonOptions common;
  std::vector<std::vector<std::string>> segments(1);
  for (const std::string& word : words) {
    if (word == "then")
      segments.emplace_back();
    else
      segments.back().push_back(word);
  }
  stages.clear();
  for (const std::vector<std::string>& segment : segments) {
    where.clear();
    if (segment.empty()) {
      what = "an empty step in the pipeline (two 'then' in a row, or one at an end)";
      return false;
    }
    const EffectSpec* spec = FindEffect(segment[0]);
    if (!spec) {
      what = "unknown effect '" + segment[0] + "' in the pipeline";
      return false;
    }
    where = spec->name;
    what = UnknownOption(*spec, segment);
    if (!what.empty()) return false;
    CLI::App app;
    app.ignore_case();
    EffectOptions o;
    AddEffect(app, *spec, o, common, false);
    try {
      app.parse(std::vector<std::string>(segment.rbegin(), segment.rend()));
    } catch (const CLI::ParseError& e) {
      what = e.what();
      return false;
    }
    Stage stage;
    if (!PrepareStage(o, stage, what)) return false;
    stage.extraInputs.assign(o.inputs.begin() + 1, o.inputs.end());
    stages.push_back(std::move(stage));
  }
  files = common.Files();
  return true;
}

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
                   std::ostream& out, std::ostream& err, RunReport* report) {
  const Failure fail(err, program, "");
  if (!args.empty() && (args[0] == "--version" || args[0] == "-V")) {
    out << ProgramName(program) << " " << QVX_VERSION << '\n';
    return kExitOk;
  }
  if (!args.empty() && args[0] == "info")
    return RunInfo(program, std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  if (!args.empty() && args[0] == "batch")
    return RunBatch(program, std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  // INPUT EFFECT ... OUTPUT: a pipeline.
  if (args.size() >= 3 && !IsCommandName(args[0]) && (args[0] == "-" || args[0][0] != '-') &&
      FindEffect(args[1])) {
    const std::string& output = args.back();
    std::vector<Stage> stages;
    FileOptions files;
    std::string where, what;
    if (!ParsePipeline(std::vector<std::string>(args.begin() + 1, args.end() - 1), stages, files,
                       where, what))
      return Failure(err, program, where)(kExitUsage, what + "; see " + ProgramName(program) +
                                                          " --help");
    if (!KnownOutputFormat(output))
      return fail(kExitUsage, "'" + output + "': unknown output format; name it .bmp, .png, "
                                             ".jpg or .jpeg");
    std::ostringstream notes;
    const Outcome outcome = RunPipeline(args[0], stages, output, "", files, &notes, report);
    return Finish(program, outcome, notes, err);
  }

  CLI::App app("Image effects of the QvxEffect library on BMP, PNG and JPEG files.",
               ProgramName(program));
  app.ignore_case();
  app.require_subcommand(1);
  CLI::App* list = app.add_subcommand("list", "Every effect with a one-line description");
  std::string galleryInput, galleryOutDir;
  CLI::App* gallery = app.add_subcommand("gallery", "Every effect on one picture, as a web page");
  gallery->add_option("INPUT", galleryInput);
  gallery->add_option("OUTDIR", galleryOutDir);
  CommonOptions common;
  std::vector<std::unique_ptr<EffectOptions>> effects;
  for (const EffectSpec& spec : EffectTable()) {
    effects.push_back(std::make_unique<EffectOptions>());
    AddEffect(app, spec, *effects.back(), common, true);
  }

  if (!args.empty()) {
    if (const EffectSpec* spec = FindEffect(args[0])) {
      const std::string unknown = UnknownOption(*spec, args);
      if (!unknown.empty())
        return Failure(err, program, spec->name)(
            kExitUsage, unknown + "; see " + ProgramName(program) + " " + spec->name + " --help");
    }
  }
  try {
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
  } catch (const CLI::CallForHelp&) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty() || chosen[0] == list) {
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
  if (gallery->parsed()) return RunGallery(program, galleryInput, galleryOutDir, out, err);
  for (const auto& o : effects) {
    if (!o->app->parsed()) continue;
    const Failure effectFail(err, program, o->spec->name);
    Stage stage;
    std::string what;
    if (!PrepareStage(*o, stage, what)) return effectFail(kExitUsage, what);
    for (const std::string* path : {&o->output, &o->secondOutput})
      if (!path->empty() && !KnownOutputFormat(*path))
        return effectFail(kExitUsage, "'" + *path +
                                          "': unknown output format; name it .bmp, .png, "
                                          ".jpg or .jpeg");
    if (!o->secondOutput.empty() && o->mask.empty())
      return effectFail(kExitUsage, "SECOND-OUTPUT '" + o->secondOutput + "' needs --mask");
    stage.extraInputs.assign(o->inputs.begin() + 1, o->inputs.end());
    std::ostringstream notes;
    const Outcome outcome = RunPipeline(o->inputs[0], {stage}, o->output, o->secondOutput,
                                        common.Files(), &notes, report);
    return Finish(program, outcome, notes, err);
  }
  return fail(kExitUsage, "no command given; see " + ProgramName(program) + " --help");
}

}  // namespace qvx::cli
