// The command-line tool's effect table against the module's export table:
// every effect export has an entry, and every entry's names, defaults and
// help hold together (Command.HelpListAndGallery runs every gallery sample).
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "cli/EffectTable.h"
#include "cli/Help.h"
#include "cli/Params.h"

namespace {

using qvx::cli::EffectSpec;
using qvx::cli::EffectTable;
using qvx::cli::FindEffect;

// The exports of the module, from the one list the module is built from.
const std::set<std::string> kExports = {
#define QVX_EXPORT(name, bytes, folder) #name,
#include QVX_EXPORT_TABLE
#undef QVX_EXPORT
};

TEST(EffectTable, EveryEffectExportHasAnEntry) {
  // Direct pixel access is not an effect; a caller uses it in code.
  std::set<std::string> entries = {"QVStartDibAccess", "QVEndDibAccess", "QVGetDibPixel",
                                   "QVSetDibPixel"};
  for (const EffectSpec& spec : EffectTable()) entries.insert(spec.exportName);
  for (const std::string& name : kExports) {
    EXPECT_TRUE(entries.count(name)) << name << " is exported but the command-line tool has no "
                                     << "entry for it (add one to cli/EffectTable.cpp)";
  }
}

// Each entry calls an export of its own under a name of its own, has gallery
// samples and defaults its parameters can take, and its help gives every
// parameter with its type, range and default.
TEST(EffectTable, EntriesAreWellFormedAndHelped) {
  std::map<std::string, int> uses;
  for (const EffectSpec& spec : EffectTable()) {
    SCOPED_TRACE(spec.name);
    EXPECT_TRUE(kExports.count(spec.exportName)) << spec.exportName << " is not exported";
    EXPECT_EQ(++uses[spec.exportName], 1) << spec.exportName << " has two entries";
    EXPECT_EQ(++uses[spec.name], 1);
    EXPECT_EQ(FindEffect(spec.name), &spec);
    EXPECT_EQ(FindEffect(spec.exportName), &spec);
    EXPECT_NE(spec.invoke, nullptr);
    EXPECT_FALSE(spec.gallery.empty());
    // The help with every run of spaces and line breaks made one space.
    std::string help;
    for (const char c : qvx::cli::EffectHelp("qvxeffect", spec)) {
      if ((c == '\n' || c == ' ') && !help.empty() && help.back() == ' ') continue;
      help += c == '\n' ? ' ' : c;
    }
    EXPECT_NE(help.find(spec.exportName), std::string::npos);
    EXPECT_NE(help.find(spec.accepts), std::string::npos);
    EXPECT_EQ(help.find("--polygon") != std::string::npos,
              spec.selection == qvx::cli::Selection::Shapes);
    for (const qvx::cli::ParamSpec& p : spec.params) {
      EXPECT_EQ(++uses[spec.name + std::string(" --") + p.name], 1);
      EXPECT_LE(p.min, p.max) << p.name;
      EXPECT_GE(p.count, 1) << p.name;
      qvx::cli::ParamValue value;
      std::string error;
      EXPECT_TRUE(!p.fallback || qvx::cli::ParseParam(p, p.fallback, value, error))
          << p.name << " default " << p.fallback << ": " << error;
      const std::string option = std::string("--") + p.name + " " + qvx::cli::ParamTypeName(p);
      std::string facts(1, '[');  // built up: "[" + ... draws a false warning from GCC 12
      facts += qvx::cli::ParamRange(p) +
               (p.fallback ? ", default " + std::string(p.fallback) : ", required") + "]";
      EXPECT_NE(help.find(option), std::string::npos) << option;
      EXPECT_NE(help.find(facts), std::string::npos) << facts;
    }
  }
  EXPECT_EQ(FindEffect("RGBGAMMA"), FindEffect("rgb-gamma"));
  EXPECT_EQ(FindEffect("no-such-effect"), nullptr);
}

}  // namespace

#endif
