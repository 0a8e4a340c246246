#pragma once

#include "main_frame.h"
#include "sim_bus.h"

#include <QGuiApplication>
#include <QQmlEngine>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

// A window that did not end as it must; the run stops with the window number and seed.
struct SoakFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline const QString kPressText = "Press the key to get the OTP!";
inline const QString kOtpAccessText = "Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!";

// The real controller and model over a simulated token, driven as the OTP page drives them:
// a tick of the page's timer at a chosen second of the window, on a clock the run moves.
class Rig {
public:
    Rig(QGuiApplication& app, const Bytes& secret, int digits, std::uint32_t seed);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // The window whose code the token must give; each one starts with the clock one second in.
    void begin_window(std::int64_t start, int expected_code);
    std::uint64_t window_counter() const { return static_cast<std::uint64_t>(start / 30); }
    const Bytes& secret() const { return token_secret; }
    int digits() const { return token_digits; }

    // A tick that must start a worker (one that has just finished may still hold the lock for
    // an instant, so it is asked again), left running or waited for.
    void start_tick();
    void tick_and_wait();
    void tick_expecting_nothing();
    void wait_for_worker();
    // The last tick of the window: fewer than two seconds left, so the page writes 0.
    void end_window();

    // The window's handler of a device notification.
    void rescan();
    void unplug();
    void replug_and_rescan();

    // A fresh model reads the serial number at its first tick.
    void read_serial();
    // Ticks until this window's code is shown, or waits for the tick already started.
    void deliver(bool tick_started = false);
    void expect_error(const QString& text) const;
    struct Shown {
        int otp;
        QString err_msg;
        QString serial_num;
    };
    Shown shown() const;
    void expect_unchanged(const Shown& before) const;
    void expect(bool condition, const std::string& what) const;

    OtpStatus& model() const;
    sim::SimToken& token() const { return *sim_token; }
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); }

private:
    bool tick();

    Bytes token_secret;
    int token_digits;
    std::mt19937 engine;
    std::shared_ptr<sim::SimBus> sim_bus = std::make_shared<sim::SimBus>();
    std::shared_ptr<sim::SimToken> sim_token = std::make_shared<sim::SimToken>();
    int sim_token_id = 0;
    QQmlEngine engine_for_context;
    std::unique_ptr<MainFrame> main_frame;
    OtpStatus* current = nullptr;
    int show_count = 0;
    std::shared_ptr<std::atomic<std::int64_t>> clock = std::make_shared<std::atomic<std::int64_t>>(0);
    std::int64_t start = 0;
    int second = 0;
    int code = 0;
};
