#pragma once

#include <iostream>
#include <optional>
#include <ostream>
#include <string>

// --help and --version, answered before the application object exists: they need no display and
// never touch the token. Qt's own options (-platform, -style, ...) are left to Qt; any other
// option is a usage error, said in one line before a display is needed.
struct ProgramAbout {
    const char* name;     // as typed, "larkmoor"
    const char* summary;  // one line for --help
    // How to see the same code in a terminal, for --help.
    const char* terminal_code = "larkmoor-cli code";
};

// The exit code when one of them, or an unknown option, was given; nothing otherwise.
std::optional<int> answer_early_options(int argc, const char* const* argv, const ProgramAbout& about,
                                        std::ostream& out, std::ostream& err = std::cerr);

// The exit code of a usage error, as getopt-based programs have it.
constexpr int kUsageExitCode = 2;

// An option's name as Qt matches it: "--platform" is "-platform".
const char* qt_spelling(const char* argument);

// Whether --copy was given: copy the current code, through the running copy if there is one.
bool wants_copy(int argc, const char* const* argv);
