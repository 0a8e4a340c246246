#pragma once

#include "code_clipboard.h"
#include "otp_status.h"
#include "u2f_usbkey.h"

#include <QGuiApplication>
#include <QObject>
#include <QQmlContext>
#include <QString>

#include <cstdint>
#include <memory>

class DeviceEvent;

// Chooses the token to work with, publishes its model to QML as "otp_status" and owns the
// watcher whose notifications come back as hid_change_event.
class MainFrame : public QObject {
    Q_OBJECT

public:
    MainFrame(QQmlContext* context, QGuiApplication* app, QObject* parent = nullptr);
    ~MainFrame() override;

    Q_INVOKABLE void rescan_key();
    // Every copy of the code, whatever asks for it: true when a code was copied.
    Q_INVOKABLE bool copy_code();

    // The model of the token in use, or null.
    OtpStatus* current_otp_status() const;

signals:
    void show_otp_status();
    void hid_change_event();

private:
    // Drops the model in use, if any, and publishes one for the first token found, or null.
    void replace_key();
    std::shared_ptr<U2FUsbKey> find_key();

    std::shared_ptr<OtpStatus> otp_status;
    QQmlContext* context;
    QGuiApplication* app;
    std::shared_ptr<DeviceEvent> device_event;
    std::uint64_t generation = 0;
    CodeClipboard clipboard;
};
