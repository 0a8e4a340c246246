#include "main_frame.h"

#include "device_event.h"
#include "hid.h"

#include <easylogging++.h>

#include <QClipboard>
#include <QWindow>

#include <vector>

MainFrame::MainFrame(QQmlContext* context, QGuiApplication* app, QObject* parent)
    : QObject(parent), context(context), app(app)
{
    device_event = std::make_shared<DeviceEvent>(this, nullptr);
    this->app->installNativeEventFilter(device_event.get());
    context->setContextProperty("otp_status", nullptr);
    const QWindowList windows = QGuiApplication::allWindows();
    if (windows.isEmpty()) {
        LOG(ERROR) << "No window to register for device notifications; running without hot-plug";
        return;
    }
    device_event->register_event(windows.first());
}

MainFrame::~MainFrame()
{
    device_event.reset();
    otp_status.reset();
}

void MainFrame::rescan_key()
{
    if (otp_status && otp_status->is_key_connected())
        return;

    // From here to the signal nothing processes events, so no binding sees the dropped model.
    otp_status.reset();
    std::shared_ptr<U2FUsbKey> key = find_key();
    if (key) {
        otp_status = std::make_shared<OtpStatus>(key, nullptr);
        // A worker that finds the token gone says so at once, so a token pulled out during a
        // press wait or a read leads to the no-key page without another hot-plug event.
        connect(otp_status.get(), &OtpStatus::key_lost, this, &MainFrame::rescan_key, Qt::QueuedConnection);
    }
    context->setContextProperty("otp_status", otp_status.get());
    emit show_otp_status();
}

void MainFrame::copy_to_clipboard(QString str)
{
    QGuiApplication::clipboard()->setText(str, QClipboard::Clipboard);
}

OtpStatus* MainFrame::current_otp_status() const
{
    return otp_status.get();
}

std::shared_ptr<U2FUsbKey> MainFrame::find_key()
{
    std::vector<std::shared_ptr<U2FUsbKey>> u2f_keys;
    HID().find_device(kOrvandelVendorId, u2f_keys);
    if (u2f_keys.empty())
        return nullptr;
    return u2f_keys.front();
}
