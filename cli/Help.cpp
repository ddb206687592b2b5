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

std::string Usage(const std::string& program, const EffectSpec& spec) {
  std::string usage = "Usage: " + ProgramName(program) + " " + spec.name;
  for (const ParamSpec& p : spec.params) {
    const std::string option = std::string("--") + p.name + " " + ParamTypeName(p);
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
    "INPUT is a BMP (1, 4, 8, 16, 24 or 32 bits), PNG or JPEG file, recognised by its content. "
    "OUTPUT's format follows its extension (.bmp, .png, .jpg, .jpeg) and keeps the picture's "
    "kind: palette, grey, RGB or RGBA. The output is written under a temporary name and renamed "
    "into place, so a failed run leaves no half-written file.";
const char* const kExitText =
    "Exit status: 0 done; 1 the library refused or failed (its error code and meaning are "
    "printed); 2 bad command line or parameter (refused before the library is called); 3 a file "
    "could not be read or written; 130 cancelled with Ctrl-C.";

}  // namespace

std::string ProgramName(const std::string& program) {
  const std::size_t slash = program.find_last_of('/');
  return slash == std::string::npos ? program : program.substr(slash + 1);
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
  text +=
      "  " + program + " gallery [INPUT] [OUTDIR]   every effect on one picture, as a web page\n\n";
  text += Wrap(kFilesText, 0) + "\n" + Wrap(kExitText, 0);
  return text;
}

std::string EffectList() {
  std::string text;
  for (const EffectSpec& spec : EffectTable()) {
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
    std::string facts = ParamRange(p);
    facts += p.fallback ? std::string(", default ") + p.fallback : std::string(", required");
    text += OptionLine(std::string("--") + p.name + " " + ParamTypeName(p),
                       std::string(p.help) + " [" + facts + "]");
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
  text += "\nOther options:\n";
  text += OptionLine("--quiet", "no progress bar (the progress window is not opened)");
  text += OptionLine("--max-pixels N",
                     "refuse input pictures of more than N pixels (default 268435456, 256 "
                     "megapixels) before reading their pixels");
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
