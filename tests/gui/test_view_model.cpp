#include "device_event.h"
#include "enumeration_poller.h"
#include "gui_test_support.h"
#include "hid_interface_path.h"
#include "key_exception.h"
#include "log_capture.h"
#include "main_frame.h"
#include "otp_status.h"

#include <QElapsedTimer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>

using namespace std::chrono_literals;

namespace {

// A window start (1700000010 = 30 x 56666667); the clock starts 20 s into it.
constexpr std::int64_t kWindowStart = 1700000010;

const QString kPressText = "Press the key to get the OTP!";
const QString kSerialAccessText = "Failed to access the key.\nRe-plug in the key!";
const QString kOtpAccessText = "Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!";
const QString kTokenInfo = "Serial Number: ABC123\nAlgorithm: TOTP\nHash: SHA-1\n";

// Fixed answers for what the simulated token cannot be made to say; code 0 is a refusal.
class ScriptedKey : public UsbKey {
public:
    ScriptedKey() : UsbKey(nullptr) {}
    void send_command(const std::uint8_t*, std::uint32_t, Bytes&) override {}
    bool is_connected() override { return true; }
    void op_get_active(Bytes& serial) override { serial = ascii("ABC123"); }
    void op_get_user_info(std::vector<User>& found) override { found = user_records; }
    std::uint32_t op_get_otp(const Bytes&, std::int32_t& digits, std::optional<std::int64_t>) override
    {
        if (code == 0)
            throw KeyException("refused");
        digits = 10;
        return code;
    }
    std::vector<User> user_records;
    std::uint32_t code = 0;
};

}  // namespace

// OtpStatus, MainFrame and DeviceEvent over the real key layer and the simulated token.
class ViewModelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimulatedBus> sim;
    std::unique_ptr<OtpStatus> status;
    std::atomic<std::int64_t> now{0};
    LogCapture log;

    std::unique_ptr<OtpStatus> make_status(std::shared_ptr<UsbKey> key)
    {
        auto model = std::make_unique<OtpStatus>(key);
        model->set_clock([this] { return now.load(); });
        return model;
    }
    int count_of(const std::string& message) const
    {
        const std::vector<std::string> messages = log.messages();
        return static_cast<int>(std::count(messages.begin(), messages.end(), message));
    }
    // Ticks and returns once the token has the request, so the worker now holds it.
    void tick_until_at_token(OtpStatus& model)
    {
        const std::size_t reports = sim->token->received_reports().size();
        model.response_time_changed();
        QTRY_VERIFY(sim->token->received_reports().size() > reports);
    }

private slots:
    void init()
    {
        sim = std::make_unique<SimulatedBus>();
        now = kWindowStart + 20;
        log.clear();
        status = make_status(sim->first_key());
    }
    void cleanup()
    {
        status.reset();
        sim.reset();
    }

    void one_read_per_window_serial_then_code_at_the_first_tick()
    {
        QCOMPARE(status->response_time_changed(), static_cast<int>(kWindowStart));
        QTRY_COMPARE(status->otp(), oathtool_code(now));
        QCOMPARE(status->serial_num(), QString("ABC123"));
        QCOMPARE(status->digits(), 6);
        status->response_time_changed();
        QCOMPARE(status->workers_started(), std::uint64_t{1});
        QCOMPARE(count_of("New thread started."), 1);

        // The next window's read; ticks while it runs start nothing, and its code replaces the
        // old one, which went when the window began.
        sim->token->set_answer_delay(100ms);
        now += 30;
        for (int i = 0; i < 3; ++i)
            status->response_time_changed();
        QCOMPARE(status->otp(), 0);
        QTRY_COMPARE(status->otp(), oathtool_code(now));
        QCOMPARE(count_of("New thread started."), 2);
        QVERIFY(log.contains("value is " + std::to_string(status->otp())));

        // The page's write of 0 as the window ends takes the code off; the next code comes.
        QSignalSpy otp_changes(status.get(), &OtpStatus::otp_changed);
        status->set_otp(0);
        status->set_otp(0);
        QCOMPARE(otp_changes.count(), 1);
    }

    void press_refusals_access_errors_and_other_refusals_show_their_texts()
    {
        sim->token->set_press_mode(true);
        sim->token->set_press_wait(50ms);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kPressText);
        QTRY_VERIFY(!status->is_worker_running());
        status->response_time_changed();  // asked again at every tick until pressed
        QTRY_COMPARE(count_of("New thread started."), 2);
        // Pressed in the window's last second: the code is still that window's.
        QTRY_VERIFY(!status->is_worker_running());
        now = kWindowStart + 29;
        sim->token->press_button();
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), oathtool_code(kWindowStart));

        // Another refusal adds no text.
        sim->token->set_press_mode(false);
        sim->token->answer_next_command_with(0x6A, 0x80);
        now += 30;
        status->response_time_changed();
        QTRY_VERIFY(log.contains("Update otp runtime error"));
        QTRY_VERIFY(!status->is_worker_running());
        QCOMPARE(status->otp(), 0);
        QCOMPARE(status->err_msg(), QString());

        sim->bus->unplug(sim->token_id);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kOtpAccessText);
        QVERIFY(log.contains("Update otp key access error"));
        sim->bus->replug(sim->token_id);
        status = make_status(sim->first_key());
        sim->bus->unplug(sim->token_id);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kSerialAccessText);
        QVERIFY(log.contains("Get serial number error"));
    }

    void token_info_and_codes_too_big_for_the_property()
    {
        QVERIFY(status->async_query_token_info());
        QTRY_COMPARE(status->token_info(), kTokenInfo);

        auto key = std::make_shared<ScriptedKey>();
        key->user_records = {{ascii("ABC12"), 2, 1}, {ascii("ABC1234"), 2, 1}};
        status = make_status(key);
        QVERIFY(!status->query_token_info());
        QVERIFY(log.contains("Failed to find the user"));

        // A real token truncates to 31 bits: more is an access error, not a negative number.
        key->code = 0x80000000u;
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kOtpAccessText);
        QTRY_VERIFY(!status->is_worker_running());
        key->code = 2147483647u;
        now += 30;
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), 2147483647);
    }

    void a_read_awaited_over_a_second_prompts_for_the_press_a_quick_refusal_never()
    {
        // Side by side: a token that refuses at once and one that waits 1.3 s for its button.
        auto refusing = make_status(std::make_shared<ScriptedKey>());
        QVERIFY(status->query_token_info());
        sim->token->set_press_mode(true);
        sim->token->set_press_wait(5s);
        sim->token->set_auto_press(1300ms);
        std::vector<qint64> prompts;
        QElapsedTimer waited;
        connect(status.get(), &OtpStatus::err_msg_changed, refusing.get(), [&] {
            if (status->err_msg() == kPressText)
                prompts.push_back(waited.elapsed());
        }, Qt::QueuedConnection);
        waited.start();
        refusing->response_time_changed();
        status->response_time_changed();
        QTRY_COMPARE(prompts.size(), std::size_t{1});
        QVERIFY2(prompts[0] >= 900 && prompts[0] < 1250, qPrintable(QString::number(prompts[0])));
        QCOMPARE(status->otp(), 0);
        QTRY_COMPARE(status->otp(), oathtool_code(now));
        QCOMPARE(refusing->err_msg(), QString());

        // Expired, the prompt behind the code goes with it; an error ends the next prompt.
        status->set_otp(0);
        QCOMPARE(status->err_msg(), QString());
        sim->token->set_auto_press(std::nullopt);
        now += 30;
        tick_until_at_token(*status);
        sim->bus->unplug(sim->token_id);
        QTRY_COMPARE(status->err_msg(), kOtpAccessText);
    }

    void press_mode_switches_wait_for_a_read_and_report_the_answer()
    {
        QVERIFY(status->set_press_mode(true) && status->set_press_mode(false));
        QVERIFY(!sim->token->press_mode());
        struct Case {
            const char* name;
            bool on;
            std::function<void()> setup;
            bool ok;
        };
        const std::vector<Case> cases = {
            {"behind a slow read", true, [&] { sim->token->set_answer_delay(50ms); tick_until_at_token(*status); }, true},
            {"unknown status word", true, [&] { sim->token->answer_next_command_with(0x63, 0xC1); }, false},
        };
        QSignalSpy finished(status.get(), &OtpStatus::press_mode_finished);
        QSignalSpy pending(status.get(), &OtpStatus::press_mode_pending_changed);
        for (const Case& c : cases) {
            c.setup();
            int frames = 0;
            QTimer frame_clock;
            connect(&frame_clock, &QTimer::timeout, [&] { ++frames; });
            frame_clock.start(10);
            QElapsedTimer call;
            call.start();
            status->request_press_mode(c.on);
            QVERIFY2(call.elapsed() < 50 && status->press_mode_pending(), c.name);
            QTRY_COMPARE(finished.count(), 1);
            QCOMPARE(finished.takeFirst(), (QVariantList{c.on, c.ok}));
            QVERIFY2(sim->token->press_mode(), c.name);
            QCOMPARE(pending.count(), 2);
            pending.clear();
            QVERIFY2(c.ok ? frames >= 5 : true, c.name);  // the GUI thread ran throughout the wait
            sim->token->set_answer_delay(0ms);
        }
        const std::vector<std::string> messages = log.messages();
        QVERIFY(std::any_of(messages.begin(), messages.end(), [](const std::string& m) {
            return m.rfind("Key Exception (resp_code exception: Unknown status word 63 c1)", 0) == 0;
        }));
        sim->bus->unplug(sim->token_id);
        QVERIFY(!status->set_press_mode(false));
        QVERIFY(log.contains("Failed to set press mode."));
    }

    void rescans_keep_a_working_token_publish_null_without_one_and_never_wait()
    {
        status.reset();
        QQmlEngine engine;
        QQmlComponent binding(&engine);
        binding.setData("import QtQml 2.12\nQtObject { property bool shown: otp_status !== null }", QUrl());
        auto frame = std::make_unique<MainFrame>(engine.rootContext(), qGuiApp);
        QVERIFY(log.contains("No window to register for device notifications; running without hot-plug"));
        std::unique_ptr<QObject> page(binding.create());
        QVERIFY2(page, qPrintable(binding.errorString()));
        QSignalSpy shown(frame.get(), &MainFrame::show_otp_status);

        // The first of two tokens; the other is not held.
        const int second_id = sim->bus->plug(SimulatedBus::make_token("SECOND"));
        frame->rescan_key();
        OtpStatus* first = frame->current_otp_status();
        first->set_clock([this] { return now.load(); });
        QVERIFY(page->property("shown").toBool());
        first->response_time_changed();
        QTRY_COMPARE(first->serial_num(), QString("ABC123"));
        QCOMPARE(sim->bus->open_handle_count(second_id), 0);

        // A rescan while a read and a switch hold the token returns at once and keeps the model.
        sim->token->set_answer_delay(150ms);
        now += 30;
        first->response_time_changed();
        first->request_press_mode(true);
        QElapsedTimer call;
        call.start();
        frame->rescan_key();
        QVERIFY(call.elapsed() < 50);
        QCOMPARE(frame->current_otp_status(), first);
        QCOMPARE(shown.count(), 1);

        // Pulled out during a switch that waits on a silent token: its failure alone leads to
        // the no-key state.
        QTRY_VERIFY(!first->press_mode_pending() && !first->is_worker_running());
        sim->token->set_silent(true);
        const std::size_t reports = sim->token->received_reports().size();
        first->request_press_mode(false);
        QTRY_VERIFY(sim->token->received_reports().size() > reports);
        sim->bus->unplug(sim->token_id);
        sim->bus->unplug(second_id);
        QTRY_COMPARE(shown.count(), 2);
        QCOMPARE(frame->current_otp_status(), nullptr);
        QVERIFY(!page->property("shown").toBool());

        // Back: a new model, and dropping it while it waits on a silent token is quick.
        sim->bus->replug(sim->token_id);
        frame->rescan_key();
        QVERIFY(page->property("shown").toBool());
        sim->token->set_answer_delay(0ms);
        sim->token->set_silent(true);
        tick_until_at_token(*frame->current_otp_status());
        call.restart();
        frame.reset();
        QVERIFY(call.elapsed() < 1000);
        QCOMPARE(sim->bus->open_handle_count(sim->token_id), 0);
    }

    void device_changes_of_token_interfaces_reach_the_frame()
    {
        QQmlEngine engine;
        MainFrame frame(engine.rootContext(), qGuiApp);
        DeviceEvent watcher(&frame);
        QSignalSpy changes(&frame, &MainFrame::hid_change_event);
        log.clear();
        struct Case {
            DeviceChange change;
            const char* path;
            int emits;
            bool logged;
        };
        for (const Case& c : std::vector<Case>{
                 {DeviceChange::Arrival, "\\\\?\\HID#VID_096E&PID_0858&MI_00#7&1#{guid}", 1, true},
                 {DeviceChange::Removal, "\\\\?\\HID#VID_096E&PID_0858#hidraw2", 1, false},
                 {DeviceChange::Arrival, "\\\\?\\HID#vid_096e&pid_0858#hidraw2", 0, false},
                 {DeviceChange::Arrival, "\\\\?\\HID#VID_046D&PID_C52B#hidraw3", 0, false},
             }) {
            changes.clear();
            log.clear();
            watcher.device_changed(c.change, c.path);
            QVERIFY2(changes.count() == c.emits, c.path);
            QVERIFY2(log.contains("hid arrival detected") == c.logged, c.path);
        }

        // udev devpaths: the hidraw node of a HID id, or nothing.
        const std::vector<std::pair<const char*, std::optional<std::string>>> devpaths = {
            {"/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:096E:0858.0004/hidraw/hidraw2",
             "\\\\?\\HID#VID_096E&PID_0858#hidraw2"},
            {"/devices/virtual/misc/uhid/0003:096e:0a5b.000B/hidraw/hidraw11", "\\\\?\\HID#VID_096E&PID_0A5B#hidraw11"},
            {"/devices/usb1/1-2:1.0/0003:096E:0858.0004/input/input9", std::nullopt},
            {"/devices/pci0000:00/0000:00:14.0/hidraw/hidraw2", std::nullopt},
            {"/devices/usb1/0003:096E.0004/hidraw/hidraw2", std::nullopt},
            {"hidraw/hidraw2", std::nullopt},
        };
        for (const auto& [devpath, path] : devpaths)
            QVERIFY2(hid_interface_path_from_devpath(devpath) == path, devpath);

        // Polling: what arrived and what left since the last look, each once.
        std::vector<std::pair<DeviceChange, QString>> seen;
        EnumerationPoller poller([&](DeviceChange change, const QString& path) { seen.emplace_back(change, path); },
                                 60000);
        poller.look();
        const int second_id = sim->bus->plug(SimulatedBus::make_token("SECOND"), 0x096E, 0x0A5B);
        sim->bus->plug(nullptr, 0x046D, 0xC52B);
        poller.look();
        sim->bus->unplug(second_id);
        poller.look();
        poller.look();
        QCOMPARE(seen.size(), std::size_t(2));
        QCOMPARE(seen[0].first, DeviceChange::Arrival);
        QCOMPARE(seen[1].first, DeviceChange::Removal);
        QVERIFY(seen[0].second.startsWith("\\\\?\\HID#VID_096E&PID_0A5B#") && seen[1].second == seen[0].second);
    }
};

QTEST_MAIN(ViewModelTest)
#include "test_view_model.moc"
