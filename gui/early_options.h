#pragma once

#include <optional>
#include <ostream>

// --help and --version, answered before the application object exists: they need no display and
// never touch the token. Every other argument is left to Qt, which takes its own (-platform,
// -style, ...) and ignores the rest, as it always has.
struct ProgramAbout {
    const char* name;     // as typed, "larkmoor"
    const char* summary;  // one line for --help
};

// The exit code when one of them was given, nothing otherwise.
std::optional<int> answer_early_options(int argc, const char* const* argv, const ProgramAbout& about,
                                        std::ostream& out);
