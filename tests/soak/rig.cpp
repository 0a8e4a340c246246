#include "rig.h"

#include "hid_access.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Longer than any fault keeps a worker busy (two seconds for a missing continuation), with
// room for the sanitizers' slowness; beyond it a worker counts as hung.
constexpr auto kWorkerLimit = std::chrono::seconds(30);
// How long a tick may find the lock still held by a worker that has just finished.
constexpr auto kLockReleaseLimit = std::chrono::seconds(2);
constexpr int kLastTickSecond = 27;
const std::string kSerial = "SOAK000001";

std::string quoted(const QString& text)
{
    return '"' + text.toStdString() + '"';
}

}  // namespace

Rig::Rig(QGuiApplication& app, const Bytes& secret, int digits, std::uint32_t seed)
    : token_secret(secret), token_digits(digits), engine(seed)
{
    sim_token->add_user({Bytes(kSerial.begin(), kSerial.end()), sim::OtpAlgorithm::Totp, sim::OtpHash::Sha1, secret,
                         digits});
    hidaccess::install_raw_device_io(sim_bus);
    sim_token_id = sim_bus->plug(sim_token);
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

bool Rig::tick()
{
    second = std::min(second + 1, kLastTickSecond);
    clock->store(start + second);
    const std::uint64_t started = model().workers_started();
    model().response_time_changed();
    return model().workers_started() != started;
}

void Rig::start_tick()
{
    const auto give_up = Clock::now() + kLockReleaseLimit;
    while (!tick()) {
        expect(Clock::now() < give_up, "a tick starts a worker");
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void Rig::tick_and_wait()
{
    start_tick();
    wait_for_worker();
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
    model().set_otp(0);
    model().response_time_changed();
    wait_for_worker();
}

void Rig::rescan()
{
    // A new model may take the freed place of the old one, so only the signal tells them apart.
    const int shown_before = show_count;
    main_frame->rescan_key();
    if (show_count == shown_before)
        return;
    current = main_frame->current_otp_status();
    // Set before the new model's first tick, as its own clock would be read then.
    if (current != nullptr)
        current->set_clock([clock = clock] { return clock->load(); });
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
    expect(show_count == shown_before + 1 && current != nullptr, "a rescan after a replug publishes a model");
    expect(current->serial_num().isEmpty(), "the new model reads the serial number again");
}

void Rig::read_serial()
{
    if (!model().serial_num().isEmpty())
        return;
    tick_and_wait();
    expect(model().serial_num() == QString::fromStdString(kSerial),
           "the serial number is read, got " + quoted(model().serial_num()));
}

void Rig::deliver(bool tick_started)
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

void Rig::expect_error(const QString& text) const
{
    expect(model().otp() == 0 && model().err_msg() == text,
           "error " + quoted(text) + " is shown, got otp " + std::to_string(model().otp()) + " err_msg " +
               quoted(model().err_msg()));
}

Rig::Shown Rig::shown() const
{
    return Shown{model().otp(), model().err_msg(), model().serial_num()};
}

void Rig::expect_unchanged(const Shown& before) const
{
    const Shown now = shown();
    expect(now.otp == before.otp && now.err_msg == before.err_msg && now.serial_num == before.serial_num,
           "nothing changes, got otp " + std::to_string(now.otp) + " (was " + std::to_string(before.otp) +
               ") err_msg " + quoted(now.err_msg) + " (was " + quoted(before.err_msg) + ")");
}

void Rig::expect(bool condition, const std::string& what) const
{
    if (!condition)
        throw SoakFailure(what);
}

OtpStatus& Rig::model() const
{
    if (current == nullptr)
        throw SoakFailure("no token model is published");
    return *current;
}
