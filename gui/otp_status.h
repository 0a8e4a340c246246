#pragma once

#include "code_rules.h"
#include "key_request.h"
#include "key_workers.h"
#include "usbkey.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The view-model of one connected token, as QML sees it. Every property lives on the GUI thread:
// workers only read the token and hand their results back here, where CodeRules decides what
// may be shown. Nothing here waits for the token.
class OtpStatus : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString serial_num READ serial_num WRITE set_serial_num NOTIFY serial_num_changed)
    Q_PROPERTY(int otp READ otp NOTIFY otp_changed)
    // A code of 0 is a real code: QML asks this, not the value, whether one is shown.
    Q_PROPERTY(bool code_shown READ code_shown NOTIFY otp_changed)
    Q_PROPERTY(int step READ step CONSTANT)
    Q_PROPERTY(QString err_msg READ err_msg NOTIFY err_msg_changed)
    Q_PROPERTY(int digits READ digits WRITE set_digits NOTIFY digits_changed)
    Q_PROPERTY(QString token_info READ token_info WRITE set_token_info NOTIFY token_info_changed)
    Q_PROPERTY(bool press_mode_pending READ press_mode_pending NOTIFY press_mode_pending_changed)
    Q_PROPERTY(int seconds_left READ seconds_left NOTIFY countdown_changed)
    // Seconds until the next code while the rest of this window shows none; 0 otherwise.
    Q_PROPERTY(int next_code_in READ next_code_in NOTIFY countdown_changed)

public:
    // Milliseconds since the Unix epoch; tests replace it to cross time windows without waiting.
    using Clock = std::function<std::int64_t()>;

    explicit OtpStatus(const std::shared_ptr<UsbKey>& key, QObject* parent = nullptr);
    ~OtpStatus() override;

    // Set before the first tick.
    void set_clock(Clock clock);

    // The page's clock tick: applies the rules and starts the current window's read when needed.
    Q_INVOKABLE int response_time_changed();
    // Reads the token information on a worker when none runs; token_info_changed brings it.
    Q_INVOKABLE bool async_query_token_info();
    // Returns at once; the switch runs on a worker and press_mode_finished brings its result.
    // A request while one is pending is ignored: its result is the one that will come.
    Q_INVOKABLE void request_press_mode(bool on);

    // For the controller, not QML: asks on a worker whether the token still answers; key_gone
    // follows when it does not. While a request uses the token, that request's own failure decides.
    void check_connection();
    // Requests started so far, and whether the last tick's or information read still runs:
    // a driver can tell whether a tick started one and wait for it instead of guessing.
    std::uint64_t workers_started() const;
    bool is_worker_running() const;

    QString serial_num() const;
    void set_serial_num(const QString& value);
    int otp() const;
    bool code_shown() const;
    int step() const;
    QString err_msg() const;
    int digits() const;
    void set_digits(int value);
    QString token_info() const;
    void set_token_info(const QString& value);
    bool press_mode_pending() const;
    int seconds_left() const;
    int next_code_in() const;

signals:
    void token_info_changed();
    void serial_num_changed();
    void otp_changed();
    void err_msg_changed();
    void digits_changed();
    void press_mode_pending_changed();
    void countdown_changed();
    // After request_press_mode; ok only when the token answered 90 00.
    void press_mode_finished(bool on, bool ok);
    // A request could not reach the token: the controller should check the connection.
    void key_lost();
    // The connection check found the token gone.
    void key_gone();

private slots:
    // GUI thread: what the workers have posted, in order.
    void run_posted();

private:
    // What a code read brings back to the GUI thread.
    struct ReadResult {
        std::optional<Bytes> serial;
        KeyOutcome outcome = KeyOutcome::Done;
        bool serial_failed = false;
        CodeRules::Code code;
    };

    void start_code_read(std::uint64_t window);
    void finish_code_read(const ReadResult& result);
    void finish_info_read(const std::optional<Bytes>& serial, const std::vector<User>& users, bool lost);
    void finish_press_mode(bool on, KeyOutcome outcome);
    void store_serial(const Bytes& serial);
    void show_press_prompt();
    void update_countdown(std::int64_t now_ms);
    // Runs on the GUI thread later, unless this object is gone by then.
    void post(std::function<void()> action);

    const int step_seconds = 30;
    Clock clock;
    CodeRules rules;
    Bytes serial_bytes;
    QString serial_num_text;
    QString token_info_text;
    int digits_value = 0;
    int seconds_left_value = 0;
    int next_code_in_value = 0;
    QTimer press_prompt_timer;
    std::mutex posted_mutex;
    std::vector<std::function<void()>> posted;
    std::unique_ptr<KeyWorkers> workers;
};
