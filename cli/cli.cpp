#include "cli.h"

#include "cli_failure.h"
#include "command_line.h"
#include "doctor.h"
#include "exit_code.h"
#include "larkmoor_version.h"
#include "terminal.h"
#include "token_commands.h"
#include "verbose_log.h"

#include <easylogging++.h>

namespace cli {

namespace {

// The command's findings when it succeeds; throws CliFailure otherwise. The doctor's report is
// its result whatever it found, so it comes back with its verdict.
ExitCode run_command(const Invocation& invocation, std::string& result, Terminal& terminal,
                     const Environment& environment)
{
    switch (invocation.command) {
    case Command::Code:
        result = run_code(invocation, terminal, environment);
        return kSuccess;
    case Command::Info:
        result = run_info(invocation, terminal, environment);
        return kSuccess;
    case Command::PressMode:
        result = run_press_mode(invocation, terminal, environment);
        return kSuccess;
    case Command::Doctor: {
        const DoctorReport report = run_doctor(environment);
        result = report.text();
        return report.verdict();
    }
    }
    return kBadUsage;
}

}  // namespace

int run_cli(const QStringList& arguments, std::ostream& out, std::ostream& err, const Environment& environment)
{
    Terminal terminal(err);
    const CommandLine command_line = parse_command_line(arguments);
    if (command_line.help) {
        out << command_line.usage.toStdString();
        return kSuccess;
    }
    if (command_line.version) {
        out << "larkmoor-cli " << LARKMOOR_VERSION << '\n';
        return kSuccess;
    }
    if (!command_line.invocation) {
        terminal.write(command_line.error.toStdString());
        return kBadUsage;
    }
    const Invocation& invocation = *command_line.invocation;

    VerboseLog verbose_log(invocation.verbose ? &terminal : nullptr);
    LOG(INFO) << "Command line: " << arguments.join(' ').toStdString();
    std::string result;
    try {
        const ExitCode code = run_command(invocation, result, terminal, environment);
        out << result;
        out.flush();
        LOG(INFO) << "Exit code " << code;
        return code;
    } catch (const CliFailure& failure) {
        LOG(ERROR) << "Exit code " << failure.exit_code << ": " << failure.what();
        terminal.write(failure.what());
        return failure.exit_code;
    }
}

}  // namespace cli
