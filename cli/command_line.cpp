#include "command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace cli {

namespace {

// One day is more than any press of a button needs; the limit keeps the arithmetic far from overflow.
constexpr int kMaxTimeoutSeconds = 86400;

const char* const kDescription =
    "The current code of an Orvandel OTP token, and a doctor for a token that is not found.\n"
    "\n"
    "Commands:\n"
    "  code               the current code of the active user\n"
    "  info               serial number, algorithm and hash, and every user record\n"
    "  press-mode on|off  the token waits for its button before it answers, or not\n"
    "  doctor             why a plugged-in token is not found, and what to do\n"
    "\n"
    "Exit codes: 0 success, 1 no token, 2 the token cannot be opened,\n"
    "3 the token refused or was not pressed in time, 4 bad usage.";

std::optional<Command> command_named(const QString& name)
{
    if (name == "code")
        return Command::Code;
    if (name == "info")
        return Command::Info;
    if (name == "press-mode")
        return Command::PressMode;
    if (name == "doctor")
        return Command::Doctor;
    return std::nullopt;
}

// The rules that tie options and arguments to commands; an empty text when they hold.
QString misuse(const Invocation& invocation, const QStringList& arguments, bool timeout_given)
{
    const QString name = arguments.first();
    const bool asks_token = invocation.command == Command::Code || invocation.command == Command::Info;
    if (invocation.command == Command::PressMode) {
        if (arguments.size() != 2 || (arguments[1] != "on" && arguments[1] != "off"))
            return "press-mode takes one argument, on or off.";
    } else if (arguments.size() > 1) {
        return QString("%1 takes no argument, but got '%2'.").arg(name, arguments[1]);
    }
    if (invocation.json && !asks_token)
        return QString("--json goes with code and info, not with %1.").arg(name);
    if (invocation.wait && !asks_token)
        return QString("--wait goes with code and info, not with %1.").arg(name);
    if (timeout_given && invocation.command == Command::Doctor)
        return "--timeout does not go with doctor, which has limits of its own.";
    return QString();
}

}  // namespace

CommandLine parse_command_line(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption json("json", "code, info: print JSON.");
    const QCommandLineOption wait("wait", "code, info: keep asking until the button is pressed.");
    const QCommandLineOption timeout("timeout", "Give up after <seconds>.", "seconds");
    const QCommandLineOption verbose({"v", "verbose"}, "Copy log records to standard error.");
    const QCommandLineOption version("version", "Show the version.");
    parser.addOptions({help, json, wait, timeout, verbose, version});
    parser.addPositionalArgument("command", "code, info, press-mode on|off or doctor.", "command [on|off]");

    CommandLine result;
    result.usage = parser.helpText();
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.help = true;
        return result;
    }
    if (parser.isSet(version)) {
        result.version = true;
        return result;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        result.error = "No command given.";
        return result;
    }
    const std::optional<Command> command = command_named(positional.first());
    if (!command) {
        result.error = QString("Unknown command '%1'.").arg(positional.first());
        return result;
    }

    Invocation invocation;
    invocation.command = *command;
    invocation.press_mode_on = positional.size() > 1 && positional[1] == "on";
    invocation.json = parser.isSet(json);
    invocation.wait = parser.isSet(wait);
    invocation.verbose = parser.isSet(verbose);
    if (parser.isSet(timeout)) {
        bool number = false;
        const int seconds = parser.value(timeout).toInt(&number);
        if (!number || seconds < 1 || seconds > kMaxTimeoutSeconds) {
            result.error = QString("--timeout takes a whole number of seconds from 1 to %1.").arg(kMaxTimeoutSeconds);
            return result;
        }
        invocation.timeout_seconds = seconds;
    }
    result.error = misuse(invocation, positional, parser.isSet(timeout));
    if (result.error.isEmpty())
        result.invocation = invocation;
    return result;
}

}  // namespace cli
