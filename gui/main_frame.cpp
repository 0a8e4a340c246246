#include "main_frame.h"

#include "device_event.h"
#include "token.h"

#include <easylogging++.h>

#include <QWindow>


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
    // A token in use stays unless it no longer answers; asking it is a worker's job, and only
    // its answer replaces the model.
    if (otp_status) {
        otp_status->check_connection();
        return;
    }
    replace_key();
}

void MainFrame::replace_key()
{
    // From here to the signal nothing processes events, so no binding sees the dropped model.
    otp_status.reset();
    ++generation;
    std::shared_ptr<U2FUsbKey> key = find_key();
    if (key) {
        otp_status = std::make_shared<OtpStatus>(key, nullptr);
        // Queued: the model must not be dropped inside its own signal. A model's news counts
        // only while it is the one in use.
        const std::uint64_t current = generation;
        // A failed request leads to a check at once, so a token pulled out during a press wait or
        // a read leads to the no-key page without another hot-plug event.
        connect(otp_status.get(), &OtpStatus::key_lost, this, [this, current] {
            if (current == generation)
                rescan_key();
        }, Qt::QueuedConnection);
        connect(otp_status.get(), &OtpStatus::key_gone, this, [this, current] {
            if (current == generation)
                replace_key();
        }, Qt::QueuedConnection);
    }
    context->setContextProperty("otp_status", otp_status.get());
    emit show_otp_status();
}

bool MainFrame::copy_code()
{
    const std::optional<OtpStatus::CodeCopy> code = otp_status ? otp_status->code_to_copy() : std::nullopt;
    if (!code) {
        LOG(INFO) << "Copy asked for while no code is shown; nothing copied";
        return false;
    }
    clipboard.put(code->text, code->window_ms_left);
    return true;
}

OtpStatus* MainFrame::current_otp_status() const
{
    return otp_status.get();
}

std::shared_ptr<U2FUsbKey> MainFrame::find_key()
{
    return token::find();
}
