#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Stands in for the token status model: same property names, notify signals and write
// semantics (writing otp notifies, writing digits does not), plus counters the tests read.
class StandInOtpStatus : public QObject {
    Q_OBJECT
    Q_PROPERTY(int otp READ otp WRITE set_otp NOTIFY otp_changed)
    Q_PROPERTY(int step READ step)
    Q_PROPERTY(QString err_msg READ err_msg NOTIFY err_msg_changed)
    Q_PROPERTY(int digits READ digits WRITE set_digits NOTIFY digits_changed)
    Q_PROPERTY(QString token_info READ token_info WRITE set_token_info NOTIFY token_info_changed)
    Q_PROPERTY(int response_calls MEMBER response_calls_)
    Q_PROPERTY(int token_info_queries MEMBER token_info_queries_)
    Q_PROPERTY(bool press_mode_pending READ press_mode_pending NOTIFY press_mode_pending_changed)
    Q_PROPERTY(QVariantList press_mode_requests MEMBER press_mode_requests_)

public:
    int otp() const { return otp_; }
    void set_otp(int value);
    int step() const { return 30; }
    QString err_msg() const { return err_msg_; }
    int digits() const { return digits_; }
    void set_digits(int value) { digits_ = value; }
    QString token_info() const { return token_info_; }
    void set_token_info(const QString& value);

    Q_INVOKABLE int response_time_changed();
    bool press_mode_pending() const { return press_mode_pending_; }
    // Returns at once; the answer comes with press_mode_finished, here when a test calls finish.
    Q_INVOKABLE void request_press_mode(bool on);
    Q_INVOKABLE void finish_press_mode(bool ok);
    Q_INVOKABLE bool async_query_token_info();

    // What a key worker does when it has a result: store it, then notify.
    Q_INVOKABLE void deliver(int otp, int digits, const QString& err_msg);

signals:
    void token_info_changed();
    void otp_changed();
    void err_msg_changed();
    void digits_changed();
    void press_mode_pending_changed();
    void press_mode_finished(bool on, bool ok);

private:
    int otp_ = 0;
    int digits_ = 6;
    QString err_msg_;
    QString token_info_;
    int response_calls_ = 0;
    int token_info_queries_ = 0;
    bool press_mode_pending_ = false;
    QVariantList press_mode_requests_;
};

// Stands in for the main controller: its two signals and what its invokables received.
class StandInMainFrame : public QObject {
    Q_OBJECT
    Q_PROPERTY(int rescans MEMBER rescans_)
    Q_PROPERTY(QStringList copied MEMBER copied_)

public:
    Q_INVOKABLE void rescan_key() { ++rescans_; }
    Q_INVOKABLE void copy_to_clipboard(const QString& str) { copied_.append(str); }

signals:
    void show_otp_status();
    void hid_change_event();

private:
    int rescans_ = 0;
    QStringList copied_;
};
