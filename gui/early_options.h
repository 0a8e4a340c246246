#pragma once

#include <optional>
#include <ostream>
#include <string>

// --help and --version, answered before the application object exists: they need no display and
// never touch the token. Every other argument is left to Qt, which takes its own (-platform,
// -style, ...) and ignores the rest, as it always has.
struct ProgramAbout {
    const char* name;     // as typed, "larkmoor"
    const char* summary;  // one line for --help
    // How to see the same code in a terminal, for --help.
    const char* terminal_code = "larkmoor-cli code";
};

// The exit code when one of them was given, nothing otherwise.
std::optional<int> answer_early_options(int argc, const char* const* argv, const ProgramAbout& about,
                                        std::ostream& out);

// The sentence for standard error when the window could not reach any display: Qt would print
// several lines and abort instead. Nothing when a display, or a platform that needs none, is at hand.
std::optional<std::string> missing_display(int argc, const char* const* argv);
