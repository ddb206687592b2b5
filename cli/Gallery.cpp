// The effect gallery: each sample run goes through the same command line a
// user would type (and the page shows it), then the library's own resize
// makes its thumbnail.
#include "cli/Gallery.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Command.h"
#include "cli/EffectTable.h"
#include "cli/Help.h"
#include "cli/ImageFile.h"
#include "cli/ImageFileDib.h"
#include "cli/Interrupt.h"
#include "cli/Pictures.h"
#include "platform/QvxCom.h"

#ifndef QVX_SOURCE_DIR
#define QVX_SOURCE_DIR "."
#endif
#ifndef QVX_GALLERY_DIR
#define QVX_GALLERY_DIR "gallery"
#endif

namespace qvx::cli {

namespace {

namespace fs = std::filesystem;

constexpr int kThumbWidth = 240;
constexpr int kThumbHeight = 180;

struct Entry {
  std::string title;    // effect name and export
  std::string command;  // the shell command that makes the picture
  std::string picture;  // file name in the gallery folder, empty on failure
  std::string thumb;    // file name below thumbs/
  std::string problem;  // the error line of a failed run
  double milliseconds = -1;
  std::string second;  // the second output's file name, if any
};

std::string Html(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string ExecutableDir() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

// A thumbnail of at most kThumbWidth x kThumbHeight, scaled by the library.
bool MakeThumbnail(const std::string& from, const std::string& to, std::string& error) {
  Bytes dib;
  if (!LoadImageFile(from, dib, error)) return false;
  int width = 0, height = 0;
  PictureSize(dib, width, height);
  const double scale = std::min({1.0, double(kThumbWidth) / width, double(kThumbHeight) / height});
  const int thumbWidth = std::max(1, static_cast<int>(std::lround(width * scale)));
  const int thumbHeight = std::max(1, static_cast<int>(std::lround(height * scale)));
  if (thumbWidth != width || thumbHeight != height) {
    GlobalPicture source = ToGlobal(dib);
    ImageHandles images{source.get(), nullptr};
    const ImageHandles result =
        UnpackHandles(QVResize(&images, thumbWidth, thumbHeight, TRUE, TRUE, 0, 0, 0));
    GlobalPicture thumb(result.Picture), mask(result.Mask);
    if (!thumb.get()) {
      error = "thumbnail not made: error " + std::to_string(GetErrorStatus());
      return false;
    }
    if (!CopyFromGlobal(thumb.get(), dib, error)) return false;
  }
  return SaveImageFile(to, dib, error);
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream file(temporary, std::ios::binary);
    file << text;
    file.close();
    if (!file) {
      std::remove(temporary.c_str());
      error = path + ": cannot be written";
      return false;
    }
  }
  std::error_code code;
  fs::rename(temporary, path, code);
  if (code) {
    std::remove(temporary.c_str());
    error = path + ": " + code.message();
    return false;
  }
  return true;
}

std::string Page(const std::string& input, const std::vector<Entry>& entries) {
  std::ostringstream page;
  page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       << "<title>QvxEffect gallery</title>\n<style>\n"
       << "body { font-family: sans-serif; margin: 1.5em; background: #f4f4f4; }\n"
       << ".grid { display: flex; flex-wrap: wrap; gap: 1em; }\n"
       << "figure { margin: 0; padding: 0.6em; width: 320px; background: #fff; "
          "border: 1px solid #ccc; }\n"
       << "figure img { display: block; margin: 0 auto 0.4em; }\n"
       << "figcaption b { font-size: 1.05em; }\n"
       << "code { display: block; font-size: 0.8em; word-break: break-all; margin: 0.3em 0; }\n"
       << ".time { color: #555; font-size: 0.85em; }\n.fail { color: #a00; }\n"
       << "</style>\n</head>\n<body>\n<h1>QvxEffect gallery</h1>\n<p>Every effect of the "
       << "library on <code style=\"display:inline\">" << Html(input) << "</code>. Each "
       << "thumbnail links to the full result; the command line below it makes that result; "
       << "the time is the library call alone, one run.</p>\n<div class=\"grid\">\n";
  for (const Entry& e : entries) {
    page << "<figure>\n";
    for (const std::string& file : {e.picture, e.second})
      if (!file.empty())
        page << "<a href=\"" << Html(file) << "\"><img src=\"thumbs/" << Html(file)
             << "\" alt=\"" << Html(e.title) << "\"></a>\n";
    page << "<figcaption><b>" << Html(e.title) << "</b>\n<code>" << Html(e.command) << "</code>\n";
    if (!e.problem.empty()) page << "<div class=\"fail\">" << Html(e.problem) << "</div>\n";
    if (e.milliseconds >= 0) {
      char time[32];
      std::snprintf(time, sizeof time, "%.1f ms", e.milliseconds);
      page << "<div class=\"time\">" << time << "</div>\n";
    }
    page << "</figcaption>\n</figure>\n";
  }
  page << "</div>\n</body>\n</html>\n";
  return page.str();
}

// The picture that "{alpha}" stands for: a grey disc at the input's size,
// white in the middle and fading to black at the ellipse that touches the
// picture's edges.
bool WriteAlphaPicture(const std::string& path, int width, int height, std::string& error) {
  Bytes dib;
  const DibLayout layout = NewDib(dib, width, height, 8, 256);
  SetGreyRamp(DibTable(dib));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double dx = (x + 0.5) / width * 2 - 1, dy = (y + 0.5) / height * 2 - 1;
      const double level = 255 * (1.4 - 1.4 * std::sqrt(dx * dx + dy * dy));
      DibRow(dib.data(), layout, y)[x] = static_cast<std::uint8_t>(std::clamp(level, 0.0, 255.0));
    }
  return SaveImageFile(path, dib, error);
}

// A sample's text with the gallery's files in place of their placeholders.
std::string GalleryFiles(const std::string& text, const std::string& input,
                         const std::string& outDir) {
  std::string out = ReplaceAll(ReplaceAll(text, "{input}", input), "{alpha}", outDir + "/alpha.png");
  for (std::size_t at = out.find("{out:"); at != std::string::npos; at = out.find("{out:", at)) {
    const std::size_t close = out.find('}', at);
    if (close == std::string::npos) break;
    out.replace(at, close - at + 1, outDir + "/" + out.substr(at + 5, close - at - 5));
  }
  return out;
}

}  // namespace

std::string DefaultGalleryInput() {
  const std::string exe = ExecutableDir();
  const std::string candidates[] = {
      std::string(QVX_SOURCE_DIR) + "/samples/coffee.png",
      exe + "/../../../samples/coffee.png",  // build/<preset>/cli/qvxeffect
      exe + "/../../samples/coffee.png",     // build-dir/cli/qvxeffect
      "samples/coffee.png",
  };
  for (const std::string& path : candidates) {
    std::error_code error;
    if (fs::is_regular_file(path, error)) return fs::path(path).lexically_normal().string();
  }
  return candidates[0];
}

std::string DefaultGalleryDir() { return QVX_GALLERY_DIR; }

std::vector<std::string> GalleryArguments(const std::string& sample, int width, int height) {
  std::string text = ReplaceAll(sample, "{ellipse}", "--ellipse {w:0.3},{h:0.2},{w:0.7},{h:0.8}");
  text = ReplaceAll(text, "{polygon}",
                    "--polygon \"{w:0.5},{h:0.08} {w:0.9},{h:0.92} {w:0.1},{h:0.92}\"");
  std::string expanded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char axis = i + 1 < text.size() ? text[i + 1] : 0;
    const bool placeholder = text[i] == '{' && i + 2 < text.size() && text[i + 2] == ':' &&
                             std::strchr("whWH", axis);
    const std::size_t close = placeholder ? text.find('}', i) : std::string::npos;
    if (close == std::string::npos) {
      expanded += text[i];
      continue;
    }
    const double fraction = std::atof(text.substr(i + 3, close - i - 3).c_str());
    const long value = std::lround(fraction * (axis == 'w' || axis == 'W' ? width : height));
    // Upper case stands for a size, which is at least 1 however small the picture.
    expanded += std::to_string(axis == 'W' || axis == 'H' ? std::max(1L, value) : value);
    i = close;
  }
  std::vector<std::string> args;
  std::string word;
  bool inWord = false, quoted = false;
  for (const char c : expanded) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) args.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) args.push_back(word);
  return args;
}

std::string ShellQuote(const std::string& argument) {
  const bool plain = !argument.empty() && argument.find_first_not_of(
                                              "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789_./,:=+-@%") == std::string::npos;
  if (plain) return argument;
  std::string quoted(1, '\'');
  quoted += ReplaceAll(argument, "'", "'\\''");
  quoted += '\'';
  return quoted;
}

int RunGallery(const std::string& program, const std::string& inputArg,
               const std::string& outDirArg, std::ostream& out, std::ostream& err) {
  // The gallery's pictures are samples: not flushed one by one.
  const UnflushedWrites unflushed;
  // Absolute paths, so that the page's command lines work from any folder.
  std::error_code absoluteError;
  const auto absolute = [&](const std::string& path) {
    return fs::absolute(path, absoluteError).lexically_normal().string();
  };
  const std::string input = absolute(inputArg.empty() ? DefaultGalleryInput() : inputArg);
  const std::string outDir = absolute(outDirArg.empty() ? DefaultGalleryDir() : outDirArg);
  const std::string shownProgram =
      program.find('/') == std::string::npos ? program : absolute(program);
  const std::string prefix = ProgramName(program) + ": gallery: ";
  Bytes picture;
  std::string error;
  if (!LoadImageFile(input, picture, error)) {
    err << prefix << error << '\n';
    return kExitFile;
  }
  int width = 0, height = 0;
  PictureSize(picture, width, height);
  std::error_code code;
  fs::create_directories(fs::path(outDir) / "thumbs", code);
  if (code) {
    err << prefix << outDir << ": " << code.message() << '\n';
    return kExitFile;
  }

  std::vector<Entry> entries;
  Entry original{"input picture (" + DescribePicture(picture) + ", " + std::to_string(width) +
                     " x " + std::to_string(height) + ")",
                 input,
                 "input.png",
                 "input.png",
                 "",
                 -1,
                 ""};
  if (!SaveImageFile(outDir + "/input.png", picture, error) ||
      !MakeThumbnail(outDir + "/input.png", outDir + "/thumbs/input.png", error)) {
    err << prefix << error << '\n';
    return kExitFile;
  }
  entries.push_back(original);
  if (!WriteAlphaPicture(outDir + "/alpha.png", width, height, error)) {
    err << prefix << error << '\n';
    return kExitFile;
  }

  int failures = 0;
  for (const EffectSpec& spec : EffectTable()) {
    if (width < spec.gallerySide || height < spec.gallerySide) {
      out << "  skipped  " << spec.name << ": the picture is smaller than " << spec.gallerySide
          << " x " << spec.gallerySide << " pixels\n";
      continue;
    }
    for (std::size_t n = 0; n < spec.gallery.size(); ++n) {
      std::string file = spec.name;
      if (n) file += '-' + std::to_string(n + 1);
      file += ".png";
      std::vector<std::string> args{spec.name};
      const GallerySample& sample = spec.gallery[n];
      for (const std::string& arg :
           GalleryArguments(GalleryFiles(sample.args, input, outDir), width, height))
        args.push_back(arg);
      const std::string source = sample.input ? GalleryFiles(sample.input, input, outDir) : input;
      for (int i = 0; i <= spec.extraInputs; ++i) args.push_back(source);
      args.push_back(outDir + "/" + file);
      // Effects with two outputs whatever their arguments write both.
      Entry entry;
      if (*spec.secondOutput && spec.selection == Selection::None) {
        entry.second = file.substr(0, file.size() - 4) + "-second.png";
        args.push_back(outDir + "/" + entry.second);
      }

      entry.title = std::string(spec.name) + " (" + spec.exportName + ")";
      entry.command = ShellQuote(shownProgram);
      for (const std::string& arg : args) {
        entry.command += ' ';
        entry.command += ShellQuote(arg);
      }
      std::ostringstream problem;
      RunReport report;
      const int status = RunCommandLine(program, args, out, problem, &report);
      if (status == kExitCancelled || Interrupted()) {
        err << problem.str() << prefix << "cancelled; the page was not written\n";
        return kExitCancelled;
      }
      if (status == kExitOk) {
        entry.milliseconds = report.callMilliseconds;
        if (MakeThumbnail(outDir + "/" + file, outDir + "/thumbs/" + file, error) &&
            (entry.second.empty() || MakeThumbnail(outDir + "/" + entry.second,
                                                   outDir + "/thumbs/" + entry.second, error))) {
          entry.picture = entry.thumb = file;
        } else {
          problem << error;
          entry.second.clear();
        }
      }
      entry.problem = problem.str();
      if (!entry.problem.empty()) {
        ++failures;
        err << entry.problem << (entry.problem.back() == '\n' ? "" : "\n");
      } else {
        char line[64];
        std::snprintf(line, sizeof line, "%9.1f ms  ", entry.milliseconds);
        out << line << entry.command.substr(entry.command.find(' ') + 1) << '\n';
      }
      entries.push_back(entry);
    }
  }

  const std::string index = outDir + "/index.html";
  if (!WriteTextFile(index, Page(input, entries), error)) {
    err << prefix << error << '\n';
    return kExitFile;
  }
  const fs::path shown = absolute(index);
  out << "Gallery of " << entries.size() - 1 << " runs written to " << shown.string() << '\n';
  if (failures) {
    err << prefix << failures << " run(s) failed; the page shows why\n";
    return kExitLibrary;
  }
  return kExitOk;
}

}  // namespace qvx::cli
