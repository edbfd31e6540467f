// Everything regdiag-cli prints goes through Output: data on stdout, the
// messages and the log on stderr. A map's names, a file's bytes and the
// words of the command line may hold ESC, BEL, a lone CR or a whole OSC
// sequence, and none of them reaches a terminal (or a script) raw, whether
// stdout is a terminal or not: the bytes 0x00-0x1F and 0x7F print as "\x1b",
// the characters U+0080-U+009F (C2 80 to C2 9F in UTF-8) as "\u009b". LF
// ends lines and stays. JSON text is escaped as JSON escapes: "\u007f".
// The progress line's own CR and erase-line, fixed texts of this program,
// alone go out as they are (OwnControls).
//
// Plain functions: any thread.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace regdiag::cli {

enum class Escapes { Text, Json, OwnControls };

[[nodiscard]] std::string EscapedText(std::string_view text, Escapes escapes);

// Writes the escaped text to `out` (stdout or stderr).
void Output(std::FILE* out, std::string_view text, Escapes escapes = Escapes::Text);

}  // namespace regdiag::cli
