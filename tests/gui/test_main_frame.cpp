#include "gui_test_support.h"
#include "log_capture.h"
#include "main_frame.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

class MainFrameTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimulatedBus> sim;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<MainFrame> frame;

    void make_frame()
    {
        frame = std::make_unique<MainFrame>(engine->rootContext(), qGuiApp);
    }

    QObject* published() const
    {
        return engine->rootContext()->contextProperty("otp_status").value<QObject*>();
    }

private slots:
    void init()
    {
        sim = std::make_unique<SimulatedBus>();
        engine = std::make_unique<QQmlEngine>();
    }

    void cleanup()
    {
        frame.reset();
        engine.reset();
        sim.reset();
    }

    void rescans_follow_unplugging_and_replugging()
    {
        sim->bus->unplug(sim->token_id);
        make_frame();
        QVERIFY(engine->rootContext()->contextProperty("otp_status").isValid());
        QCOMPARE(published(), nullptr);
        QSignalSpy shown(frame.get(), &MainFrame::show_otp_status);
        frame->rescan_key();
        QCOMPARE(shown.count(), 1);
        QCOMPARE(published(), nullptr);

        sim->bus->replug(sim->token_id);
        frame->rescan_key();
        QCOMPARE(shown.count(), 2);
        OtpStatus* first = frame->current_otp_status();
        QVERIFY(first != nullptr);
        QCOMPARE(published(), first);

        // A token that still answers is kept, whatever else arrives.
        const int second_id = sim->bus->plug(SimulatedBus::make_token("SECOND"));
        frame->rescan_key();
        QCOMPARE(shown.count(), 2);
        QCOMPARE(frame->current_otp_status(), first);
        QCOMPARE(sim->bus->open_handle_count(second_id), 0);

        first->response_time_changed();
        QTRY_COMPARE(first->serial_num(), QString("ABC123"));
        QTRY_VERIFY(!first->is_worker_running());  // while one runs, the probe keeps the token
        sim->bus->unplug(sim->token_id);
        sim->bus->unplug(second_id);
        frame->rescan_key();
        QCOMPARE(shown.count(), 3);
        QCOMPARE(published(), nullptr);
        QCOMPARE(frame->current_otp_status(), nullptr);

        // After a replug the new model reads the serial number again.
        sim->bus->replug(sim->token_id);
        frame->rescan_key();
        QCOMPARE(shown.count(), 4);
        OtpStatus* again = frame->current_otp_status();
        QVERIFY(again != nullptr);
        QCOMPARE(again->serial_num(), QString());
        again->response_time_changed();
        QTRY_COMPARE(again->serial_num(), QString("ABC123"));
    }

    void first_of_two_tokens_wins_and_the_other_is_released_at_once()
    {
        const int second_id = sim->bus->plug(SimulatedBus::make_token("SECOND"));
        make_frame();
        frame->rescan_key();
        QCOMPARE(sim->bus->open_handle_count(sim->token_id), 1);
        QCOMPARE(sim->bus->open_handle_count(second_id), 0);
        frame->current_otp_status()->response_time_changed();
        QTRY_COMPARE(frame->current_otp_status()->serial_num(), QString("ABC123"));
    }

    void copies_exactly_the_given_text()
    {
        make_frame();
        frame->copy_to_clipboard("001234");
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), QString("001234"));
        frame->copy_to_clipboard(QString());
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), QString());
    }

    void without_a_window_there_is_no_hot_plug_but_rescans_work()
    {
        LogCapture log;
        make_frame();
        QVERIFY(log.contains("No window to register for device notifications; running without hot-plug"));
        frame->rescan_key();
        QVERIFY(frame->current_otp_status() != nullptr);
    }

    void with_a_window_the_watcher_registers()
    {
        LogCapture log;
        QWindow window;
        make_frame();
        QVERIFY(!log.contains("No window to register for device notifications; running without hot-plug"));
    }

    void rescan_never_waits_for_a_busy_token_and_a_lost_token_clears_the_model()
    {
        using namespace std::chrono_literals;
        make_frame();
        frame->rescan_key();
        QSignalSpy shown(frame.get(), &MainFrame::show_otp_status);
        OtpStatus* status = frame->current_otp_status();
        sim->token->set_answer_delay(500ms);

        // A read and a press-mode switch in turn hold the token; the probe waits for neither.
        const std::size_t reports = sim->token->received_reports().size();
        status->response_time_changed();
        QTRY_VERIFY(sim->token->received_reports().size() > reports);
        status->request_press_mode(true);
        for (int i = 0; i < 2; ++i) {
            QElapsedTimer call;
            call.start();
            frame->rescan_key();
            QVERIFY(call.elapsed() < 50);
            QCOMPARE(frame->current_otp_status(), status);
            QTRY_VERIFY(!status->is_worker_running());
        }
        QCOMPARE(shown.count(), 0);

        // Pulled out during the switch: its failure alone leads to the no-key state.
        sim->bus->unplug(sim->token_id);
        QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 5000);
        QCOMPARE(published(), nullptr);
        QCOMPARE(frame->current_otp_status(), nullptr);
    }

    void shutdown_while_a_worker_waits_on_a_silent_token_is_quick()
    {
        make_frame();
        frame->rescan_key();
        OtpStatus* status = frame->current_otp_status();
        status->response_time_changed();
        QTRY_COMPARE(status->serial_num(), QString("ABC123"));
        sim->token->set_silent(true);
        const std::size_t reports = sim->token->received_reports().size();
        status->response_time_changed();
        QTRY_VERIFY(sim->token->received_reports().size() > reports);

        QElapsedTimer timer;
        timer.start();
        frame.reset();
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(sim->bus->open_handle_count(sim->token_id), 0);
    }
};

QTEST_MAIN(MainFrameTest)
#include "test_main_frame.moc"
