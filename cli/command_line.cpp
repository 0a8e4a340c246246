#include "command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

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

    // Named as typed, without the folder it was typed with: "Usage: larkmoor-cli ...", also
    // where Qt would print the path.
    const QString name = QFileInfo(arguments.first()).fileName();
    const QString qt_usage = parser.helpText();
    const int synopsis = qt_usage.indexOf(" [options]");
    CommandLine result;
    result.usage = "Usage: " + name + qt_usage.mid(synopsis);
    // One line, and the way to the help: the help itself would bury the sentence.
    const auto usage_error = [&](const QString& sentence) {
        result.error = QString("%1: %2 Try '%1 --help'.").arg(name, sentence);
        return result;
    };
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return usage_error(QString("unknown option '%1%2'.").arg(unknown.first().size() == 1 ? "-" : "--",
                                                                       unknown.first()));
        const QString error = parser.errorText();
        return usage_error(error.left(1).toLower() + error.mid(1));
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
    if (positional.isEmpty())
        return usage_error("no command given.");
    const std::optional<Command> command = command_named(positional.first());
    if (!command)
        return usage_error(QString("unknown command '%1'.").arg(positional.first()));

    Invocation invocation;
    invocation.command = *command;
    invocation.press_mode_on = positional.size() > 1 && positional[1] == "on";
    invocation.json = parser.isSet(json);
    invocation.wait = parser.isSet(wait);
    invocation.verbose = parser.isSet(verbose);
    if (parser.isSet(timeout)) {
        bool number = false;
        const int seconds = parser.value(timeout).toInt(&number);
        if (!number || seconds < 1 || seconds > kMaxTimeoutSeconds)
            return usage_error(
                QString("--timeout takes a whole number of seconds from 1 to %1.").arg(kMaxTimeoutSeconds));
        invocation.timeout_seconds = seconds;
    }
    const QString misused = misuse(invocation, positional, parser.isSet(timeout));
    if (!misused.isEmpty())
        return usage_error(misused);
    result.invocation = invocation;
    return result;
}

}  // namespace cli
