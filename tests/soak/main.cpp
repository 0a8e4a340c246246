// The soak: the real controller and model over the simulated token, window after window, on
// a clock that moves 30 s per window, with seeded random faults. Every window must show the
// code oathtool gives for it, or exactly what its fault calls for; no crash, no hang, and the
// resident set stays flat. Returns non-zero on the first window that does not.
//
//   soak [--windows N] [--seed S] [--max-growth KB]
//
// --max-growth fails the run when the resident set grows faster than KB per 1,000 windows.

#include "expected_codes.h"
#include "faults.h"
#include "resident_memory.h"
#include "rig.h"
#include "watchdog.h"

#include <easylogging++.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

struct Options {
    int windows = 300;
    std::uint32_t seed = 0;
    std::optional<double> max_growth_kb;
};

// Longer than the slowest window takes under a sanitizer.
constexpr int kHangLimitSeconds = 120;

std::optional<Options> parse(const QStringList& arguments)
{
    Options options;
    options.seed = static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& name = arguments[i];
        if (i + 1 >= arguments.size())
            return std::nullopt;
        bool ok = false;
        const QString value = arguments[++i];
        if (name == "--windows")
            options.windows = value.toInt(&ok);
        else if (name == "--seed")
            options.seed = value.toUInt(&ok);
        else if (name == "--max-growth")
            options.max_growth_kb = value.toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (options.windows < 1)
        return std::nullopt;
    return options;
}

// Every record is still built and dispatched, as in the program, but written nowhere.
void quiet_logging()
{
    el::Configurations configuration;
    configuration.setToDefault();
    configuration.setGlobally(el::ConfigurationType::ToStandardOutput, "false");
    configuration.setGlobally(el::ConfigurationType::ToFile, "false");
    el::Loggers::reconfigureLogger("default", configuration);
}

TokenSetup token_setup(std::mt19937& engine)
{
    TokenSetup setup;
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 20; ++i)
        setup.secret.push_back(static_cast<std::uint8_t>(byte(engine)));
    setup.digits = byte(engine) % 2 == 0 ? 6 : 8;
    return setup;
}

// Every fault once, in a seeded order, then drawn by weight.
class FaultPicker {
public:
    explicit FaultPicker(std::mt19937& engine) : engine(engine)
    {
        const std::vector<Fault>& catalogue = fault_catalogue();
        std::vector<double> weights;
        for (std::size_t i = 0; i < catalogue.size(); ++i) {
            first_round.push_back(i);
            weights.push_back(catalogue[i].weight);
        }
        std::shuffle(first_round.begin(), first_round.end(), engine);
        by_weight = std::discrete_distribution<std::size_t>(weights.begin(), weights.end());
    }

    std::size_t next(int window)
    {
        if (static_cast<std::size_t>(window) < first_round.size())
            return first_round[static_cast<std::size_t>(window)];
        return by_weight(engine);
    }

private:
    std::mt19937& engine;
    std::vector<std::size_t> first_round;
    std::discrete_distribution<std::size_t> by_weight;
};

int run(QGuiApplication& app, const Options& options)
{
    std::mt19937 engine(options.seed);
    const TokenSetup setup = token_setup(engine);
    const std::int64_t first_window = 30 * std::uniform_int_distribution<std::int64_t>(50000000, 60000000)(engine);
    std::printf("soak: seed %u, %d windows from %lld, %d digits\n", options.seed, options.windows,
                static_cast<long long>(first_window), setup.digits);
    std::fflush(stdout);

    const std::vector<int> codes = oathtool_codes(setup.secret, setup.digits, first_window, options.windows);
    if (codes.empty()) {
        std::fprintf(stderr, "soak: cannot get the codes from oathtool\n");
        return 2;
    }

    const std::vector<Fault>& catalogue = fault_catalogue();
    std::vector<int> injected(catalogue.size(), 0);
    FaultPicker picker(engine);
    Watchdog watchdog(kHangLimitSeconds, options.seed);
    ResidentTrend trend;
    const int warm_up = std::max(1, options.windows / 5);
    const int sample_every = std::max(1, options.windows / 50);
    const auto started = std::chrono::steady_clock::now();

    Rig rig(app, setup, engine());
    int window = 0;
    const char* fault_name = "start-up";
    try {
        for (; window < options.windows; ++window) {
            const Fault& fault = catalogue[picker.next(window)];
            fault_name = fault.name;
            watchdog.beat(window, fault.name);
            rig.begin_window(first_window + 30LL * window, codes[static_cast<std::size_t>(window)]);
            rig.token().forget_received();
            if (rig.unplugged) {
                // Still out from the last window: the new window's read fails too, then it is back.
                rig.tick_and_wait();
                rig.expect_error(kOtpAccessText);
                rig.replug_and_rescan();
                rig.unplugged = false;
            }
            rig.read_serial();
            fault.run(rig);
            ++injected[static_cast<std::size_t>(&fault - catalogue.data())];
            rig.end_window();
            if (rig.unplugged)
                rig.expect_error(kOtpAccessText);

            if (window >= warm_up && (window - warm_up) % sample_every == 0)
                trend.sample(window);
            if ((window + 1) % 1000 == 0) {
                const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                std::printf("soak: %d windows, %.0f s, resident %ld kB\n", window + 1, seconds, resident_kb());
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "soak: FAILED in window %d (seed %u, fault \"%s\"): %s\n", window, options.seed,
                     fault_name, e.what());
        std::fprintf(stderr, "soak: rerun with: soak --windows %d --seed %u\n", options.windows, options.seed);
        return 1;
    }
    trend.sample(options.windows);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("soak: %d windows in %.1f s, every one ended as it must\n", options.windows, seconds);
    for (std::size_t i = 0; i < catalogue.size(); ++i)
        std::printf("  %-34s %6d\n", catalogue[i].name, injected[i]);
    const double growth = trend.growth_kb_per_1000_windows();
    std::printf("soak: resident set %ld kB after the warm-up (window %d), %ld kB at the end: %+.1f kB per 1,000 "
                "windows\n",
                trend.first_kb(), warm_up, trend.last_kb(), growth);
    if (options.max_growth_kb && growth > *options.max_growth_kb) {
        std::fprintf(stderr, "soak: FAILED: the resident set grows %.1f kB per 1,000 windows, over %.1f (seed %u)\n",
                     growth, *options.max_growth_kb, options.seed);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::optional<Options> options = parse(QCoreApplication::arguments());
    if (!options) {
        std::fprintf(stderr, "usage: soak [--windows N] [--seed S] [--max-growth KB]\n");
        return 2;
    }
    quiet_logging();
    return run(app, *options);
}
