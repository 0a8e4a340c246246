#pragma once

#include <optional>
#include <string>

// The sentence for standard error when the window could not reach any display: Qt would print
// several lines and abort instead, or wait for ever on a socket that does not answer. Nothing when
// a display that answers, or a platform that needs none, is at hand. Qt's choice of platform is
// followed: -platform, else QT_QPA_PLATFORM, else Wayland first where XDG_SESSION_TYPE says
// wayland, else X. A Wayland compositor that draws window frames itself gets to draw Larkmoor's:
// QT_WAYLAND_DISABLE_WINDOWDECORATION is set to 1 then, unless the user set it.
std::optional<std::string> missing_display(int argc, const char* const* argv);
