#pragma once

#include "hid_access.h"
#include "main_frame.h"
#include "sim_bus.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

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
    struct Shown {
        int otp;
        QString err_msg;
        QString serial_num;
    };

    Rig(QGuiApplication& app, const Bytes& secret, int digits, std::uint32_t seed)
        : token_secret(secret), token_digits(digits), engine(seed)
    {
        sim_token->add_user({Bytes(kSerial.begin(), kSerial.end()), sim::OtpAlgorithm::Totp, sim::OtpHash::Sha1,
                             secret, digits});
        hidaccess::install_raw_device_io(sim_bus);
        sim_token_id = sim_bus->plug(sim_token);
        main_frame = std::make_unique<MainFrame>(engine_for_context.rootContext(), &app);
        QObject::connect(main_frame.get(), &MainFrame::show_otp_status, [this] { ++show_count; });
        rescan();
        expect(current != nullptr, "the first rescan finds the token");
    }

    ~Rig()
    {
        main_frame.reset();
        hidaccess::install_raw_device_io(nullptr);
    }

    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // The window whose code the token must give; each one starts with the clock one second in.
    void begin_window(std::int64_t window_start, int expected_code)
    {
        start = window_start;
        second = 0;
        code = expected_code;
    }
    std::uint64_t window_counter() const { return static_cast<std::uint64_t>(start / 30); }
    const Bytes& secret() const { return token_secret; }
    int digits() const { return token_digits; }
    sim::SimToken& token() const { return *sim_token; }
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); }

    // A tick that must start a worker: one that has just finished may still hold the lock for
    // an instant, so it is asked again.
    void start_tick()
    {
        const auto give_up = Clock::now() + kLockReleaseLimit;
        while (!tick()) {
            expect(Clock::now() < give_up, "a tick starts a worker");
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }

    void tick_and_wait()
    {
        start_tick();
        wait_for_worker();
    }

    void tick_expecting_nothing() { expect(!tick(), "a tick starts no worker"); }

    void wait_for_worker()
    {
        const auto give_up = Clock::now() + kWorkerLimit;
        while (model().is_worker_running()) {
            if (Clock::now() > give_up)
                throw SoakFailure("hang: the worker did not finish within 30 s");
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        QCoreApplication::processEvents();
    }

    // The last tick of the window: fewer than two seconds left, so the page writes 0.
    void end_window()
    {
        clock->store(start + 29);
        model().set_otp(0);
        model().response_time_changed();
        wait_for_worker();
    }

    // The window's handler of a device notification.
    void rescan()
    {
        // A new model may take the freed place of the old one, so only the signal tells them apart.
        const int shown_before = show_count;
        main_frame->rescan_key();
        if (show_count == shown_before)
            return;
        current = main_frame->current_otp_status();
        // Set before the new model's first tick, as its own clock would be read then.
        if (current == nullptr)
            return;
        current->set_clock([clock = clock] { return clock->load(); });
        // The rig is the hot-plug watcher here and makes every rescan itself; the rescan a lost
        // token causes by itself is test_main_frame's.
        QObject::disconnect(current, &OtpStatus::key_lost, main_frame.get(), nullptr);
    }

    void unplug() { sim_bus->unplug(sim_token_id); }

    void replug_and_rescan()
    {
        const int shown_before = show_count;
        sim_bus->replug(sim_token_id);
        rescan();
        expect(show_count == shown_before + 1 && current != nullptr, "a rescan after a replug publishes a model");
        expect(current->serial_num().isEmpty(), "the new model reads the serial number again");
    }

    // Outside a tick: a fresh model's first tick reads the window's code as well.
    void read_serial()
    {
        if (!model().serial_num().isEmpty())
            return;
        model().query_token_info();
        expect(model().serial_num() == QString::fromStdString(kSerial),
               "the serial number is read, got " + quoted(model().serial_num()));
    }

    // Ticks until this window's code is shown, or waits for the tick already started.
    void deliver(bool tick_started = false)
    {
        if (tick_started) {
            wait_for_worker();
        } else {
            read_serial();
            tick_and_wait();
        }
        expect(model().otp() == code && model().digits() == token_digits,
               "the window's code " + std::to_string(code) + " is shown, got otp " + std::to_string(model().otp()) +
                   " err_msg " + quoted(model().err_msg()));
        tick_expecting_nothing();
    }

    void expect_error(const QString& text) const
    {
        expect(model().otp() == 0 && model().err_msg() == text,
               "error " + quoted(text) + " is shown, got otp " + std::to_string(model().otp()) + " err_msg " +
                   quoted(model().err_msg()));
    }

    Shown shown() const { return Shown{model().otp(), model().err_msg(), model().serial_num()}; }

    void expect_unchanged(const Shown& before) const
    {
        const Shown now = shown();
        expect(now.otp == before.otp && now.err_msg == before.err_msg && now.serial_num == before.serial_num,
               "nothing changes, got otp " + std::to_string(now.otp) + " (was " + std::to_string(before.otp) +
                   ") err_msg " + quoted(now.err_msg) + " (was " + quoted(before.err_msg) + ")");
    }

    void expect(bool condition, const std::string& what) const
    {
        if (!condition)
            throw SoakFailure(what);
    }

    OtpStatus& model() const
    {
        if (current == nullptr)
            throw SoakFailure("no token model is published");
        return *current;
    }

private:
    using Clock = std::chrono::steady_clock;
    // Longer than any fault keeps a worker busy (two seconds for a missing continuation), with
    // room for the sanitizers' slowness; beyond it a worker counts as hung.
    static constexpr auto kWorkerLimit = std::chrono::seconds(30);
    // How long a tick may find the lock still held by a worker that has just finished.
    static constexpr auto kLockReleaseLimit = std::chrono::seconds(2);
    static constexpr int kLastTickSecond = 27;
    inline static const std::string kSerial = "SOAK000001";

    static std::string quoted(const QString& text) { return '"' + text.toStdString() + '"'; }

    // The page's tick at the next second of the window. True when it started a worker.
    bool tick()
    {
        second = std::min(second + 1, kLastTickSecond);
        clock->store(start + second);
        const std::uint64_t started = model().workers_started();
        model().response_time_changed();
        return model().workers_started() != started;
    }

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
