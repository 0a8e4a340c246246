#include "rig.h"

#include "hid_access.h"

#include <QCoreApplication>

#include <chrono>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Longer than any fault keeps a worker busy (two seconds for a missing continuation), with
// room for the sanitizers' slowness; beyond it a worker counts as hung.
constexpr auto kWorkerLimit = std::chrono::seconds(30);
// How long a tick may find the lock still held by a worker that has just finished.
constexpr auto kLockReleaseLimit = std::chrono::seconds(2);
constexpr int kLastTickSecond = 27;

Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::shared_ptr<sim::SimToken> make_token(const TokenSetup& setup)
{
    auto token = std::make_shared<sim::SimToken>();
    token->add_user({ascii(kActiveSerial), sim::OtpAlgorithm::Totp, sim::OtpHash::Sha1, setup.secret, setup.digits});
    // Enough other records that the user list needs a continuation report.
    for (int i = 1; i <= 5; ++i)
        token->add_user({ascii("SOAKSPARE000" + std::to_string(i)), sim::OtpAlgorithm::Hotp, sim::OtpHash::Sha256,
                         setup.secret, 8});
    token->set_active_user(0);
    return token;
}

std::string quoted(const QString& text)
{
    return '"' + text.toStdString() + '"';
}

}  // namespace

Rig::Rig(QGuiApplication& app, const TokenSetup& setup, std::uint32_t seed)
    : token_setup(setup), engine(seed), sim_token(make_token(setup))
{
    hidaccess::install_raw_device_io(sim_bus);
    sim_token_id = sim_bus->plug(sim_token);
    auto spare = std::make_shared<sim::SimToken>();
    spare->add_user({ascii("SPARE"), sim::OtpAlgorithm::Totp, sim::OtpHash::Sha1, setup.secret, 6});
    spare_id = sim_bus->plug(spare);
    sim_bus->unplug(spare_id);

    main_frame = std::make_unique<MainFrame>(engine_for_context.rootContext(), &app);
    QObject::connect(main_frame.get(), &MainFrame::show_otp_status, [this] { ++show_count; });
    rescan();
    expect(current != nullptr, "the first rescan finds the token");
}

Rig::~Rig()
{
    main_frame.reset();
    hidaccess::install_raw_device_io(nullptr);
}

void Rig::begin_window(std::int64_t window_start, int expected)
{
    start = window_start;
    second = 0;
    code = expected;
}

std::uint64_t Rig::window_counter() const
{
    return static_cast<std::uint64_t>(start / 30);
}

int Rig::expected_code() const
{
    return code;
}

bool Rig::tick()
{
    second = std::min(second + 1, kLastTickSecond);
    clock->store(start + second);
    const std::uint64_t started = model().workers_started();
    model().response_time_changed();
    return model().workers_started() != started;
}

void Rig::tick_and_wait()
{
    start_tick();
    wait_for_worker();
}

void Rig::start_tick()
{
    const auto give_up = Clock::now() + kLockReleaseLimit;
    while (!tick()) {
        expect(Clock::now() < give_up, "a tick starts a worker");
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void Rig::query_and_wait()
{
    const auto give_up = Clock::now() + kLockReleaseLimit;
    for (;;) {
        const std::uint64_t started = model().workers_started();
        expect(model().async_query_token_info(), "the token information query answers true");
        if (model().workers_started() != started)
            break;
        expect(Clock::now() < give_up, "a token information query starts a worker");
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    wait_for_worker();
}

void Rig::wait_until(const std::function<bool()>& condition, const std::string& what)
{
    const auto give_up = Clock::now() + kWorkerLimit;
    while (!condition()) {
        if (Clock::now() > give_up)
            throw SoakFailure("hang: waited 30 s for " + what);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void Rig::tick_expecting_nothing()
{
    expect(!tick(), "a tick starts no worker");
}

void Rig::wait_for_worker()
{
    const auto give_up = Clock::now() + kWorkerLimit;
    while (model().is_worker_running()) {
        if (Clock::now() > give_up)
            throw SoakFailure("hang: the worker did not finish within 30 s");
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    QCoreApplication::processEvents();
}

void Rig::end_window()
{
    clock->store(start + 29);
    // The page: under two seconds left, so the code goes before the next window's arrives.
    model().set_otp(0);
    model().response_time_changed();
    wait_for_worker();
}

void Rig::rescan()
{
    // A new model may take the freed place of the old one, so only the signal tells them apart.
    const int shown_before = show_count;
    main_frame->rescan_key();
    if (show_count != shown_before)
        take_model();
}

void Rig::take_model()
{
    current = main_frame->current_otp_status();
    if (current == nullptr)
        return;
    // Set before the new model's first tick, as its own clock would be read then.
    current->set_clock([clock = clock] { return clock->load(); });
    // The rig is the hot-plug watcher here and makes every rescan itself; the rescan a lost
    // token causes by itself is test_main_frame's.
    QObject::disconnect(current, &OtpStatus::key_lost, main_frame.get(), nullptr);
}

void Rig::unplug()
{
    sim_bus->unplug(sim_token_id);
}

void Rig::replug_and_rescan()
{
    const int shown_before = show_count;
    sim_bus->replug(sim_token_id);
    rescan();
    expect(show_count == shown_before + 1, "a rescan after a replug publishes a model");
    expect(current != nullptr, "a rescan after a replug finds the token");
    expect(current->serial_num().isEmpty(), "the new model reads the serial number again");
}

void Rig::read_serial()
{
    if (!model().serial_num().isEmpty())
        return;
    tick_and_wait();
    expect(model().serial_num() == QString::fromStdString(kActiveSerial),
           "the serial number is read, got " + quoted(model().serial_num()));
}

void Rig::deliver()
{
    read_serial();
    tick_and_wait();
    expect_code();
    tick_expecting_nothing();
}

void Rig::expect_code() const
{
    std::ostringstream what;
    what << "the window's code " << code << " is shown with " << token_setup.digits << " digits, got otp "
         << model().otp() << " digits " << model().digits() << " err_msg " << quoted(model().err_msg());
    expect(model().otp() == code && model().digits() == token_setup.digits, what.str());
}

void Rig::expect_error(const QString& text) const
{
    expect(model().otp() == 0 && model().err_msg() == text,
           "error " + quoted(text) + " is shown, got otp " + std::to_string(model().otp()) + " err_msg " +
               quoted(model().err_msg()));
}

Rig::Shown Rig::shown() const
{
    return Shown{model().otp(), model().err_msg(), model().serial_num(), model().token_info()};
}

void Rig::expect_unchanged(const Shown& before) const
{
    const Shown now = shown();
    expect(now.otp == before.otp && now.err_msg == before.err_msg && now.serial_num == before.serial_num &&
               now.token_info == before.token_info,
           "nothing changes, got otp " + std::to_string(now.otp) + " (was " + std::to_string(before.otp) +
               ") err_msg " + quoted(now.err_msg) + " (was " + quoted(before.err_msg) + ") token_info " +
               quoted(now.token_info) + " (was " + quoted(before.token_info) + ")");
}

void Rig::expect(bool condition, const std::string& what) const
{
    if (!condition)
        throw SoakFailure(what);
}

QString Rig::token_info_text()
{
    return "Serial Number: " + QString::fromStdString(kActiveSerial) + "\nAlgorithm: TOTP\nHash: SHA-1\n";
}

OtpStatus& Rig::model() const
{
    if (current == nullptr)
        throw SoakFailure("no token model is published");
    return *current;
}

int Rig::pick(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(engine);
}
