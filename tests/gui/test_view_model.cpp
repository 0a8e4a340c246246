#include "device_event.h"
#include "enumeration_poller.h"
#include "hid.h"
#include "hid_access.h"
#include "hid_interface_path.h"
#include "log_capture.h"
#include "main_frame.h"
#include "otp.h"
#include "otp_status.h"
#include "simulated_token.h"
#include "token.h"

#include <QClipboard>
#include <QMimeData>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <chrono>

using namespace std::chrono_literals;

namespace {

// The clock starts 20 s into a window; RFC 6238's SHA-1 vectors for 1111111109 and 1111111111
// are the codes of this window and the next. The clock counts milliseconds.
constexpr std::int64_t kWindowStart = 1111111080000;
constexpr int kCode = 81804;
constexpr int kNextCode = 50471;

const QString kPressText = "Press the key to get the OTP!";
const QString kOtpAccessText = "Failed to access the key.\nRe-plug in the key and\nclick the Rescan button!";

// The token's code of a window, as the token computes it.
int code_of(std::int64_t window_start_ms)
{
    return static_cast<int>(sim::truncated_hmac(sim::OtpHash::Sha1, ascii("12345678901234567890"),
                                                static_cast<std::uint64_t>(window_start_ms / 30000)) %
                            1000000);
}

}  // namespace

// OtpStatus, MainFrame and DeviceEvent over the real key layer and the simulated token.
class ViewModelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimulatedToken> sim;
    std::unique_ptr<OtpStatus> status;  // after sim: goes first
    std::atomic<std::int64_t> now{0};
    LogCapture log;

    // Ticks and returns once the token has the request, so the worker now holds it.
    void tick_until_at_token(OtpStatus& model)
    {
        const std::size_t reports = sim->token->received_reports().size();
        model.response_time_changed();
        QTRY_VERIFY(sim->token->received_reports().size() > reports);
    }
    void make_status()
    {
        status = std::make_unique<OtpStatus>(first_key());
        status->set_clock([this] { return now.load(); });
    }

private slots:
    void init()
    {
        status.reset();
        sim.reset();  // its end uninstalls the bus: before the next one is installed
        sim = std::make_unique<SimulatedToken>();
        now = kWindowStart + 20000;
        log.clear();
        make_status();
    }

    void one_read_per_window_serial_then_code_at_the_first_tick()
    {
        QCOMPARE(status->response_time_changed(), static_cast<int>(kWindowStart / 1000));
        QTRY_COMPARE(status->otp(), kCode);
        QVERIFY(status->serial_num() == "ABC123" && status->digits() == 6);
        status->response_time_changed();
        QCOMPARE(status->workers_started(), std::uint64_t{1});

        // The next window's read; ticks while it runs start nothing, and the old code went
        // when the window began.
        sim->token->set_answer_delay(100ms);
        now += 30000;
        for (int i = 0; i < 3; ++i)
            status->response_time_changed();
        QCOMPARE(status->otp(), 0);
        QTRY_COMPARE(status->otp(), kNextCode);
        QCOMPARE(status->workers_started(), std::uint64_t{2});
    }

    void press_refusals_access_errors_and_other_refusals_show_their_texts()
    {
        sim->token->set_press_mode(true);
        sim->token->set_press_wait(50ms);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kPressText);
        QTRY_VERIFY(!status->is_worker_running());
        status->response_time_changed();  // asked again at every tick until pressed
        QCOMPARE(status->workers_started(), std::uint64_t{2});
        // Pressed late in the window, with enough of it left: the code is still that window's.
        QTRY_VERIFY(!status->is_worker_running());
        now = kWindowStart + 27500;
        sim->token->press_button();
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), kCode);

        // Another refusal adds no text; the token gone, the access text.
        sim->token->set_press_mode(false);
        sim->token->answer_next_command_with(0x6A, 0x80);
        now += 30000;
        status->response_time_changed();
        QTRY_VERIFY(!status->is_worker_running());
        QCoreApplication::processEvents();
        QCOMPARE(status->err_msg(), QString());
        sim->bus->unplug(sim->id);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), kOtpAccessText);

        sim->bus->replug(sim->id);
        make_status();
        sim->bus->unplug(sim->id);
        status->response_time_changed();
        QTRY_COMPARE(status->err_msg(), QString("Failed to access the key.\nRe-plug in the key!"));
    }

    // A read that answers after its window has ended shows nothing, and the next tick reads the
    // new window. Dropped while it waits on a silent token, the model lets go of it.
    void late_answers_show_no_code_and_a_silent_read_is_dropped()
    {
        now = kWindowStart + 25000;
        sim->token->set_answer_delay(300ms);
        tick_until_at_token(*status);
        now = kWindowStart + 30000;
        QTRY_VERIFY(!status->is_worker_running());
        QCoreApplication::processEvents();
        QVERIFY(!status->code_shown());
        sim->token->set_answer_delay(0ms);
        status->response_time_changed();
        QTRY_COMPARE(status->otp(), kNextCode);
        QCOMPARE(status->seconds_left(), 30);

        sim->token->set_silent(true);
        now += 30000;
        tick_until_at_token(*status);
        // At once, not when the read's deadline ten seconds on would end it.
        QElapsedTimer dropping;
        dropping.start();
        status.reset();
        QVERIFY(dropping.elapsed() < 5000 && sim->bus->open_handle_count(sim->id) == 0);
    }

    // A read the token never answers ends with its window: its channel is resynchronised, the
    // press prompt stays, and the next window's read starts at once; a switch asked for meanwhile
    // runs then. A token busy with another program's request is no lost token.
    void an_unanswered_read_ends_with_its_window_and_busy_is_not_lost()
    {
        QSignalSpy lost(status.get(), &OtpStatus::key_lost);
        QSignalSpy finished(status.get(), &OtpStatus::press_mode_finished);
        std::int64_t window = kWindowStart;
        for (const bool switch_meanwhile : {false, true}) {
            window += 30000;
            now = window + 27800;
            sim->token->hang_next_command();
            tick_until_at_token(*status);
            if (switch_meanwhile)
                status->request_press_mode(false);
            window += 30000;
            now = window + 100;
            QTRY_COMPARE_WITH_TIMEOUT(status->err_msg(), kPressText, 5000);
            if (switch_meanwhile) {
                QTRY_COMPARE(finished.count(), 1);
                QCOMPARE(finished.at(0), (QVariantList{false, true}));
                status->response_time_changed();
            }
            QTRY_COMPARE(status->otp(), code_of(window));
        }

        // Resynchronised, the token stays busy a while: the next read meets CHANNEL_BUSY.
        QTRY_VERIFY(!status->is_worker_running() && status->code_shown());
        window += 30000;
        now = window + 27800;
        sim->token->hang_next_command(1500ms);
        tick_until_at_token(*status);
        const std::uint64_t started = status->workers_started();
        now = window + 30100;
        QTRY_VERIFY_WITH_TIMEOUT(status->workers_started() == started + 1 && !status->is_worker_running(), 5000);
        QCoreApplication::processEvents();
        QVERIFY(!status->code_shown() && status->err_msg() == kPressText);
        QTRY_VERIFY_WITH_TIMEOUT((status->response_time_changed(), status->otp() == code_of(window + 30000)), 5000);
        QCOMPARE(lost.count(), 0);
    }

    // A rescan's check asked for while a read holds the token follows it; an information read
    // no longer wanted by then never starts.
    void requests_asked_for_during_a_read_follow_it()
    {
        sim->token->set_answer_delay(300ms);
        tick_until_at_token(*status);
        status->check_connection();
        QVERIFY(status->async_query_token_info());
        status->drop_token_info_query();
        QTRY_COMPARE(status->otp(), kCode);
        QTRY_COMPARE(status->workers_started(), std::uint64_t{2});
        QTRY_VERIFY(!status->is_worker_running());
        QCoreApplication::processEvents();
        QCOMPARE(status->workers_started(), std::uint64_t{2});
        QCOMPARE(sim->token->received_commands().size(), std::size_t{2});
    }

    void rescans_keep_a_working_token_publish_null_without_one_and_never_wait()
    {
        status.reset();
        QQmlEngine engine;
        auto frame = std::make_unique<MainFrame>(engine.rootContext(), qGuiApp);
        QSignalSpy shown(frame.get(), &MainFrame::show_otp_status);

        // The first of two tokens; the other is not held.
        const int second_id = sim->bus->plug(rfc_token("SECOND"));
        frame->rescan_key();
        // A model's news counts only while it is the one in use: its second "gone" finds another.
        emit frame->current_otp_status()->key_gone();
        emit frame->current_otp_status()->key_gone();
        QTRY_COMPARE(shown.count(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(shown.count(), 2);
        OtpStatus* first = frame->current_otp_status();
        // Not a code read: on the system's clock the window may be in its last seconds.
        first->async_query_token_info();
        QTRY_COMPARE(first->serial_num(), QString("ABC123"));
        QCOMPARE(sim->bus->open_handle_count(second_id), 0);

        // A rescan while a switch holds the token does not wait for it and keeps the model.
        sim->token->set_answer_delay(300ms);
        first->request_press_mode(true);
        frame->rescan_key();
        QVERIFY(!sim->token->press_mode());
        QTRY_VERIFY(!first->press_mode_pending());
        QVERIFY(frame->current_otp_status() == first && shown.count() == 2);
        sim->token->set_answer_delay(0ms);

        // A switch dropped with its model while it waits on a silent token still ends, as a failure.
        sim->token->set_silent(true);
        QSignalSpy dropped(first, &OtpStatus::press_mode_finished);
        first->request_press_mode(true);
        emit first->key_gone();
        QTRY_COMPARE(shown.count(), 3);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped[0], (QVariantList{true, false}));
        first = frame->current_otp_status();

        // Pulled out during a switch that waits on a silent token: its failure alone leads to
        // the no-key state.
        const std::size_t reports = sim->token->received_reports().size();
        first->request_press_mode(false);
        QTRY_VERIFY(sim->token->received_reports().size() > reports);
        sim->bus->unplug(sim->id);
        sim->bus->unplug(second_id);
        QTRY_COMPARE(shown.count(), 4);
        QVERIFY(frame->current_otp_status() == nullptr);

        // So does the failure of an information read.
        sim->bus->replug(sim->id);
        frame->rescan_key();
        sim->bus->unplug(sim->id);
        frame->current_otp_status()->async_query_token_info();
        QTRY_VERIFY(shown.count() == 6 && frame->current_otp_status() == nullptr);
    }

    // The code goes at two seconds left without a tick. Its copy tells clipboard histories to keep
    // none and goes with its window or at quit, unless the user has copied a text since.
    void a_code_goes_on_time_and_its_copy_does_not_stay()
    {
        status.reset();
        QQmlEngine engine;
        auto frame = std::make_unique<MainFrame>(engine.rootContext(), qGuiApp);
        frame->rescan_key();
        OtpStatus* model = frame->current_otp_status();
        QElapsedTimer real;
        real.start();
        now = kWindowStart + 27500;
        const auto clock = [this, &real] { return now + real.elapsed(); };
        model->set_clock(clock);
        model->response_time_changed();
        QTRY_VERIFY(model->code_shown());
        std::int64_t hidden = 0;
        connect(model, &OtpStatus::otp_changed, this, [&] { hidden = hidden ? hidden : clock(); });
        QClipboard* clipboard = QGuiApplication::clipboard();
        QVERIFY(frame->copy_code());
        QVERIFY(clipboard->text() == "081804" && clipboard->mimeData()->data("x-kde-passwordManagerHint") == "secret");
        QTRY_VERIFY(hidden > 0);
        QVERIFY2(hidden > kWindowStart + 28000 && hidden < kWindowStart + 28050, std::to_string(hidden % 30000).c_str());
        clipboard->setText("user text");
        QTRY_VERIFY_WITH_TIMEOUT(clock() > kWindowStart + 30100, 3000);
        QCOMPARE(clipboard->text(), QString("user text"));

        // A clipboard manager that took the code over holds the same text: gone at quit too.
        model->response_time_changed();
        QTRY_VERIFY(frame->copy_code());
        clipboard->setText(clipboard->text());
        frame.reset();
        QVERIFY(clipboard->text().isEmpty() && log.contains("Copied code cleared from the clipboard"));
    }

    void device_changes_of_token_interfaces_reach_the_frame()
    {
        QQmlEngine engine;
        MainFrame frame(engine.rootContext(), qGuiApp);
        DeviceEvent watcher(&frame);
        QSignalSpy changes(&frame, &MainFrame::hid_change_event);
        // One change each: what it signals, and whether it is logged as an arrival.
        watcher.device_changed(DeviceChange::Arrival, "\\\\?\\HID#VID_096E&PID_0858&MI_00#7&1#{guid}");
        QVERIFY(changes.count() == 1 && log.contains("hid arrival detected"));
        log.clear();
        watcher.device_changed(DeviceChange::Removal, "\\\\?\\HID#VID_096E&PID_0858#hidraw2");
        QVERIFY(changes.count() == 2 && !log.contains("hid arrival detected"));
        watcher.device_changed(DeviceChange::Arrival, "\\\\?\\HID#vid_096e&pid_0858#hidraw2");
        watcher.device_changed(DeviceChange::Arrival, "\\\\?\\HID#VID_046D&PID_C52B#hidraw3");
        QCOMPARE(changes.count(), 2);

        // udev devpaths: the hidraw node of a HID id, or nothing.
        QCOMPARE(hid_interface_path_from_devpath("/devices/virtual/misc/uhid/0003:096e:0a5b.000B/hidraw/hidraw11"),
                 std::optional<std::string>("\\\\?\\HID#VID_096E&PID_0A5B#hidraw11"));
        for (const char* devpath : {"/devices/usb1/0003:096E:0858.0004/input/input9", "/devices/usb1/0003:096E.0004/hidraw/hidraw2"})
            QVERIFY2(!hid_interface_path_from_devpath(devpath), devpath);

        // Polling: what arrived and what left since the last look, each once.
        std::vector<std::pair<DeviceChange, QString>> seen;
        EnumerationPoller poller([&](DeviceChange change, const QString& path) { seen.emplace_back(change, path); },
                                 60000);
        poller.look();
        const int second_id = sim->bus->plug(rfc_token("SECOND"), 0x096E, 0x0A5B);
        poller.look();
        sim->bus->unplug(second_id);
        poller.look();
        poller.look();
        QCOMPARE(seen.size(), std::size_t(2));
        QVERIFY(seen[0].first == DeviceChange::Arrival && seen[1].first == DeviceChange::Removal);
        QVERIFY(seen[0].second.startsWith("\\\\?\\HID#VID_096E&PID_0A5B#") && seen[1].second == seen[0].second);
    }
};

QTEST_MAIN(ViewModelTest)
#include "test_view_model.moc"
