#include "early_options.h"

#include "larkmoor_version.h"

#include <cstring>

namespace {

// Qt's own options, which Qt takes from the command line itself: QGuiApplication's, the X
// platform's, and Qt Quick Controls' -style. Qt takes each with two dashes as well.
const char* const kQtOptionsWithValue[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                           "-qwindowgeometry", "-geometry", "-qwindowicon", "-icon",
                                           "-qwindowtitle", "-title", "-session", "-display", "-name",
                                           "-visual", "-style"};
const char* const kQtFlags[] = {"-reverse", "-testability", "-nograb", "-dograb"};
const char* const kQtOptionsWithJoinedValue[] = {"-style=", "-qmljsdebugger="};


template <std::size_t size>
bool is_one_of(const char* name, const char* const (&names)[size])
{
    for (const char* known : names) {
        if (std::strcmp(name, known) == 0)
            return true;
    }
    return false;
}

bool has_joined_value(const char* name)
{
    for (const char* prefix : kQtOptionsWithJoinedValue) {
        if (std::strncmp(name, prefix, std::strlen(prefix)) == 0)
            return true;
    }
    return false;
}

void print_help(const ProgramAbout& about, std::ostream& out)
{
    out << "Usage: " << about.name << " [options]\n"
        << about.summary << "\n"
        << "\n"
        << "Options:\n"
        << "  -h, --help  Show this help and exit.\n"
        << "  --version   Show the version and exit.\n"
        << "  --copy      Copy the current code to the clipboard (starts Larkmoor when it is not running).\n"
        << "\n"
        << "Qt's own options, such as -platform or -style, are passed to Qt.\n"
        << "The code in a terminal: " << about.terminal_code << "\n";
}

}  // namespace

const char* qt_spelling(const char* argument)
{
    return std::strncmp(argument, "--", 2) == 0 ? argument + 1 : argument;
}

std::optional<int> answer_early_options(int argc, const char* const* argv, const ProgramAbout& about,
                                        std::ostream& out, std::ostream& err)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--version") == 0) {
            out << about.name << ' ' << LARKMOOR_VERSION << '\n';
            return 0;
        }
        // No -v: larkmoor-cli spends it on --verbose, and the two programs should not disagree.
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            print_help(about, out);
            return 0;
        }
        const char* qt_name = qt_spelling(argument);
        if (is_one_of(qt_name, kQtOptionsWithValue))
            ++i;
        else if (argument[0] == '-' && std::strcmp(argument, "--copy") != 0 && !is_one_of(qt_name, kQtFlags) &&
                 !has_joined_value(qt_name)) {
            err << about.name << ": unknown option '" << argument << "'. Try '" << about.name << " --help'."
                << std::endl;
            return kUsageExitCode;
        }
    }
    return std::nullopt;
}

bool wants_copy(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--copy") == 0)
            return true;
    }
    return false;
}
