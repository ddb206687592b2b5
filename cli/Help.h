// Help texts of `qvxeffect`, written from the effect table.
#pragma once

#include <string>

#include "cli/EffectTable.h"

namespace qvx::cli {

// The program's file name without its folder, for messages.
std::string ProgramName(const std::string& program);

// `qvxeffect --help`: commands, files, exit statuses.
std::string ToolHelp(const std::string& program);
// `qvxeffect list`: one line per effect.
std::string EffectList();
// `qvxeffect EFFECT --help`: usage, what it does, pictures it takes, every
// parameter with its type, range, default and meaning, selection options.
std::string EffectHelp(const std::string& program, const EffectSpec& spec);
// `qvxeffect gallery --help`.
std::string GalleryHelp(const std::string& program);

// `text` with every `from` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// `text` broken into lines of at most `width` characters, each starting with
// `indent` spaces.
std::string Wrap(const std::string& text, int indent, int width = 79);

}  // namespace qvx::cli
