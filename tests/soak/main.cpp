// The soak: the real controller and model over the simulated token, window after window, on
// a clock that moves 30 s per window, with a seeded fault from the simulator's switches in most
// windows. Every window must show the code oathtool gives for it, or exactly what its fault
// calls for; no crash, no hang, and the resident set stays flat. Returns non-zero on the first
// window that does not.
//
//   soak [--windows N] [--seed S] [--max-growth KB]
//
// --max-growth fails the run when the resident set grows faster than KB per 1,000 windows.

#include "hid_access.h"
#include "main_frame.h"
#include "oathtool.h"
#include "otp.h"
#include "sim_bus.h"

#include <easylogging++.h>

#include <QGuiApplication>
#include <QQmlEngine>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kPressText = "Press the key to get the OTP!";
const std::string kAccessText = "Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!";
const std::string kSerial = "SOAK000001";

void expect(bool condition, const std::string& what)
{
    if (!condition)
        throw std::runtime_error(what);
}

// The real controller and model over a simulated token, driven as the OTP page drives them:
// a tick of the page's timer at the next second of the window, on a clock the run moves.
class Rig {
public:
    Rig(QGuiApplication& app, const Bytes& secret, int digits, std::uint32_t seed)
        : secret(secret), digits(digits), engine(seed)
    {
        token->add_user(
            {Bytes(kSerial.begin(), kSerial.end()), sim::OtpAlgorithm::Totp, sim::OtpHash::Sha1, secret, digits});
        hidaccess::install_raw_device_io(bus);
        token_id = bus->plug(token);
        frame = std::make_unique<MainFrame>(qml.rootContext(), &app);
        QObject::connect(frame.get(), &MainFrame::show_otp_status, [this] { ++models_shown; });
        rescan();
        expect(current != nullptr, "the first rescan finds the token");
    }

    ~Rig() { frame.reset(), hidaccess::install_raw_device_io(nullptr); }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); }

    // The page's tick at the next second of the window. True when it started a worker.
    bool tick()
    {
        second = std::min(second + 1, 27);
        clock->store(start + second);
        const std::uint64_t before = model().workers_started();
        model().response_time_changed();
        return model().workers_started() != before;
    }

    // A worker that has just finished may still hold the lock for an instant: ask again.
    void start_tick()
    {
        for (const auto give_up = Clock::now() + 2s; !tick(); std::this_thread::sleep_for(100us))
            expect(Clock::now() < give_up, "a tick starts a worker");
    }

    // Longer than any fault keeps a worker busy, with room for the sanitizers' slowness.
    void wait()
    {
        for (const auto give_up = Clock::now() + 30s; model().is_worker_running(); std::this_thread::sleep_for(200us))
            expect(Clock::now() < give_up, "hang: the worker did not finish within 30 s");
        QCoreApplication::processEvents();
    }

    // A device notification. A model in use is checked on a worker and replaced by events, so
    // they run here; a new model may take the freed place of the old one, so only the signal
    // tells them apart. Its clock is set before its first tick.
    void rescan()
    {
        const int before = models_shown;
        frame->rescan_key();
        if (current != nullptr)
            wait();
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        if (models_shown == before || (current = frame->current_otp_status()) == nullptr)
            return;
        current->set_clock([clock = clock] { return clock->load() * 1000; });
        // The rig makes every rescan itself; the one a lost token causes is test_main_frame's.
        QObject::disconnect(current, &OtpStatus::key_lost, frame.get(), nullptr);
    }

    void unplug() { bus->unplug(token_id); }

    // Outside a tick: a fresh model's first tick reads the window's code as well.
    void read_serial()
    {
        if (model().serial_num().isEmpty()) {
            const std::uint64_t before = model().workers_started();
            for (const auto give_up = Clock::now() + 2s; model().workers_started() == before;
                 std::this_thread::sleep_for(100us)) {
                expect(Clock::now() < give_up, "the information read starts");
                model().async_query_token_info();
            }
            wait();
        }
        expect(model().serial_num().toStdString() == kSerial, "the serial number is read, got " + shown());
    }

    std::string shown() const
    {
        return std::to_string(model().otp()) + " \"" + model().err_msg().toStdString() + "\" " +
               model().serial_num().toStdString();
    }

    OtpStatus& model() const
    {
        return current != nullptr ? *current : throw std::runtime_error("no token model is published");
    }

    const Bytes secret;
    const int digits;
    const std::shared_ptr<sim::SimToken> token = std::make_shared<sim::SimToken>();
    const std::shared_ptr<std::atomic<std::int64_t>> clock = std::make_shared<std::atomic<std::int64_t>>(0);
    const std::shared_ptr<sim::SimBus> bus = std::make_shared<sim::SimBus>();
    int token_id = 0;
    int models_shown = 0;
    std::int64_t start = 0;
    int second = 0;

private:
    std::mt19937 engine;
    QQmlEngine qml;
    std::unique_ptr<MainFrame> frame;
    OtpStatus* current = nullptr;
};

// What the user must see right after the fault, before the window's code comes back.
enum class Then {
    Code,       // nothing: the code
    Unchanged,  // the read fails and leaves what is shown as it was
    Press,      // the press text
    Access,     // the access text; the token still works
    Replug,     // the access text at every tick until the token is plugged back in
    Hang,       // the first read waits without limit until the token is pulled out; then as Replug
};

struct Fault {
    const char* name;
    int weight;  // how often it is drawn, against the others
    Then (*arm)(Rig& rig);
};

const Fault kFaults[] = {
    {"none", 40, [](Rig&) { return Then::Code; }},
    {"unplug", 10, [](Rig& rig) { rig.unplug(); return Then::Replug; }},
    {"silence", 6, [](Rig& rig) { rig.token->set_silent(true); return Then::Hang; }},
    {"wrong nonce", 10, [](Rig& rig) { rig.token->corrupt_next_nonce(); return Then::Unchanged; }},
    {"foreign INIT answer", 8,
     [](Rig& rig) { rig.token->send_foreign_init_answer_before_next(); return Then::Unchanged; }},
    {"stale reports", 6, [](Rig& rig) { rig.token->queue_stale_reports(rig.pick(1, 8)); return Then::Code; }},
    {"foreign MSG answer", 8, [](Rig& rig) { rig.token->send_foreign_answer_before_next(); return Then::Code; }},
    {"status word", 16,
     [](Rig& rig) {
         // Refusals, 61 xx, and words no row knows (then the data, none, is no code) change nothing.
         static const std::uint16_t words[] = {0x6984, 0x6A84, 0x6982, 0x6A80, 0x6581, 0x6700, 0x6985,
                                               0x6D00, 0x611F, 0x9000, 0x6F00, 0x63C1, 0x6A82};
         const std::uint16_t word = words[rig.pick(0, static_cast<int>(std::size(words)) - 1)];
         rig.token->answer_next_command_with(static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word));
         return word == 0x6984 ? Then::Press : Then::Unchanged;
     }},
    {"lying length", 16,
     [](Rig& rig) {
         // The status word is taken from the two bytes the length ends on: 00 00 or xx 90 past
         // the value, 90 00 at the true length of 9.
         static const int lengths[] = {0, 1, 2, 8, 9, 10, 11, 30, 57};
         const int length = lengths[rig.pick(0, static_cast<int>(std::size(lengths)) - 1)];
         rig.token->lie_next_length(static_cast<std::uint8_t>(length));
         return length < 2 ? Then::Access : length == 9 ? Then::Code : Then::Unchanged;
     }},
    {"padded answer", 6,
     [](Rig& rig) { rig.token->pad_next_answer(static_cast<std::size_t>(rig.pick(1, 120))); return Then::Unchanged; }},
    {"cut header", 4,
     [](Rig& rig) { rig.token->shorten_next_report(static_cast<std::size_t>(rig.pick(1, 6))); return Then::Access; }},
    // Waits out the two-second limit, so it is drawn rarely.
    {"missing continuation", 1,
     [](Rig& rig) { rig.token->pad_next_answer(100), rig.token->drop_next_continuation(); return Then::Access; }},
    {"slow continuation", 4,
     [](Rig& rig) {
         rig.token->pad_next_answer(100);
         rig.token->delay_next_continuation(sim::Milliseconds(rig.pick(10, 400)));
         return Then::Unchanged;
     }},
    {"refused SELECT", 6, [](Rig& rig) { rig.token->set_refuse_select(true); return Then::Unchanged; }},
    {"press refusals", 8,
     [](Rig& rig) {
         rig.token->set_press_mode(true);
         rig.token->set_press_wait(sim::Milliseconds(rig.pick(5, 30)));
         return Then::Press;
     }},
    {"press in time", 8,
     [](Rig& rig) {
         rig.token->set_press_mode(true);
         rig.token->set_keepalive_during_press(rig.pick(0, 1) == 1);
         rig.token->set_auto_press(sim::Milliseconds(rig.pick(0, 150)));
         return Then::Code;
     }},
    {"rescan, late probe answer", 6,
     [](Rig& rig) {
         // A notification for some other device: the token still answers; the error comes later.
         rig.token->answer_next_probe_late(sim::Milliseconds(rig.pick(1, 50)));
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
}

void run_window(Rig& rig, const Fault& fault, int code)
{
    rig.read_serial();
    const std::string before = rig.shown();
    const Then then = fault.arm(rig);
    if (then == Then::Hang) {
        rig.start_tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(rig.pick(20, 100)));
        expect(rig.model().is_worker_running(), "the worker still waits for the answer");
        expect(!rig.tick() && rig.shown() == before, "a tick meanwhile starts nothing and changes nothing");
        rig.unplug();
        rig.wait();
    } else if (then != Then::Code) {
        rig.start_tick();
        rig.wait();
    }
    const std::string error = then == Then::Press ? kPressText : then >= Then::Access ? kAccessText : "";
    expect(then != Then::Unchanged || rig.shown() == before, "nothing changes, got " + rig.shown() + ", was " + before);
    expect(error.empty() || rig.shown().rfind("0 \"" + error + "\"", 0) == 0,
           "error \"" + error + "\" is shown, got " + rig.shown());
    if (then != Then::Code)
        calm(*rig.token);
    if (then == Then::Replug || then == Then::Hang) {
        rig.start_tick();
        rig.wait();
        expect(rig.shown().rfind("0 \"" + kAccessText + "\"", 0) == 0, "the access error stays, got " + rig.shown());
        const int before_replug = rig.models_shown;
        rig.bus->replug(rig.token_id);
        rig.rescan();
        expect(rig.models_shown == before_replug + 1 && rig.model().serial_num().isEmpty(),
               "a rescan after a replug publishes a model that reads the serial number again");
    }
    rig.read_serial();
    rig.start_tick();
    rig.wait();
    expect(rig.model().otp() == code && rig.model().digits() == rig.digits,
           "the window's code " + std::to_string(code) + " is shown, got " + rig.shown());
    expect(!rig.tick(), "a tick after the code starts no worker");
    calm(*rig.token);
}

long resident_kb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int windows = 300;
    auto seed = static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    double max_growth = 1e12;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); i += 2) {
        bool ok = false;
        const QString value = i + 1 < arguments.size() ? arguments[i + 1] : QString();
        if (arguments[i] == "--windows")
            windows = value.toInt(&ok);
        else if (arguments[i] == "--seed")
            seed = value.toUInt(&ok);
        else if (arguments[i] == "--max-growth")
            max_growth = value.toDouble(&ok);
        if (!ok || windows < 1) {
            std::fprintf(stderr, "usage: soak [--windows N] [--seed S] [--max-growth KB]\n");
            return 2;
        }
    }
    // Every record is still built and dispatched, as in the program, but written nowhere.
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToStandardOutput, "false");
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToFile, "false");

    std::mt19937 engine(seed);
    Bytes secret;
    for (int i = 0; i < 20; ++i)
        secret.push_back(static_cast<std::uint8_t>(engine() & 0xFF));
    const int digits = engine() % 2 == 0 ? 6 : 8;
    const std::int64_t first = 30 * std::uniform_int_distribution<std::int64_t>(50000000, 60000000)(engine);
    std::printf("soak: seed %u, %d windows from %lld, %d digits\n", seed, windows, static_cast<long long>(first),
                digits);
    std::fflush(stdout);
    // -w adds that many windows after the first.
    std::istringstream listed(oathtool("--totp -d " + std::to_string(digits) + " -w " + std::to_string(windows - 1) +
                                       " -N @" + std::to_string(first) + " " + hex(secret)));
    const std::vector<int> codes{std::istream_iterator<int>(listed), std::istream_iterator<int>()};
    if (codes.size() != static_cast<std::size_t>(windows)) {
        std::fprintf(stderr, "soak: cannot get the codes from oathtool\n");
        return 2;
    }

    // Every fault once, in a seeded order, then drawn by weight.
    std::vector<std::size_t> order(std::size(kFaults));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), engine);
    std::vector<int> weights;
    for (const Fault& fault : kFaults)
        weights.push_back(fault.weight);
    std::discrete_distribution<std::size_t> by_weight(weights.begin(), weights.end());

    // A call that blocks the main thread for good cannot report itself: this thread does.
    static std::atomic<int> window{-1};
    std::thread([seed] {
        for (int seen = -2, still = 0; still < 1200; std::this_thread::sleep_for(100ms))
            still = window.load() == seen ? still + 1 : (seen = window.load(), 0);
        std::fprintf(stderr, "soak: HANG in window %d (seed %u)\n", window.load(), seed);
        std::_Exit(3);
    }).detach();

    // The resident set's growth per 1,000 windows after the warm-up: the least-squares slope,
    // so that one spike does not decide it.
    const int warm_up = std::max(1, windows / 5);
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    Rig rig(app, secret, digits, engine());
    for (int w = 0; w < windows; ++w) {
        window.store(w);
        const Fault& fault = kFaults[static_cast<std::size_t>(w) < order.size() ? order[w] : by_weight(engine)];
        try {
            rig.start = first + 30LL * w;
            rig.second = 0;
            rig.token->forget_received();
            run_window(rig, fault, codes[static_cast<std::size_t>(w)]);
            // The last tick of the window: with fewer than two seconds left the code goes, and no
            // read starts for a code that could not be shown.
            rig.clock->store(rig.start + 29);
            const std::uint64_t reads = rig.model().workers_started();
            rig.model().response_time_changed();
            expect(!rig.model().code_shown() && rig.model().workers_started() == reads,
                   "the code goes in the window's last seconds, got " + rig.shown());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "soak: FAILED in window %d (seed %u, fault \"%s\"): %s\n", w, seed, fault.name,
                         e.what());
            std::fprintf(stderr, "soak: rerun with: soak --windows %d --seed %u\n", windows, seed);
            std::_Exit(1);
        }
        if (w >= warm_up) {
            const double kb = static_cast<double>(resident_kb());
            n += 1, sx += w, sy += kb, sxx += 1.0 * w * w, sxy += w * kb;
        }
    }
    const double growth = n > 1 ? (n * sxy - sx * sy) / (n * sxx - sx * sx) * 1000.0 : 0.0;
    std::printf("soak: %d windows, every one ended as it must; resident set %+.1f kB per 1,000 windows\n", windows,
                growth);
    if (growth > max_growth) {
        std::fprintf(stderr, "soak: FAILED: the resident set grows over %.1f kB per 1,000 windows (seed %u)\n",
                     max_growth, seed);
        return 1;
    }
    return 0;
}
