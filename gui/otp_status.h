#pragma once

#include "usbkey.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The view-model of one connected token. Key access runs on short-lived workers, one at a
// time, each holding `mutex` for its whole exchange. What QML reads is kept apart from that:
// integers are atomics and the texts sit behind `fields_mutex`, which is only ever held for a
// copy, so a property read never waits for the token.
class OtpStatus : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString serial_num READ serial_num WRITE set_serial_num NOTIFY serial_num_changed)
    Q_PROPERTY(int otp READ otp WRITE set_otp NOTIFY otp_changed)
    Q_PROPERTY(int step READ step)
    Q_PROPERTY(QString err_msg READ err_msg NOTIFY err_msg_changed)
    Q_PROPERTY(int digits READ digits WRITE set_digits NOTIFY digits_changed)
    Q_PROPERTY(QString token_info READ token_info WRITE set_token_info NOTIFY token_info_changed)
    Q_PROPERTY(bool press_mode_pending READ press_mode_pending NOTIFY press_mode_pending_changed)

public:
    // Seconds since the Unix epoch; tests replace it to cross time windows without waiting.
    using Clock = std::function<std::int64_t()>;

    explicit OtpStatus(const std::shared_ptr<UsbKey>& key, QObject* parent = nullptr);
    ~OtpStatus() override;

    // Set before the first tick.
    void set_clock(Clock clock);

    Q_INVOKABLE int response_time_changed();
    Q_INVOKABLE bool set_press_mode(bool on);
    Q_INVOKABLE bool query_token_info();
    Q_INVOKABLE bool async_query_token_info();
    // Returns at once; the switch runs on a worker and press_mode_finished brings its result.
    // A request while one is pending is ignored: its result is the one that will come.
    Q_INVOKABLE void request_press_mode(bool on);

    // Never waits: while a worker uses the token it counts as connected, and that worker's own
    // failure (key_lost) or the removal event decides.
    bool is_key_connected();
    // Workers started so far, and whether the last one is still at work (until it has left
    // the token and published its result): a driver can tell whether a tick started one,
    // however quickly it ended, and wait for it instead of guessing.
    std::uint64_t workers_started() const;
    bool is_worker_running() const;

    QString serial_num() const;
    void set_serial_num(const QString& value);
    int otp() const;
    void set_otp(int value);
    int step() const;
    QString err_msg() const;
    int digits() const;
    void set_digits(int value);
    QString token_info() const;
    void set_token_info(const QString& value);
    bool press_mode_pending() const;

signals:
    void token_info_changed();
    void serial_num_changed();
    void otp_changed();
    void err_msg_changed();
    void digits_changed();
    void press_mode_pending_changed();
    // On the GUI thread, after request_press_mode; ok only when the token answered 90 00.
    void press_mode_finished(bool on, bool ok);
    // A worker could not reach the token any more; emitted after it has let go of it.
    void key_lost();

private slots:
    // GUI thread, queued by the press-mode worker.
    void finish_press_mode(bool on, bool ok);

private:
    // Never waits: when no key access runs, joins the finished worker and says yes.
    bool ready_for_worker();
    // Runs body on a new worker that holds `mutex` throughout.
    void start_worker(std::function<void()> body);
    void update_serial_num();
    void update_otp(std::uint64_t counter);
    bool query_token_info_locked();
    // Reads the active user's serial into serial_bytes and publishes its text; caller holds mutex.
    void read_serial_num();
    void show_error(const char* text);
    // GUI thread: drops the code on screen unless it is current_window's, with the hidden error
    // text behind it; without a window, drops it in any case.
    void clear_code(std::optional<std::uint64_t> current_window);
    // A read of the current window has taken longer than a token takes without its button.
    void show_press_prompt();
    // A code read ended with nothing to show; takes back a prompt that turned out wrong.
    void end_read_without_text();

    QString token_info_text;
    QString serial_num_text;
    const int step_seconds = 30;
    std::atomic<int> otp_value{0};
    // No window counter is negative, so the first tick always starts a read.
    std::atomic<int> last_counter{-1};
    std::atomic<int> digits_value{0};
    QString err_msg_text;
    std::vector<User> users;
    std::shared_ptr<UsbKey> key;
    std::mutex mutex;
    std::shared_ptr<std::thread> worker;
    std::atomic<bool> worker_running{false};
    std::uint64_t worker_count = 0;  // GUI thread only
    Bytes serial_bytes;
    mutable std::mutex fields_mutex;
    Clock clock;
    bool read_pending = false;       // under fields_mutex: a code read has not published yet
    bool prompt_shown = false;       // under fields_mutex: err_msg is the timer's prompt
    QString err_before_prompt;       // under fields_mutex
    std::atomic<bool> lost{false};   // the running worker found the token gone
    std::atomic<bool> closing{false};
    bool press_pending = false;      // GUI thread only
    std::thread press_worker;
    QTimer press_prompt_timer;
};
