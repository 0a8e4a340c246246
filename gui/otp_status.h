#pragma once

#include "code_rules.h"
#include "key_workers.h"
#include "token.h"

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
    // The code shown, zero-padded to its digits; empty while none is.
    Q_PROPERTY(QString code_text READ code_text NOTIFY otp_changed)
    Q_PROPERTY(int step READ step CONSTANT)
    Q_PROPERTY(QString err_msg READ err_msg NOTIFY err_msg_changed)
    Q_PROPERTY(int digits READ digits WRITE set_digits NOTIFY digits_changed)
    Q_PROPERTY(QString token_info READ token_info WRITE set_token_info NOTIFY token_info_changed)
    // What the information dialog says while it has no information: that it reads, that the
    // token waits for its button, or why the read ended without it. Empty otherwise.
    Q_PROPERTY(QString token_info_hint READ token_info_hint NOTIFY token_info_hint_changed)
    Q_PROPERTY(bool press_mode_pending READ press_mode_pending NOTIFY press_mode_pending_changed)
    // Whether press mode is on, known once a switch has succeeded in this run: the token cannot
    // be asked.
    Q_PROPERTY(bool press_mode_known READ press_mode_known NOTIFY press_mode_changed)
    Q_PROPERTY(bool press_mode_on READ press_mode_on NOTIFY press_mode_changed)
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

    struct CodeCopy {
        QString text;
        // Of the code's window, by the model's clock.
        std::int64_t window_ms_left = 0;
    };
    // The code a copy may take now: the rules are asked at this moment, not at the last tick, so
    // a code whose time is up is neither copied nor left on screen.
    std::optional<CodeCopy> code_to_copy();
    // Reads the token information once, on a worker, after any request under way; token_info
    // or token_info_hint bring the result. False when the information is known already.
    Q_INVOKABLE bool async_query_token_info();
    // The dialog closed: an information read not yet started never starts.
    Q_INVOKABLE void drop_token_info_query();
    // Returns at once; the switch runs on a worker and press_mode_finished brings its result,
    // also when the model is dropped first: then a failure.
    // A request while one is pending is ignored: its result is the one that will come.
    Q_INVOKABLE void request_press_mode(bool on);

    // For the controller, not QML: asks on a worker whether the token is still there; key_gone
    // follows when it is not. While a request uses the token, the check follows it (and is not
    // needed when that request fails for a lost token: its own key_lost brings one).
    void check_connection();
    // Requests started so far, and whether the last tick's or information read still runs:
    // a driver can tell whether a tick started one and wait for it instead of guessing.
    std::uint64_t workers_started() const;
    bool is_worker_running() const;

    QString serial_num() const;
    void set_serial_num(const QString& value);
    int otp() const;
    bool code_shown() const;
    QString code_text() const;
    int step() const;
    QString err_msg() const;
    int digits() const;
    void set_digits(int value);
    QString token_info() const;
    void set_token_info(const QString& value);
    QString token_info_hint() const;
    bool press_mode_pending() const;
    bool press_mode_known() const;
    bool press_mode_on() const;
    int seconds_left() const;
    int next_code_in() const;

signals:
    void token_info_changed();
    void token_info_hint_changed();
    void serial_num_changed();
    void otp_changed();
    void err_msg_changed();
    void digits_changed();
    void press_mode_pending_changed();
    void press_mode_changed();
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
        token::Status outcome = token::Status::Done;
        bool serial_failed = false;
        CodeRules::Code code;
    };
    enum class InfoHint { None, Reading, PressPrompt, NotPressed, Failed, NoRecord };

    void start_code_read(std::int64_t window);
    void finish_code_read(const ReadResult& result);
    // A request found the token unreachable: the controller checks it.
    void report_lost();
    // Starts what was asked for while another request had the token.
    void start_waiting_requests();
    bool start_info_read();
    void finish_info_read(const std::optional<Bytes>& serial, const token::Read<std::vector<User>>& users);
    void finish_press_mode(bool on, token::Status outcome);
    void set_info_hint(InfoHint hint);
    void show_info_press_prompt();
    // The steady-clock time at which the window ends, as the model's clock counts it.
    token::Deadline end_of_window(std::int64_t window) const;
    // For a request the user asked for: the end of this window, or of the next one near its end.
    token::Deadline request_deadline() const;
    void store_serial(const Bytes& serial);
    void show_press_prompt();
    void update_countdown(std::int64_t now_ms);
    // A code the rules no longer allow leaves the screen now. True when it went.
    bool drop_expired_code(std::int64_t now_ms);
    // For the moment the shown code must go; stopped while none is shown.
    void arm_hide_timer(std::int64_t now_ms);
    // Runs on the GUI thread later, unless this object is gone by then.
    void post(std::function<void()> action);
    // A worker's result: posted once the worker has let go of the key.
    std::function<void()> deliver(std::function<void()> action);

    Clock clock;
    CodeRules rules;
    Bytes serial_bytes;
    QString serial_num_text;
    QString token_info_text;
    int digits_value = 0;
    int seconds_left_value = 0;
    int next_code_in_value = 0;
    QTimer press_prompt_timer;
    QTimer hide_timer;
    QTimer info_prompt_timer;
    InfoHint info_hint = InfoHint::None;
    bool info_wanted = false;
    bool info_running = false;
    bool check_wanted = false;
    bool press_mode_asked = false;
    std::optional<bool> press_mode;
    std::mutex posted_mutex;
    std::vector<std::function<void()>> posted;
    std::unique_ptr<KeyWorkers> workers;
};
