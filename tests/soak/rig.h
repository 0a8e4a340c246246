#pragma once

#include "main_frame.h"
#include "sim_bus.h"

#include <QGuiApplication>
#include <QQmlEngine>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

// A window that did not end as it must; the run stops with the window number and seed.
struct SoakFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What one run's token holds, fixed by the seed.
struct TokenSetup {
    Bytes secret;
    int digits = 6;
};

inline const QString kPressText = "Press the key to get the OTP!";
inline const QString kSerialAccessText = "Failed to access the key.\nRe-plug in the key!";
inline const QString kOtpAccessText = "Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!";
inline const std::string kActiveSerial = "SOAK000001";

// The real controller and model over a simulated token, driven as the OTP page drives them:
// a tick of the page's timer at a chosen second of the window, on a clock the run moves.
class Rig {
public:
    Rig(QGuiApplication& app, const TokenSetup& setup, std::uint32_t seed);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // The window whose code the token must give; each one starts with the clock one second in.
    void begin_window(std::int64_t start, int expected_code);
    std::uint64_t window_counter() const;
    int expected_code() const;

    // The page's tick at the next second of the window. True when it started a worker.
    bool tick();
    // A tick that must start a worker (one that has just finished may still hold the lock for
    // an instant, so it is asked again); waits for the worker.
    void tick_and_wait();
    // The same without waiting: the worker is left running.
    void start_tick();
    // A token information query as the dialog's poll makes it, waited for.
    void query_and_wait();
    // A tick that must start nothing.
    void tick_expecting_nothing();
    // Waits, bounded, for the running worker to finish.
    void wait_for_worker();
    // The last tick of the window: fewer than two seconds left, so the page writes 0.
    void end_window();

    // The window's handler of a device notification.
    void rescan();
    // Pulls the token out, or plugs it back in and lets the window rescan.
    void unplug();
    void replug_and_rescan();

    // Waits, bounded, until the condition holds.
    void wait_until(const std::function<bool()>& condition, const std::string& what);
    // Reads the serial number if this model has not yet.
    void read_serial();
    // Ticks until this window's code is shown: a fresh model reads the serial number first.
    void deliver();

    void expect_code() const;
    void expect_error(const QString& text) const;
    struct Shown {
        int otp;
        QString err_msg;
        QString serial_num;
        QString token_info;
    };
    Shown shown() const;
    void expect_unchanged(const Shown& before) const;
    void expect(bool condition, const std::string& what) const;

    // The token information text the dialog must show for the active user.
    static QString token_info_text();

    OtpStatus& model() const;
    MainFrame& frame() const { return *main_frame; }
    sim::SimToken& token() const { return *sim_token; }
    sim::SimBus& bus() const { return *sim_bus; }
    int spare_token_id() const { return spare_id; }
    const TokenSetup& setup() const { return token_setup; }
    int pick(int low, int high);
    int models_shown() const { return show_count; }
    // Set when a window ends with the token pulled out; the next window plugs it back in.
    bool unplugged = false;

private:
    void take_model();

    TokenSetup token_setup;
    std::mt19937 engine;
    std::shared_ptr<sim::SimBus> sim_bus = std::make_shared<sim::SimBus>();
    std::shared_ptr<sim::SimToken> sim_token;
    int sim_token_id = 0;
    int spare_id = 0;
    QQmlEngine engine_for_context;
    std::unique_ptr<MainFrame> main_frame;
    OtpStatus* current = nullptr;
    int show_count = 0;
    std::shared_ptr<std::atomic<std::int64_t>> clock = std::make_shared<std::atomic<std::int64_t>>(0);
    std::int64_t start = 0;
    int second = 0;
    int code = 0;
};
