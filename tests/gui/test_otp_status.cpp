#include "gui_test_support.h"
#include "key_exception.h"
#include "log_capture.h"
#include "otp_status.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A window start (1700000010 = 30 x 56666667); the clock starts 20 s into it.
constexpr std::int64_t kWindowStart = 1700000010;

const QString kPressText = "Press the key to get the OTP!";
const QString kSerialAccessText = "Failed to access the key.\nRe-plug in the key!";
const QString kOtpAccessText = "Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!";

int count_of(const LogCapture& log, const std::string& message)
{
    const std::vector<std::string> messages = log.messages();
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}

// Fixed answers for what the simulated token cannot be made to say.
class ScriptedKey : public UsbKey {
public:
    ScriptedKey() : UsbKey(nullptr) {}
    void send_command(const std::uint8_t*, std::uint32_t, Bytes&) override {}
    bool is_connected() override { return true; }
    void op_get_active(Bytes& serial) override { serial = ascii("ABC123"); }
    void op_get_user_info(std::vector<User>& found) override { found = user_records; }
    std::uint32_t op_get_otp(const Bytes&, std::int32_t& digits, std::optional<std::int64_t>) override
    {
        digits = 10;
        return code;
    }

    std::vector<User> user_records;
    std::uint32_t code = 0;
};

}  // namespace

class OtpStatusTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimulatedBus> sim;
    std::unique_ptr<OtpStatus> status;
    std::shared_ptr<std::atomic<std::int64_t>> now;
    LogCapture log;

    void make_status(std::shared_ptr<UsbKey> key)
    {
        status = std::make_unique<OtpStatus>(key);
        now = std::make_shared<std::atomic<std::int64_t>>(kWindowStart + 20);
        status->set_clock([now = now] { return now->load(); });
    }

    // A fresh model whose serial number has been read, so the next tick asks for a code.
    void make_status_with_serial()
    {
        make_status(sim->first_key());
        status->response_time_changed();
        QTRY_COMPARE(status->serial_num(), QString("ABC123"));
    }

    // Ticks once and waits for the worker it started to log its start and finish.
    void tick_and_wait_for(const std::string& message)
    {
        const int before = count_of(log, message);
        status->response_time_changed();
        QTRY_VERIFY(count_of(log, message) > before);
    }

private slots:
    void init()
    {
        sim = std::make_unique<SimulatedBus>();
        log.clear();
    }

    void cleanup()
    {
        status.reset();
        sim.reset();
    }

    void ticks_read_the_serial_first_then_one_code_per_window()
    {
        make_status(sim->first_key());
        QCOMPARE(status->response_time_changed(), static_cast<int>(kWindowStart));
        QTRY_COMPARE(status->serial_num(), QString("ABC123"));
        QCOMPARE(status->otp(), 0);

        // Workers emit on their own thread; count on this one, as the window would see them.
        QObject receiver;
        int otp_signals = 0;
        connect(status.get(), &OtpStatus::otp_changed, &receiver, [&] { ++otp_signals; }, Qt::QueuedConnection);
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), oathtool_code(*now));
        QCOMPARE(status->digits(), 6);
        QTRY_COMPARE(otp_signals, 1);

        // Delivered: the rest of the window's ticks start nothing.
        const std::size_t commands = sim->token->received_commands().size();
        status->response_time_changed();
        status->response_time_changed();
        QTest::qWait(200);
        QCOMPARE(sim->token->received_commands().size(), commands);
        QCOMPARE(count_of(log, "New thread started."), 2);

        // The next window starts the next read; ticks while it runs start nothing more.
        sim->token->set_answer_delay(300ms);
        *now += 30;
        status->response_time_changed();
        status->response_time_changed();
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), oathtool_code(*now));
        QCOMPARE(count_of(log, "New thread started."), 3);
        QVERIFY(log.contains("value is " + std::to_string(status->otp())));
    }

    void press_mode_token_is_asked_every_tick_until_pressed()
    {
        make_status_with_serial();
        sim->token->set_press_mode(true);
        sim->token->set_press_wait(100ms);

        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kPressText);
        QCOMPARE(status->otp(), 0);
        const int threads = count_of(log, "New thread started.");
        status->response_time_changed();
        QTRY_COMPARE(count_of(log, "New thread started."), threads + 1);

        // Pressed in the window's last second: the code is still that window's.
        QTRY_VERIFY(status->is_key_connected());
        *now = kWindowStart + 29;
        sim->token->press_button();
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), oathtool_code(kWindowStart));
        QCOMPARE(status->err_msg(), kPressText);  // kept, shown only while otp is 0
    }

    void unplugging_shows_the_access_texts_and_other_errors_change_nothing()
    {
        make_status(sim->first_key());
        sim->bus->unplug(sim->token_id);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kSerialAccessText);
        QVERIFY(log.contains("Get serial number error"));
        status.reset();

        sim->bus->replug(sim->token_id);
        make_status_with_serial();
        status->response_time_changed();
        QTRY_VERIFY(status->otp() != 0);

        // A refusal that is neither "press" nor "access" adds no text; the last window's code
        // went when this one began.
        sim->token->answer_next_command_with(0x6A, 0x80);
        *now += 30;
        tick_and_wait_for("Update otp runtime error");
        QCOMPARE(status->otp(), 0);
        QCOMPARE(status->err_msg(), QString());

        sim->bus->unplug(sim->token_id);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kOtpAccessText);
        QCOMPARE(status->otp(), 0);
        QVERIFY(log.contains("Update otp key access error"));
    }

    void token_info_names_the_active_users_algorithm_and_hash()
    {
        make_status(sim->first_key());
        QObject receiver;
        int info_signals = 0;
        connect(status.get(), &OtpStatus::token_info_changed, &receiver, [&] { ++info_signals; });
        QVERIFY(status->query_token_info());
        QCOMPARE(status->token_info(), QString("Serial Number: ABC123\nAlgorithm: TOTP\nHash: SHA-1\n"));
        QCOMPARE(status->serial_num(), QString("ABC123"));
        QCOMPARE(info_signals, 1);
        QVERIFY(status->query_token_info());
        QCOMPARE(info_signals, 2);  // emitted even when the text did not change

        auto key = std::make_shared<ScriptedKey>();
        key->user_records = {{ascii("OTHER"), 2, 1}, {ascii("ABC123"), 3, 7}};
        make_status(key);
        QVERIFY(status->query_token_info());
        QCOMPARE(status->token_info(), QString("Serial Number: ABC123\nAlgorithm: \nHash: \n"));

        key->user_records = {{ascii("ABC12"), 2, 1}, {ascii("ABC1234"), 2, 1}};
        make_status(key);
        QVERIFY(!status->query_token_info());
        QCOMPARE(status->token_info(), QString());
        QVERIFY(log.contains("Failed to find the user"));
    }

    void async_token_info_is_true_while_busy_and_arrives_later()
    {
        make_status(sim->first_key());
        sim->token->set_answer_delay(300ms);
        status->response_time_changed();
        QTRY_COMPARE(count_of(log, "New thread started."), 1);
        QVERIFY(status->async_query_token_info());  // busy: starts nothing
        status->response_time_changed();           // nor does a tick
        QTRY_COMPARE(status->serial_num(), QString("ABC123"));
        QCOMPARE(status->token_info(), QString());
        QCOMPARE(count_of(log, "New thread started."), 1);

        QVERIFY(status->async_query_token_info());
        QTRY_COMPARE_WITH_TIMEOUT(status->token_info(),
                                  QString("Serial Number: ABC123\nAlgorithm: TOTP\nHash: SHA-1\n"), 5000);
    }

    void press_mode_switch_waits_for_a_running_worker()
    {
        make_status(sim->first_key());
        QVERIFY(status->set_press_mode(true));
        QVERIFY(sim->token->press_mode());
        QVERIFY(status->set_press_mode(false));
        QVERIFY(!sim->token->press_mode());

        sim->token->set_answer_delay(400ms);
        status->response_time_changed();
        QTRY_COMPARE(count_of(log, "New thread started."), 1);
        QVERIFY(status->set_press_mode(true));
        // The worker's whole exchange came first.
        QCOMPARE(status->serial_num(), QString("ABC123"));
        QVERIFY(sim->token->press_mode());

        sim->bus->unplug(sim->token_id);
        QVERIFY(!status->set_press_mode(false));
        QVERIFY(log.contains("Failed to set press mode."));
    }

    void code_too_big_for_the_property_is_an_access_error_not_a_negative_number()
    {
        auto key = std::make_shared<ScriptedKey>();
        key->code = 0x80000000u;
        make_status(key);
        status->response_time_changed();
        QTRY_COMPARE(status->serial_num(), QString("ABC123"));
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kOtpAccessText);
        QCOMPARE(status->otp(), 0);

        key->code = 2147483647u;
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), 2147483647);
        QCOMPARE(status->digits(), 10);
    }

    void expired_write_and_a_new_window_take_the_old_code_off_at_once()
    {
        make_status_with_serial();
        QObject receiver;  // its end takes queued calls into this frame with it
        int otp_signals = 0;
        connect(status.get(), &OtpStatus::otp_changed, &receiver, [&] { ++otp_signals; }, Qt::QueuedConnection);
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), oathtool_code(*now));
        QTRY_COMPARE(otp_signals, 1);

        // The page's write of 0 shortly before the window ends notifies, once.
        status->set_otp(0);
        status->set_otp(0);
        QCOMPARE(status->otp(), 0);
        QTRY_COMPARE(otp_signals, 2);

        // The next window's code: the one shown before it goes before the token is asked.
        *now -= 30;
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), oathtool_code(*now));
        sim->token->set_answer_delay(300ms);
        *now += 30;
        status->response_time_changed();
        QCOMPARE(status->otp(), 0);
        QTRY_COMPARE(status->otp(), oathtool_code(*now));
        QTRY_COMPARE(otp_signals, 5);
    }

    void a_read_awaited_over_a_second_prompts_for_the_press_and_a_quick_one_never_does()
    {
        make_status_with_serial();
        QElapsedTimer waited;
        std::vector<std::pair<QString, qint64>> texts;  // err_msg as the page would see it, and when
        QObject receiver;
        connect(status.get(), &OtpStatus::err_msg_changed, &receiver,
                [&] { texts.emplace_back(status->err_msg(), waited.elapsed()); }, Qt::QueuedConnection);

        // Quick answer: no prompt, not even later.
        waited.start();
        status->response_time_changed();
        QTRY_VERIFY(status->otp() != 0);
        QTest::qWait(1300);
        QVERIFY(texts.empty());

        // Waits 2 s for its button: the prompt after about a second, then the code.
        sim->token->set_press_mode(true);
        sim->token->set_press_wait(5s);
        sim->token->set_auto_press(2000ms);
        *now += 30;
        waited.start();
        status->response_time_changed();
        QTRY_COMPARE(texts.size(), std::size_t{1});
        QCOMPARE(texts[0].first, kPressText);
        QVERIFY2(texts[0].second >= 900 && texts[0].second < 1500, qPrintable(QString::number(texts[0].second)));
        QCOMPARE(status->otp(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(status->otp(), oathtool_code(*now), 5000);
        QVERIFY(waited.elapsed() >= 1900);

        // Expired: the prompt behind the code is no news for the next window.
        status->set_otp(0);
        QCOMPARE(status->err_msg(), QString());

        // A read that ends in an error shows that error, not the prompt.
        sim->token->set_auto_press(std::nullopt);
        *now += 30;
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kPressText);
        sim->bus->unplug(sim->token_id);
        QTRY_COMPARE(status->err_msg(), kOtpAccessText);
        QCOMPARE(status->otp(), 0);
    }

    void press_mode_switch_runs_on_a_worker_and_reports_the_answer()
    {
        struct Case {
            const char* token;
            std::function<void(sim::SimToken&)> setup;
            bool behind_a_read;
            bool ok;
        };
        const std::vector<Case> cases = {
            {"answers slowly", [](sim::SimToken& token) { token.set_answer_delay(400ms); }, true, true},
            {"refuses with an unknown word", [](sim::SimToken& token) { token.answer_next_command_with(0x63, 0xC1); },
             false, false},
            {"is silent", [](sim::SimToken& token) { token.set_silent(true); }, false, false},
        };
        for (const Case& c : cases) {
            make_status(sim->first_key());
            sim->token->set_press_mode(false);
            QTimer frame_clock;
            int frames = 0;
            connect(&frame_clock, &QTimer::timeout, &frame_clock, [&] { ++frames; });
            frame_clock.start(50);
            QSignalSpy finished(status.get(), &OtpStatus::press_mode_finished);
            QSignalSpy pending(status.get(), &OtpStatus::press_mode_pending_changed);

            // A read that holds the token first is waited for on the switch's worker.
            c.setup(*sim->token);
            if (c.behind_a_read) {
                const std::size_t reports = sim->token->received_reports().size();
                status->response_time_changed();
                QTRY_VERIFY(sim->token->received_reports().size() > reports);
            }
            QElapsedTimer call;
            call.start();
            status->request_press_mode(true);
            QVERIFY2(call.elapsed() < 100, c.token);
            QVERIFY2(status->press_mode_pending(), c.token);
            QCOMPARE(pending.count(), 1);

            if (std::string(c.token) == "is silent") {
                QTest::qWait(600);
                QVERIFY2(frames >= 8, c.token);
                call.restart();
                QObject* model = status.get();
                status.reset();
                QVERIFY2(call.elapsed() < 1000, c.token);
                QTest::qWait(100);
                QCOMPARE(finished.count(), 0);
                QVERIFY(model != nullptr);
                sim->token->set_silent(false);
                continue;
            }
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
            QCOMPARE(finished.at(0).at(0).toBool(), true);
            QVERIFY2(finished.at(0).at(1).toBool() == c.ok, c.token);
            QVERIFY2(sim->token->press_mode() == c.ok, c.token);
            QVERIFY(!status->press_mode_pending());
            QCOMPARE(pending.count(), 2);
            if (c.ok)
                QVERIFY2(frames >= 20, c.token);  // the GUI thread ran throughout the wait
            sim->token->set_answer_delay(0ms);
        }
        const std::vector<std::string> messages = log.messages();
        QVERIFY(std::any_of(messages.begin(), messages.end(), [](const std::string& m) {
            return m.rfind("Key Exception (resp_code exception: Unknown status word 63 c1)", 0) == 0;
        }));
    }

    void dropping_a_model_that_waits_on_a_silent_token_returns_at_once()
    {
        make_status_with_serial();
        sim->token->set_silent(true);
        const std::size_t reports = sim->token->received_reports().size();
        status->response_time_changed();
        QTRY_VERIFY(sim->token->received_reports().size() > reports);  // the worker now waits
        QElapsedTimer timer;
        timer.start();
        status.reset();
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(sim->bus->open_handle_count(sim->token_id), 0);
    }
};

QTEST_GUILESS_MAIN(OtpStatusTest)
#include "test_otp_status.moc"
