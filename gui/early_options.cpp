#include "early_options.h"

#include "larkmoor_version.h"

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
                << "The code in a terminal: larkmoor-cli code\n";
            return 0;
        }
    }
    return std::nullopt;
}
