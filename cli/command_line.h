#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

enum class Command { Code, Info, PressMode, Doctor };

struct Invocation {
    Command command = Command::Code;
    bool press_mode_on = false;
    bool json = false;
    bool wait = false;
    bool verbose = false;
    std::optional<int> timeout_seconds;
};

struct CommandLine {
    std::optional<Invocation> invocation;  // absent for --help, --version and a usage error
    bool help = false;
    bool version = false;
    QString error;  // one line, with the way to --help; empty unless the usage is wrong
    QString usage;  // the help page
};

// arguments starts with the program name, as QCoreApplication::arguments() does.
CommandLine parse_command_line(const QStringList& arguments);

}  // namespace cli
