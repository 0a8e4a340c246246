#include "token_commands.h"

#include "cli_failure.h"
#include "token_session.h"

#include <easylogging++.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <chrono>
#include <vector>

namespace cli {

namespace {

constexpr std::int64_t kWindowSeconds = 30;

std::int64_t system_now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Floor division, so that times before 1970 stay in their own window.
std::int64_t window_of(std::int64_t time)
{
    return time / kWindowSeconds - (time % kWindowSeconds < 0 ? 1 : 0);
}

QString text_of(const Bytes& serial)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(serial.data()), static_cast<int>(serial.size()));
}

QString algorithm_name(std::int32_t algorithm)
{
    switch (algorithm) {
    case 1:
        return "HOTP";
    case 2:
        return "TOTP";
    default:
        return QString();
    }
}

QString hash_name(std::int32_t type)
{
    switch (type) {
    case 1:
        return "SHA-1";
    case 2:
        return "SHA-256";
    default:
        return QString();
    }
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

struct Code {
    std::uint32_t value = 0;
    std::int32_t digits = 0;
    std::int64_t valid_for = 0;
};

}  // namespace

std::string run_code(const Invocation& invocation, Terminal& terminal, const Environment& environment)
{
    const auto now = environment.now ? environment.now : system_now;
    TokenSession session(invocation, terminal, environment);
    Bytes serial;
    session.run([&] { session.key().op_get_active(serial); });

    Code code;
    for (;;) {
        const std::int64_t asked_at = now();
        session.run_pressed([&] {
            Bytes response;
            session.key().cal_hcode(serial, response, asked_at);
            code.value = session.key().get_otp(response, code.digits);
        });
        // A press can take long enough for the window to pass; its code would be of no use.
        const std::int64_t answered_at = now();
        if (window_of(answered_at) == window_of(asked_at)) {
            code.valid_for = kWindowSeconds - (answered_at - window_of(answered_at) * kWindowSeconds);
            break;
        }
        LOG(INFO) << "The window passed while the token answered, asking again";
    }

    const QString digits = QString::number(code.value).rightJustified(code.digits, '0');
    if (!invocation.json)
        return digits.toStdString() + "\n";
    QJsonObject object;
    object["serial"] = text_of(serial);
    object["code"] = digits;
    object["digits"] = code.digits;
    object["valid_for"] = static_cast<qint64>(code.valid_for);
    return json_line(object);
}

std::string run_info(const Invocation& invocation, Terminal& terminal, const Environment& environment)
{
    TokenSession session(invocation, terminal, environment);
    Bytes serial;
    session.run([&] { session.key().op_get_active(serial); });
    std::vector<User> users;
    session.run_pressed([&] {
        users.clear();
        session.key().op_get_user_info(users);
    });

    const auto found =
        std::find_if(users.begin(), users.end(), [&](const User& user) { return user.serial_number == serial; });
    const User* active = found != users.end() ? &*found : nullptr;

    if (invocation.json) {
        QJsonArray records;
        for (const User& user : users) {
            QJsonObject record;
            record["serial"] = text_of(user.serial_number);
            record["algorithm"] = json_name(algorithm_name(user.algorithm));
            record["hash"] = json_name(hash_name(user.type));
            record["active"] = &user == active;
            records.append(record);
        }
        QJsonObject object;
        object["serial"] = text_of(serial);
        object["algorithm"] = active ? json_name(algorithm_name(active->algorithm)) : QJsonValue(QJsonValue::Null);
        object["hash"] = active ? json_name(hash_name(active->type)) : QJsonValue(QJsonValue::Null);
        object["users"] = records;
        return json_line(object);
    }

    QString text = QString("Serial Number: %1\n").arg(text_of(serial));
    if (active) {
        text += QString("Algorithm: %1\n").arg(name_or_unknown(algorithm_name(active->algorithm), active->algorithm));
        text += QString("Hash: %1\n").arg(name_or_unknown(hash_name(active->type), active->type));
    } else {
        text += "Algorithm: unknown (the token lists no record for this serial number)\n";
        text += "Hash: unknown\n";
    }
    text += QString("Users: %1\n").arg(users.size());
    for (const User& user : users) {
        text += QString("  %1  %2  %3%4\n")
                    .arg(text_of(user.serial_number), name_or_unknown(algorithm_name(user.algorithm), user.algorithm),
                         name_or_unknown(hash_name(user.type), user.type), &user == active ? "  (active)" : "");
    }
    return text.toStdString();
}

std::string run_press_mode(const Invocation& invocation, Terminal& terminal, const Environment& environment)
{
    TokenSession session(invocation, terminal, environment);
    session.run([&] { session.key().switch_press_mode(invocation.press_mode_on); });
    return invocation.press_mode_on ? "Press mode is on.\n" : "Press mode is off.\n";
}

}  // namespace cli
