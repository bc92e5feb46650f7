#pragma once

#include <string>
#include <string_view>

#include "automatic/auto_log.h"

namespace cli {

// One line of the automatic log as a terminal shows it, without its newline.
// With colour, blue, green and red lines are wrapped in their ANSI colour and
// a reset; black lines keep the terminal's own colour. Control characters of
// the text (values read from a locker's registry may carry escape sequences)
// are shown as \xHH (C1 controls as \u00HH) instead of reaching the
// terminal.
std::string terminalLine(const engine::automatic::LogLine& line, bool colour);

// One line of the automatic log as a JSON object, without its newline:
// {"color":"blue|green|red|black","text":"..."}.
std::string jsonLine(const engine::automatic::LogLine& line);

// A JSON string literal (with its quotes) of UTF-8 text: `"` and `\` escaped,
// control characters as \b \f \n \r \t or \u00XX, every other character as
// it is. An unpaired surrogate in its three-byte form (the engine keeps
// registry names and values so) becomes its \uDXXX escape; bytes that are not
// UTF-8 become \ufffd, so the output is always valid JSON.
std::string jsonString(std::string_view text);

} // namespace cli
