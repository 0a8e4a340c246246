#include "early_options.h"

#include "larkmoor_version.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <cstring>

std::optional<int> answer_early_options(int argc, const char* const* argv, const ProgramAbout& about,
                                        std::ostream& out)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--version") == 0) {
            out << about.name << ' ' << LARKMOOR_VERSION << '\n';
            return 0;
        }
        // No -v: larkmoor-cli spends it on --verbose, and the two programs should not disagree.
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            out << "Usage: " << about.name << " [options]\n"
                << about.summary << "\n"
                << "\n"
                << "Options:\n"
                << "  -h, --help  Show this help and exit.\n"
                << "  --version   Show the version and exit.\n"
                << "\n"
                << "Qt's own options, such as -platform or -style, are passed to Qt.\n"
                << "The code in a terminal: " << about.terminal_code << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

namespace {

// -platform (or --platform) on the command line wins over QT_QPA_PLATFORM, as in Qt.
QByteArray requested_platforms(int argc, const char* const* argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    }
    return qgetenv("QT_QPA_PLATFORM");
}

// Qt's default here is xcb; a list such as "wayland;xcb" is tried in order, and "name:options"
// carries options. Only X and Wayland are known to need a display server: offscreen, minimal,
// vnc, eglfs, linuxfb or a platform we do not know are left to Qt.
bool needs_display_server(const QByteArray& platforms)
{
    if (platforms.isEmpty())
        return true;
    for (const QByteArray& entry : platforms.split(';')) {
        const QByteArray name = entry.split(':').first().trimmed();
        if (name != "xcb" && !name.startsWith("wayland"))
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> missing_display(int argc, const char* const* argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        needs_display_server(requested_platforms(argc, argv)))
        return std::string("Larkmoor needs a graphical session, but neither DISPLAY nor WAYLAND_DISPLAY is set.");
#else
    (void)argc;
    (void)argv;
#endif
    return std::nullopt;
}
