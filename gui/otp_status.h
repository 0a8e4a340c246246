#pragma once

#include "usbkey.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
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

    bool is_key_connected();

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

signals:
    void token_info_changed();
    void serial_num_changed();
    void otp_changed();
    void err_msg_changed();
    void digits_changed();

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
    Bytes serial_bytes;
    mutable std::mutex fields_mutex;
    Clock clock;
};
