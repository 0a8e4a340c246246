#pragma once

#include <QObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include "sim_token.h"

#include <cstdint>
#include <cmath>
#include <memory>

class MainFrame;

namespace sim {
class SimBus;
}

// What the QML tests drive: a simulated bus with the demo token below the real key layer, the
// real MainFrame created as start-up creates it, the clock of its models, oathtool to check the
// shown code against, root-context properties, and the local files handed to the desktop.
class Bench : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList opened_files MEMBER opened_files)

public:
    explicit Bench(QQmlEngine* engine);
    ~Bench() override;

    Q_INVOKABLE void publish(const QString& name, const QVariant& value) { engine->rootContext()->setContextProperty(name, value); }
    // A fresh bus and token (plugged in or not), then MainFrame published and one rescan.
    // model_time: the seconds since the epoch its models see (negative: the system time).
    Q_INVOKABLE void start(bool with_token, double model_time);
    // Withdraws both context objects, then destroys MainFrame before the bus its key talks to.
    Q_INVOKABLE void shut_down();

    Q_INVOKABLE void plug(bool in);
    Q_INVOKABLE void set_token_press_mode(bool on) { token->set_press_mode(on); }
    Q_INVOKABLE bool token_press_mode() const { return token->press_mode(); }
    Q_INVOKABLE void set_press_wait(int ms) { token->set_press_wait(sim::Milliseconds(ms)); }
    Q_INVOKABLE void press_button() { token->press_button(); }
    // Whether the model in use has no request on the token: its results then only wait for events.
    Q_INVOKABLE bool token_requests_done() const;
    Q_INVOKABLE int commands_received() const { return static_cast<int>(token->received_commands().size()); }
    // The next application command gets this status word and no data.
    Q_INVOKABLE void answer_next_command_with(int sw1, int sw2)
    {
        token->answer_next_command_with(static_cast<std::uint8_t>(sw1), static_cast<std::uint8_t>(sw2));
    }
    Q_INVOKABLE void set_answer_delay(int ms) { token->set_answer_delay(sim::Milliseconds(ms)); }
    Q_INVOKABLE void set_model_time(double seconds) { *model_time_ms = seconds < 0 ? -1 : std::llround(seconds * 1000); }
    // oathtool's codes for the active user, from the window holding `seconds` on, `count` windows.
    Q_INVOKABLE QStringList oathtool_codes(double seconds, int count) const;
    Q_INVOKABLE QString clipboard_text() const;

private slots:
    void open_file(const QUrl& url) { opened_files.append(url.toString()); }

private:
    QQmlEngine* engine;
    QStringList opened_files;
    std::shared_ptr<sim::SimBus> bus;
    std::shared_ptr<sim::SimToken> token;
    int token_id = -1;
    bool plugged = false;
    std::unique_ptr<MainFrame> main_frame;
    // Shared with the clocks of the models.
    std::shared_ptr<std::int64_t> model_time_ms = std::make_shared<std::int64_t>(-1);
};
