#include "demo_token.h"
#include "hid.h"
#include "sim_bus.h"
#include "toolkit.h"

#include <benchmark/benchmark.h>
#include <easylogging++.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

namespace {

const Bytes kDemoSerial = {'S', 'I', 'M', '0', '0', '0', '0', '0', '0', '1'};

// One code request as the window makes it: INIT, SELECT, calculate, parsing and the records
// the shipped log.conf asks for. The simulated token answers at once, in the same thread, so
// its own work is counted too: the figure is an upper bound for the host's share.
void request_one_code(benchmark::State& state)
{
    auto bus = std::make_shared<sim::SimBus>();
    bus->plug(sim::make_demo_token());
    hidaccess::install_raw_device_io(bus);
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    std::shared_ptr<U2FUsbKey> key = keys.at(0);
    std::int32_t digits = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(key->op_get_otp(kDemoSerial, digits));
    key.reset();
    keys.clear();
    hidaccess::install_raw_device_io(nullptr);
}

void with_log_file(benchmark::State& state)
{
    request_one_code(state);
}
BENCHMARK(with_log_file)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMicrosecond);

void with_logging_off(benchmark::State& state)
{
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::Enabled, "false");
    request_one_code(state);
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::Enabled, "true");
}
BENCHMARK(with_logging_off)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The shipped log.conf, writing to a file on disk as the window does.
    QTemporaryDir data_home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data_home.path()));
    setup_log(QDir(QCoreApplication::applicationDirPath()).filePath("log.conf").toStdString());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
