#include "token_commands.h"

#include "cli_failure.h"
#include "otp_window.h"
#include "token_session.h"

#include <easylogging++.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <vector>

namespace cli {

namespace {

std::int64_t system_now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QString text_of(const Bytes& serial)
{
    return QString::fromStdString(token::serial_text(serial));
}

QString name_or_unknown(const QString& name, std::int32_t value)
{
    return name.isEmpty() ? QString("unknown (%1)").arg(value) : name;
}

std::string json_line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

QJsonValue json_name(const QString& name)
{
    return name.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(name);
}

Bytes active_serial(TokenSession& session)
{
    Bytes serial;
    session.run([&](UsbKey& key, token::Deadline deadline) {
        token::Read<Bytes> read = token::read_serial(key, deadline);
        serial = read.value;
        return read.outcome;
    });
    return serial;
}

}  // namespace

std::string run_code(const Invocation& invocation, Terminal& terminal, const Environment& environment)
{
    const auto now_ms = [now = environment.now ? environment.now : system_now] { return now() * 1000; };
    TokenSession session(invocation, terminal, environment);
    const Bytes serial = active_serial(session);

    token::Code code;
    std::int64_t answered_at = 0;
    for (;;) {
        const std::int64_t asked_at = now_ms();
        const std::int64_t window = otp_window::window_at(asked_at);
        // A code whose window has passed is of no use: the read ends with its window.
        const token::Deadline window_end =
            UsbKey::Clock::now() + std::chrono::milliseconds(otp_window::window_end(window) - asked_at);
        const token::Outcome outcome = session.run_pressed(
            [&](UsbKey& key, token::Deadline deadline) {
                const token::Read<token::Code> read = token::read_code(key, serial, window, deadline);
                code = read.value;
                return read.outcome;
            },
            window_end);
        answered_at = now_ms();
        if (outcome.done() && otp_window::window_at(answered_at) == window)
            break;
        LOG(INFO) << "The window passed while the token answered, asking again";
    }

    const QString digits = QString::fromStdString(token::code_text(code));
    if (!invocation.json)
        return digits.toStdString() + "\n";
    QJsonObject object;
    object["serial"] = text_of(serial);
    object["code"] = digits;
    object["digits"] = code.digits;
    object["valid_for"] = static_cast<qint64>(otp_window::ms_left(answered_at) / 1000);
    return json_line(object);
}

std::string run_info(const Invocation& invocation, Terminal& terminal, const Environment& environment)
{
    TokenSession session(invocation, terminal, environment);
    const Bytes serial = active_serial(session);
    std::vector<User> users;
    session.run_pressed([&](UsbKey& key, token::Deadline deadline) {
        token::Read<std::vector<User>> read = token::read_users(key, deadline);
        users = read.value;
        return read.outcome;
    });
    const User* active = token::find_user(users, serial);

    if (invocation.json) {
        QJsonArray records;
        for (const User& user : users) {
            QJsonObject record;
            record["serial"] = text_of(user.serial_number);
            record["algorithm"] = json_name(token::algorithm_name(user.algorithm));
            record["hash"] = json_name(token::hash_name(user.type));
            record["active"] = &user == active;
            records.append(record);
        }
        QJsonObject object;
        object["serial"] = text_of(serial);
        object["algorithm"] = active ? json_name(token::algorithm_name(active->algorithm)) : QJsonValue(QJsonValue::Null);
        object["hash"] = active ? json_name(token::hash_name(active->type)) : QJsonValue(QJsonValue::Null);
        object["users"] = records;
        return json_line(object);
    }

    QString text = QString("Serial Number: %1\n").arg(text_of(serial));
    if (active) {
        text += QString("Algorithm: %1\n").arg(name_or_unknown(token::algorithm_name(active->algorithm), active->algorithm));
        text += QString("Hash: %1\n").arg(name_or_unknown(token::hash_name(active->type), active->type));
    } else {
        text += "Algorithm: unknown (the token lists no record for this serial number)\n";
        text += "Hash: unknown\n";
    }
    text += QString("Users: %1\n").arg(users.size());
    for (const User& user : users) {
        text += QString("  %1  %2  %3%4\n")
                    .arg(text_of(user.serial_number), name_or_unknown(token::algorithm_name(user.algorithm), user.algorithm),
                         name_or_unknown(token::hash_name(user.type), user.type), &user == active ? "  (active)" : "");
    }
    return text.toStdString();
}

std::string run_press_mode(const Invocation& invocation, Terminal& terminal, const Environment& environment)
{
    TokenSession session(invocation, terminal, environment);
    session.run([&](UsbKey& key, token::Deadline deadline) {
        return token::switch_press_mode(key, invocation.press_mode_on, deadline);
    });
    return invocation.press_mode_on ? "Press mode is on.\n" : "Press mode is off.\n";
}

}  // namespace cli
