// The command line of the two desktop programs. Everything else on it is
// Qt's (-platform NAME, -display DISPLAY, ...), so only the informational
// options are taken here, before any window or display is needed.
#pragma once

#include <optional>
#include <ostream>

namespace stellacq {

// The desktop program being started.
enum class DesktopProgram { Real, Simulator };

// Answers -h/--help and --version on `out` and returns the exit status the
// program ends with; nothing when the program is to start its window.
std::optional<int> answer_informational_options(DesktopProgram program, int argc, const char* const* argv,
                                                std::ostream& out);

}  // namespace stellacq
