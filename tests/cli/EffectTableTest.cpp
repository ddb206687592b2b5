// The command-line tool's effect table against the module's export table:
// every effect export has an entry, every entry's defaults, help and gallery
// samples work.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "cli/CliFixture.h"
#include "cli/EffectTable.h"
#include "cli/Gallery.h"
#include "cli/Help.h"
#include "cli/Params.h"

namespace {

using qvx::cli::EffectSpec;
using qvx::cli::EffectTable;

// The exports of the module, from the one list the module is built from.
std::vector<std::string> ModuleExports() {
  return {
#define QVX_EXPORT(name, bytes, folder) #name,
#include QVX_EXPORT_TABLE
#undef QVX_EXPORT
  };
}

// Direct pixel access is not an effect; a caller uses it in code.
const std::set<std::string> kNotEffects = {"QVStartDibAccess", "QVEndDibAccess", "QVGetDibPixel",
                                           "QVSetDibPixel"};

TEST(EffectTable, EveryEffectExportHasAnEntry) {
  std::set<std::string> entries;
  for (const EffectSpec& spec : EffectTable()) entries.insert(spec.exportName);
  for (const std::string& name : ModuleExports()) {
    if (kNotEffects.count(name)) continue;
    EXPECT_TRUE(entries.count(name))
        << name << " is exported but the command-line tool has no entry for it "
        << "(add one to cli/EffectTable.cpp)";
  }
}

TEST(EffectTable, EntriesNameExportsOnceEachUnderDistinctNames) {
  const std::vector<std::string> exports = ModuleExports();
  std::map<std::string, int> exportUses, names;
  for (const EffectSpec& spec : EffectTable()) {
    EXPECT_NE(std::find(exports.begin(), exports.end(), spec.exportName), exports.end())
        << spec.name << " calls " << spec.exportName << ", which the module does not export";
    EXPECT_EQ(++exportUses[spec.exportName], 1) << spec.exportName << " has two entries";
    EXPECT_EQ(++names[spec.name], 1) << spec.name;
    EXPECT_EQ(qvx::cli::FindEffect(spec.name), &spec);
    EXPECT_EQ(qvx::cli::FindEffect(spec.exportName), &spec);
    EXPECT_NE(spec.invoke, nullptr) << spec.name;
    EXPECT_FALSE(spec.gallery.empty()) << spec.name << " has no gallery sample";
  }
  EXPECT_EQ(qvx::cli::FindEffect("RGBGAMMA"), qvx::cli::FindEffect("rgb-gamma"));
  EXPECT_EQ(qvx::cli::FindEffect("no-such-effect"), nullptr);
}

TEST(EffectTable, DefaultsAreValuesOfTheirParameters) {
  for (const EffectSpec& spec : EffectTable()) {
    std::set<std::string> names;
    for (const qvx::cli::ParamSpec& p : spec.params) {
      EXPECT_TRUE(names.insert(p.name).second) << spec.name << " --" << p.name << " twice";
      EXPECT_LE(p.min, p.max) << spec.name << " --" << p.name;
      EXPECT_GE(p.count, 1) << spec.name << " --" << p.name;
      if (!p.fallback) continue;
      qvx::cli::ParamValue value;
      std::string error;
      EXPECT_TRUE(qvx::cli::ParseParam(p, p.fallback, value, error))
          << spec.name << " --" << p.name << " default " << p.fallback << ": " << error;
    }
  }
}

TEST(EffectTable, HelpGivesEveryParameterItsTypeRangeAndDefault) {
  for (const EffectSpec& spec : EffectTable()) {
    const std::string help = qvx::cli::EffectHelp("qvxeffect", spec);
    // Compare without line breaks: the help is wrapped.
    std::string flat;
    for (const char c : help) {
      if (c == '\n') {
        while (!flat.empty() && flat.back() == ' ') flat.pop_back();
        flat += ' ';
      } else if (c != ' ' || flat.empty() || flat.back() != ' ') {
        flat += c;
      }
    }
    EXPECT_NE(flat.find(spec.exportName), std::string::npos) << spec.name;
    EXPECT_NE(flat.find(spec.accepts), std::string::npos) << spec.name;
    for (const qvx::cli::ParamSpec& p : spec.params) {
      const std::string option = std::string("--") + p.name + " " + qvx::cli::ParamTypeName(p);
      EXPECT_NE(flat.find(option), std::string::npos) << spec.name << ": " << option;
      std::string facts(1, '[');
      facts += qvx::cli::ParamRange(p);
      facts += p.fallback ? std::string(", default ") + p.fallback : std::string(", required");
      facts += ']';
      EXPECT_NE(flat.find(facts), std::string::npos) << spec.name << ": " << facts;
    }
    const bool shapes = spec.selection == qvx::cli::Selection::Shapes;
    EXPECT_EQ(flat.find("--polygon") != std::string::npos, shapes) << spec.name;
  }
}

class EffectTableRuns : public qvx::test::CliTest {};

// Every entry's call function, with every sample the gallery uses, on a
// small picture: the entry's parameter names and its call agree.
TEST_F(EffectTableRuns, EveryGallerySampleRuns) {
  HGLOBAL picture = Keep(qvx::test::MakePicture(qvx::test::Layout::kRgb24, 23, 17, 5));
  const std::string input = WritePicture(picture, "input.bmp");
  for (const EffectSpec& spec : EffectTable()) {
    for (const qvx::cli::GallerySample& sample : spec.gallery) {
      std::vector<std::string> args{spec.name};
      for (const std::string& arg : qvx::cli::GalleryArguments(sample.args, 23, 17))
        args.push_back(arg);
      for (int i = 0; i <= spec.extraInputs; ++i) args.push_back(input);
      args.push_back(Path("out.png"));
      const qvx::test::CliRun run = Run(args);
      EXPECT_EQ(run.status, 0) << spec.name << " " << sample.args << ": " << run.err;
      EXPECT_TRUE(Exists("out.png")) << spec.name << " " << sample.args;
      std::remove(Path("out.png").c_str());
    }
  }
}

}  // namespace

#endif
