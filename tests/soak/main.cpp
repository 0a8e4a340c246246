// The soak: the real controller and model over the simulated token, window after window, on
// a clock that moves 30 s per window, with a seeded fault from the simulator's switches in most
// windows. Every window must show the code oathtool gives for it, or exactly what its fault
// calls for; no crash, no hang, and the resident set stays flat. Returns non-zero on the first
// window that does not.
//
//   soak [--windows N] [--seed S] [--max-growth KB]
//
// --max-growth fails the run when the resident set grows faster than KB per 1,000 windows.

#include "oathtool.h"
#include "otp.h"
#include "rig.h"

#include <easylogging++.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// What the user must see right after the fault, before the window's code comes back.
enum class Then {
    Code,       // nothing: the code
    Late,       // the code, later: ticks meanwhile start nothing
    Unchanged,  // the read fails and leaves what is shown as it was
    Press,      // the press text
    Access,     // the access text; the token still works
    Replug,     // the access text at every tick until the token is plugged back in
    Hang,       // the first read waits without limit until the token is pulled out; then as Replug
};

// The answer to calculate as the token frames it: reserved, digits, value, status word, zeros.
Bytes calculate_answer(Rig& rig)
{
    const std::uint32_t value = sim::truncated_hmac(sim::OtpHash::Sha1, rig.secret(), rig.window_counter());
    Bytes answer = {0x00, 0x00, static_cast<std::uint8_t>(rig.digits())};
    for (int shift = 24; shift >= 0; shift -= 8)
        answer.push_back(static_cast<std::uint8_t>(value >> shift));
    answer.push_back(0x90);
    answer.push_back(0x00);
    answer.resize(57, 0x00);
    return answer;
}

struct Fault {
    const char* name;
    int weight;  // how often it is drawn, against the others
    Then (*arm)(Rig& rig);
};

// Faults that wait out the two-second continuation limit are drawn rarely.
const Fault kFaults[] = {
    {"none", 40, [](Rig&) { return Then::Code; }},
    {"unplug", 10, [](Rig& rig) { rig.unplug(); return Then::Replug; }},
    {"silence", 6, [](Rig& rig) { rig.token().set_silent(true); return Then::Hang; }},
    // A report of no bytes cannot be told from no report: the answer is lost.
    {"empty report", 4, [](Rig& rig) { rig.token().shorten_next_report(0); return Then::Hang; }},
    {"wrong nonce", 10, [](Rig& rig) { rig.token().corrupt_next_nonce(); return Then::Unchanged; }},
    {"foreign INIT answer", 8, [](Rig& rig) { rig.token().send_foreign_init_answer_before_next(); return Then::Unchanged; }},
    {"foreign MSG answer", 8, [](Rig& rig) { rig.token().send_foreign_answer_before_next(); return Then::Code; }},
    {"stale reports", 6, [](Rig& rig) { rig.token().queue_stale_reports(rig.pick(1, 8)); return Then::Code; }},
    {"status word", 16,
     [](Rig& rig) {
         // Refusals, 61 xx, and words no row knows (then the data, none, is no code) change nothing.
         static const std::uint8_t words[][2] = {{0x69, 0x84}, {0x6A, 0x84}, {0x69, 0x82}, {0x6A, 0x80}, {0x65, 0x81},
                                                 {0x67, 0x00}, {0x69, 0x85}, {0x6D, 0x00}, {0x61, 0x1F}, {0x90, 0x00},
                                                 {0x6F, 0x00}, {0x63, 0xC1}, {0x6A, 0x82}};
         const auto* word = words[rig.pick(0, static_cast<int>(std::size(words)) - 1)];
         rig.token().answer_next_command_with(word[0], word[1]);
         return word[0] == 0x69 && word[1] == 0x84 ? Then::Press : Then::Unchanged;
     }},
    {"lying length", 16,
     [](Rig& rig) {
         // The host takes the status word from the two bytes the length ends on.
         const int length = rig.pick(0, 57);
         const Bytes answer = calculate_answer(rig);
         rig.token().lie_next_length(static_cast<std::uint8_t>(length));
         if (length < 2)
             return Then::Access;
         if (length == 9)
             return Then::Code;
         const bool press = answer[length - 2] == 0x69 && answer[length - 1] == 0x84;
         return press ? Then::Press : Then::Unchanged;
     }},
    {"length beyond the report", 1,
     [](Rig& rig) { rig.token().lie_next_length(static_cast<std::uint8_t>(rig.pick(58, 255))); return Then::Access; }},
    {"padded answer", 6,
     [](Rig& rig) { rig.token().pad_next_answer(static_cast<std::size_t>(rig.pick(1, 120))); return Then::Unchanged; }},
    {"cut header", 4,
     [](Rig& rig) { rig.token().shorten_next_report(static_cast<std::size_t>(rig.pick(1, 6))); return Then::Access; }},
    {"cut padding", 4,
     [](Rig& rig) { rig.token().shorten_next_report(static_cast<std::size_t>(rig.pick(24, 64))); return Then::Code; }},
    {"cut INIT answer", 1,
     [](Rig& rig) {
         // Cut before the end of nonce and channel, the rest is waited for until the limit.
         const int length = rig.pick(7, 23);
         rig.token().shorten_next_report(static_cast<std::size_t>(length));
         return length >= 7 + 12 ? Then::Code : Then::Access;
     }},
    {"missing continuation", 1,
     [](Rig& rig) { rig.token().pad_next_answer(100); rig.token().drop_next_continuation(); return Then::Access; }},
    {"slow continuation", 4,
     [](Rig& rig) {
         rig.token().pad_next_answer(100);
         rig.token().delay_next_continuation(sim::Milliseconds(rig.pick(10, 400)));
         return Then::Unchanged;
     }},
    {"refused SELECT", 6, [](Rig& rig) { rig.token().set_refuse_select(true); return Then::Unchanged; }},
    {"press refusals", 8,
     [](Rig& rig) {
         rig.token().set_press_mode(true);
         rig.token().set_press_wait(sim::Milliseconds(rig.pick(5, 30)));
         return Then::Press;
     }},
    {"press in time", 8,
     [](Rig& rig) {
         rig.token().set_press_mode(true);
         rig.token().set_keepalive_during_press(rig.pick(0, 1) == 1);
         rig.token().set_auto_press(sim::Milliseconds(rig.pick(0, 150)));
         return Then::Code;
     }},
    {"answer delay", 6,
     [](Rig& rig) { rig.token().set_answer_delay(sim::Milliseconds(rig.pick(1, 30))); return Then::Late; }},
    {"rescan, late probe answer", 6,
     [](Rig& rig) {
         // A notification for some other device: the token still answers; the error comes later.
         rig.token().answer_next_probe_late(sim::Milliseconds(rig.pick(1, 50)));
         rig.rescan();
         std::this_thread::sleep_for(60ms);
         return Then::Code;
     }},
};

// Switches that stay until turned off: after the fault's effect is seen, the token is itself again.
void calm(sim::SimToken& token)
{
    token.set_silent(false);
    token.set_refuse_select(false);
    token.set_press_mode(false);
    token.set_press_wait(sim::Milliseconds(3000));
    token.set_auto_press(std::nullopt);
    token.set_keepalive_during_press(false);
    token.set_answer_delay(0ms);
}

void run_window(Rig& rig, const Fault& fault)
{
    rig.read_serial();
    const Rig::Shown before = rig.shown();
    const Then then = fault.arm(rig);
    if (then == Then::Hang) {
        rig.start_tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(rig.pick(20, 100)));
        rig.expect(rig.model().is_worker_running(), "the worker still waits for the answer");
        rig.tick_expecting_nothing();
        rig.expect_unchanged(before);
        rig.unplug();
        rig.wait_for_worker();
    } else if (then == Then::Late) {
        rig.start_tick();
        rig.tick_expecting_nothing();
    } else if (then != Then::Code) {
        rig.tick_and_wait();
    }
    if (then == Then::Unchanged)
        rig.expect_unchanged(before);
    if (then == Then::Press)
        rig.expect_error(kPressText);
    if (then == Then::Access || then == Then::Replug || then == Then::Hang)
        rig.expect_error(kOtpAccessText);
    if (then != Then::Code && then != Then::Late)
        calm(rig.token());
    if (then == Then::Replug || then == Then::Hang) {
        rig.tick_and_wait();
        rig.expect_error(kOtpAccessText);
        rig.replug_and_rescan();
    }
    rig.deliver(then == Then::Late);
    calm(rig.token());
}

long resident_kb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Least-squares slope of the samples (window, kB), so that one spike does not decide it.
double growth_per_1000(const std::vector<std::pair<double, double>>& samples)
{
    double mean_x = 0, mean_y = 0, covariance = 0, variance = 0;
    for (const auto& [x, y] : samples) {
        mean_x += x / static_cast<double>(samples.size());
        mean_y += y / static_cast<double>(samples.size());
    }
    for (const auto& [x, y] : samples) {
        covariance += (x - mean_x) * (y - mean_y);
        variance += (x - mean_x) * (x - mean_x);
    }
    return variance > 0 ? covariance / variance * 1000.0 : 0.0;
}

struct Options {
    int windows = 300;
    std::uint32_t seed = static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    std::optional<double> max_growth_kb;
};

std::optional<Options> parse(const QStringList& arguments)
{
    Options options;
    for (int i = 1; i < arguments.size(); i += 2) {
        bool ok = false;
        const QString value = i + 1 < arguments.size() ? arguments[i + 1] : QString();
        if (arguments[i] == "--windows")
            options.windows = value.toInt(&ok);
        else if (arguments[i] == "--seed")
            options.seed = value.toUInt(&ok);
        else if (arguments[i] == "--max-growth")
            options.max_growth_kb = value.toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    return options.windows > 0 ? std::optional<Options>(options) : std::nullopt;
}

int run(QGuiApplication& app, const Options& options)
{
    std::mt19937 engine(options.seed);
    Bytes secret;
    for (int i = 0; i < 20; ++i)
        secret.push_back(static_cast<std::uint8_t>(engine() & 0xFF));
    const int digits = engine() % 2 == 0 ? 6 : 8;
    const std::int64_t first = 30 * std::uniform_int_distribution<std::int64_t>(50000000, 60000000)(engine);
    std::printf("soak: seed %u, %d windows from %lld, %d digits\n", options.seed, options.windows,
                static_cast<long long>(first), digits);
    std::fflush(stdout);

    // -w adds that many windows after the first.
    std::istringstream listed(oathtool("--totp -d " + std::to_string(digits) + " -w " +
                                       std::to_string(options.windows - 1) + " -N @" + std::to_string(first) + " " +
                                       hex(secret)));
    std::vector<int> codes;
    for (int code = 0; listed >> code;)
        codes.push_back(code);
    if (codes.size() != static_cast<std::size_t>(options.windows)) {
        std::fprintf(stderr, "soak: cannot get the codes from oathtool\n");
        return 2;
    }

    // Every fault once, in a seeded order, then drawn by weight.
    std::vector<std::size_t> order(std::size(kFaults));
    std::vector<int> weights;
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
        weights.push_back(kFaults[i].weight);
    }
    std::shuffle(order.begin(), order.end(), engine);
    std::discrete_distribution<std::size_t> by_weight(weights.begin(), weights.end());
    std::vector<int> injected(order.size(), 0);

    // A call that blocks the main thread for good cannot report itself: this thread does.
    std::atomic<int> window{-1};
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        auto last = std::chrono::steady_clock::now();
        for (int seen = -1; !done.load(); std::this_thread::sleep_for(100ms)) {
            if (window.load() != seen) {
                seen = window.load();
                last = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - last > 120s) {
                std::fprintf(stderr, "soak: HANG in window %d (seed %u)\n", seen, options.seed);
                std::_Exit(3);
            }
        }
    });

    std::vector<std::pair<double, double>> samples;
    const int warm_up = std::max(1, options.windows / 5);
    const auto started = std::chrono::steady_clock::now();
    int failed = 0;
    {
        Rig rig(app, secret, digits, engine());
        const char* fault_name = "start-up";
        try {
            for (int w = 0; w < options.windows; ++w) {
                window.store(w);
                const std::size_t index = static_cast<std::size_t>(w) < order.size() ? order[w] : by_weight(engine);
                fault_name = kFaults[index].name;
                rig.begin_window(first + 30LL * w, codes[static_cast<std::size_t>(w)]);
                rig.token().forget_received();
                run_window(rig, kFaults[index]);
                ++injected[index];
                rig.end_window();
                if (w >= warm_up)
                    samples.emplace_back(w, resident_kb());
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "soak: FAILED in window %d (seed %u, fault \"%s\"): %s\n", window.load(), options.seed,
                         fault_name, e.what());
            std::fprintf(stderr, "soak: rerun with: soak --windows %d --seed %u\n", options.windows, options.seed);
            failed = 1;
        }
    }
    done.store(true);
    watchdog.join();
    if (failed)
        return 1;

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("soak: %d windows in %.1f s, every one ended as it must\n", options.windows, seconds);
    for (std::size_t i = 0; i < order.size(); ++i)
        std::printf("  %-28s %6d\n", kFaults[i].name, injected[i]);
    const double growth = samples.size() < 2 ? 0.0 : growth_per_1000(samples);
    std::printf("soak: resident set %+.1f kB per 1,000 windows after the warm-up (window %d)\n", growth, warm_up);
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
    // Every record is still built and dispatched, as in the program, but written nowhere.
    el::Configurations quiet;
    quiet.setToDefault();
    quiet.setGlobally(el::ConfigurationType::ToStandardOutput, "false");
    quiet.setGlobally(el::ConfigurationType::ToFile, "false");
    el::Loggers::reconfigureLogger("default", quiet);
    return run(app, *options);
}
