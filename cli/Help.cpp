// Help texts of `qvxeffect`.
#include "cli/Help.h"

#include <sstream>

#include "cli/Gallery.h"
#include "cli/Params.h"

namespace qvx::cli {

namespace {

constexpr int kOptionColumn = 28;

// "  --name VALUE" padded to the description column, then the wrapped text.
std::string OptionLine(const std::string& option, const std::string& text) {
  std::string line = "  " + option;
  if (static_cast<int>(line.size()) + 2 > kOptionColumn) {
    return line + "\n" + Wrap(text, kOptionColumn);
  }
  line.resize(kOptionColumn, ' ');
  const std::string wrapped = Wrap(text, kOptionColumn);
  return line + wrapped.substr(kOptionColumn);
}

// "--gamma R,G,B", or "--mirror" for a flag.
std::string OptionName(const ParamSpec& p) {
  std::string name = "--";
  name += p.name;
  if (p.kind != ParamKind::Flag) {
    name += ' ';
    name += ParamTypeName(p);
  }
  return name;
}

// A flag's default as the user sets it: "--smooth" or "--no-smooth".
std::string FlagDefault(const ParamSpec& p) {
  return std::string(p.fallback && p.fallback[0] == '1' ? "--" : "--no-") + p.name;
}

// Entries reached through a second entry point of the library, hidden from
// the list: "resize-ex" beside "resize".
bool IsTwin(const EffectSpec& spec) {
  const std::string name = spec.name;
  return name.size() > 3 && name.compare(name.size() - 3, 3, "-ex") == 0 &&
         FindEffect(name.substr(0, name.size() - 3)) != nullptr;
}

std::string Usage(const std::string& program, const EffectSpec& spec) {
  std::string usage = "Usage: " + ProgramName(program) + " " + spec.name;
  for (const ParamSpec& p : spec.params) {
    const std::string option = OptionName(p);
    usage += p.fallback ? " [" + option + "]" : " " + option;
  }
  if (spec.selection == Selection::Shapes) usage += " [selection]";
  if (spec.selection == Selection::TravelMask) usage += " [--mask FILE]";
  usage += " INPUT";
  for (int i = 1; i <= spec.extraInputs; ++i) usage += " INPUT" + std::to_string(i + 1);
  usage += " OUTPUT";
  if (*spec.secondOutput) usage += " [SECOND-OUTPUT]";
  return usage;
}

const char* const kFilesText =
    "INPUT is a BMP (1, 4, 8, 16, 24 or 32 bits, RLE too), PNG or JPEG file, recognised by its "
    "content; \"-\" reads standard input. Pictures are turned upright by their EXIF "
    "orientation. OUTPUT's format follows its extension (.bmp, .png, .jpg, .jpeg; \"-\" writes "
    "standard output in the input's format) and keeps the picture's kind: palette, grey, RGB, or "
    "RGBA when the input had transparency, which follows the picture through every effect. EXIF "
    "(orientation reset), ICC profile and resolution are kept in PNG and JPEG outputs. The "
    "output is written under a temporary name and renamed into place (an existing file keeps its "
    "permissions; a symbolic link is written through), so a failed or interrupted run leaves no "
    "half-written file.";
const char* const kExitText =
    "Exit status: 0 done; 1 the library refused or failed (its error code and meaning are "
    "printed); 2 bad command line or parameter (refused before the library is called); 3 a file "
    "could not be read or written; 130 cancelled with Ctrl-C; 143 ended by SIGTERM.";
const char* const kFileOptions[][2] = {
    {"--quality N", "JPEG quality 1..100 [default 92]"},
    {"--subsampling S", "JPEG chroma sampling 444, 422 or 420 [default 420]"},
    {"--progressive", "progressive JPEG"},
    {"--compression N", "PNG compression 0 (none), 1..6 (quick), 7..9 (smallest, slow) [default 6]"},
    {"--strip", "write no EXIF or ICC profile"},
    {"--no-auto-orient", "keep the stored orientation (do not turn by EXIF)"},
    {"--strict", "refuse pictures the effect does not take rather than convert them to 24-bit"},
    {"--quiet", "no progress bar"},
    {"--max-pixels N",
     "refuse input pictures of more than N pixels (default 268435456, 256 megapixels) before "
     "reading their pixels"}};

}  // namespace

std::string ProgramName(const std::string& program) {
  const std::size_t slash = program.find_last_of('/');
  return slash == std::string::npos ? program : program.substr(slash + 1);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string Wrap(const std::string& text, int indent, int width) {
  std::istringstream words(text);
  std::string result, line(indent, ' '), word;
  bool lineEmpty = true;
  while (words >> word) {
    if (!lineEmpty && static_cast<int>(line.size() + 1 + word.size()) > width) {
      result += line + "\n";
      line.assign(indent, ' ');
      lineEmpty = true;
    }
    if (!lineEmpty) line += ' ';
    line += word;
    lineEmpty = false;
  }
  return result + line + "\n";
}

std::string ToolHelp(const std::string& path) {
  const std::string program = ProgramName(path);
  std::string text = "QvxEffect image effects on picture files.\n\nUsage:\n";
  text += "  " + program + " list                       every effect, one line each\n";
  text += "  " + program + " EFFECT --help              an effect's parameters\n";
  text += "  " + program + " EFFECT [--param value ...] [selection] INPUT OUTPUT\n";
  text += "  " + program + " INPUT EFFECT [...] then EFFECT [...] ... OUTPUT\n";
  text += "  " + program + " batch [-j N] --out DIR|PATTERN EFFECT [...] [then ...] -- INPUT...\n";
  text += "  " + program + " info FILE...               size, kind, transparency, orientation\n";
  text +=
      "  " + program + " gallery [INPUT] [OUTDIR]   every effect on one picture, as a web page\n";
  text += "  " + program + " --version\n\n";
  text += Wrap(
              "A pipeline runs its effects in order on the picture in memory (one read, one "
              "write), e.g. " +
                  program +
                  " photo.jpg blur --radius 3 then rgb-gamma --gamma 0.2,0,0 then resize "
                  "--width 800 --height 600 small.jpg",
              0) +
          "\n";
  text += Wrap(
              "A batch runs an effect or pipeline on many files (or the pictures of folders) on N "
              "threads (-j, default one per core). --out is a folder, or a pattern with {name}, "
              "{ext} and {dir} of the input, e.g. --out 'small/{name}.jpg'. A failing file never "
              "stops the others; the failures are listed at the end and the status is not 0.",
              0) +
          "\nFile options (any effect, pipeline or batch):\n";
  for (const auto& option : kFileOptions) text += OptionLine(option[0], option[1]);
  text += '\n';
  text += Wrap(kFilesText, 0);
  text += '\n';
  text += Wrap(kExitText, 0);
  return text;
}

std::string EffectList() {
  std::string text;
  for (const EffectSpec& spec : EffectTable()) {
    if (IsTwin(spec)) continue;
    std::string line = std::string("  ") + spec.name;
    line.resize(20, ' ');
    text += line + spec.summary + "\n";
  }
  return text;
}

std::string EffectHelp(const std::string& program, const EffectSpec& spec) {
  std::string text = std::string(spec.name) + " (" + spec.exportName + "): " + spec.summary +
                     "\n\n" + Wrap(Usage(program, spec), 0) + "\n" + Wrap(spec.description, 0) +
                     "\n" + Wrap(std::string("Pictures: ") + spec.accepts + ".", 0);
  if (!spec.params.empty()) text += "\nParameters:\n";
  for (const ParamSpec& p : spec.params) {
    if (p.kind == ParamKind::Flag) {
      text += OptionLine("--" + std::string(p.name) + ", --no-" + p.name,
                         std::string(p.help) + " [default " + FlagDefault(p) + "]");
      continue;
    }
    std::string facts = ParamRange(p);
    facts += p.fallback ? std::string(", default ") + p.fallback : std::string(", required");
    text += OptionLine(OptionName(p), std::string(p.help) + " [" + facts + "]");
  }
  if (spec.selection == Selection::Shapes) {
    text += "\nSelection (where the effect applies; the whole picture by default):\n";
    text += OptionLine("--polygon \"x,y x,y ...\"",
                       "inside a polygon of at least 2 vertices (x from the left, y from the "
                       "top)");
    text += OptionLine("--ellipse L,T,R,B",
                       "inside the ellipse inscribed in the rectangle left, top, right, bottom "
                       "(right and bottom edges excluded)");
    text += OptionLine("--mask FILE",
                       "where the mask picture (same size as INPUT, any kind) is not black");
    text += OptionLine("--outside", "apply outside the polygon, ellipse or mask instead");
  }
  if (spec.selection == Selection::TravelMask) {
    text += "\nMask:\n";
    text += OptionLine("--mask FILE",
                       "a mask picture of INPUT's size (non-black = 1) that is resized with it");
  }
  text += "\nFile options:\n";
  for (const auto& option : kFileOptions) text += OptionLine(option[0], option[1]);
  text += OptionLine("-h, --help", "this text");
  if (*spec.secondOutput) {
    text += '\n';
    text += Wrap(std::string("SECOND-OUTPUT: ") + spec.secondOutput + ".", 0);
  }
  text += '\n';
  text += Wrap(kFilesText, 0);
  return text;
}

std::string GalleryHelp(const std::string& program) {
  return Wrap("Usage: " + ProgramName(program) + " gallery [INPUT] [OUTDIR]", 0) + "\n" +
         Wrap(
             "Runs every effect with representative parameters (and a few selection shapes) "
             "on INPUT and writes OUTDIR/index.html: a thumbnail of each result, the command "
             "line that makes it, and the time the library call took. INPUT defaults to the "
             "bundled sample photograph (" +
                 DefaultGalleryInput() + "), OUTDIR to " + DefaultGalleryDir() + ".",
             0);
}

}  // namespace qvx::cli
