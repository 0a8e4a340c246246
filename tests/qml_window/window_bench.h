#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class MainFrame;
class QQmlEngine;

namespace sim {
class SimBus;
class SimToken;
struct SimUser;
}

// What the window tests drive from QML: a simulated bus with the demo token below the real
// key layer, the real MainFrame created the way start-up creates it, the clock of the models
// it builds, and an independent code generator to check the shown code against.
class WindowBench : public QObject {
    Q_OBJECT

public:
    explicit WindowBench(QQmlEngine* engine);
    ~WindowBench() override;

    // A fresh bus and token; with_token plugs the token in before anything looks.
    Q_INVOKABLE void prepare(bool with_token);
    // Call once the window exists: creates MainFrame, publishes "main_frame" and rescans once.
    Q_INVOKABLE void start_main_frame();
    // Withdraws both context objects, then destroys MainFrame and the bus.
    Q_INVOKABLE void shut_down();

    // Plugs the token in (again, after an unplug: same paths, power-cycled) or pulls it out.
    Q_INVOKABLE void plug();
    Q_INVOKABLE void unplug();

    Q_INVOKABLE void set_token_press_mode(bool on);
    Q_INVOKABLE bool token_press_mode() const;
    Q_INVOKABLE void set_press_wait(int milliseconds);
    Q_INVOKABLE void press_button();
    Q_INVOKABLE void refuse_next_command();
    // The next application command gets this status word and no data.
    Q_INVOKABLE void answer_next_command_with(int sw1, int sw2);
    // Every answer becomes readable this much later: a slow token, as one waiting for its button.
    Q_INVOKABLE void set_answer_delay(int milliseconds);
    // How many user-list requests the token has received: one per token info query.
    Q_INVOKABLE int user_list_requests() const;
    Q_INVOKABLE QString active_serial() const;

    // The seconds since the epoch that models see from now on; models built later see them too.
    Q_INVOKABLE void set_model_time(double seconds);
    // oathtool's codes for the active user, from the window holding `seconds` on, `count` windows.
    Q_INVOKABLE QStringList oathtool_codes(double seconds, int count) const;

    Q_INVOKABLE QString clipboard_text() const;

private:
    // Destroys MainFrame (and with it the model) before the bus its key talks to.
    void release();
    sim::SimUser active_user() const;
    void use_bench_clock();

    QQmlEngine* engine;
    std::shared_ptr<sim::SimBus> bus;
    std::shared_ptr<sim::SimToken> token;
    int token_id = -1;
    bool plugged = false;
    std::unique_ptr<MainFrame> main_frame;
    // Shared with the clocks of the models; negative: the system time.
    std::shared_ptr<std::int64_t> model_time;
};
