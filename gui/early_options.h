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

// The sentence for standard error when the window could not reach any display: Qt would print
// several lines and abort instead, or wait for ever on a socket that does not answer. Nothing when
// a display that answers, or a platform that needs none, is at hand. Qt's choice of platform is
// followed: -platform, else QT_QPA_PLATFORM, else Wayland first where XDG_SESSION_TYPE says
// wayland, else X. A Wayland compositor that draws window frames itself gets to draw Larkmoor's:
// QT_WAYLAND_DISABLE_WINDOWDECORATION is set to 1 then, unless the user set it.
std::optional<std::string> missing_display(int argc, const char* const* argv);

// Whether --copy was given: copy the current code, through the running copy if there is one.
bool wants_copy(int argc, const char* const* argv);
