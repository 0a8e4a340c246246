#include "demo_token.h"
#include "hid.h"
#include "otp_status.h"
#include "sim_bus.h"

#include <benchmark/benchmark.h>
#include <easylogging++.h>

#include <QCoreApplication>

#include <chrono>
#include <thread>

namespace {

std::shared_ptr<U2FUsbKey> demo_key(const std::shared_ptr<sim::SimToken>& token)
{
    auto bus = std::make_shared<sim::SimBus>();
    bus->plug(token);
    hidaccess::install_raw_device_io(bus);
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    return keys.at(0);
}

void wait_for(const std::function<bool()>& done)
{
    // Results reach the model as events.
    while (!done()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The page's 600 ms tick once the window's code is on screen: one read of the system clock,
// one division, one comparison. Should a window end during the run, one read more is made.
void tick_with_code_delivered(benchmark::State& state)
{
    OtpStatus status(demo_key(sim::make_demo_token()));
    status.response_time_changed();
    wait_for([&] { return !status.serial_num().isEmpty(); });
    status.response_time_changed();
    wait_for([&] { return status.code_shown(); });
    for (auto _ : state)
        benchmark::DoNotOptimize(status.response_time_changed());
}
BENCHMARK(tick_with_code_delivered);

// The tick while a worker waits on the token: it must only look, never wait.
void tick_while_worker_runs(benchmark::State& state)
{
    auto token = sim::make_demo_token();
    OtpStatus status(demo_key(token));
    token->set_silent(true);
    status.response_time_changed();
    for (auto _ : state)
        benchmark::DoNotOptimize(status.response_time_changed());
}
BENCHMARK(tick_while_worker_runs);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::Enabled, "false");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    hidaccess::install_raw_device_io(nullptr);
    return 0;
}
