#include "copy_request.h"

#include "desktop_notification.h"
#include "main_frame.h"

#include <easylogging++.h>

namespace {

// Codes come once per tick of the page (600 ms); checking more often only makes the copy sooner.
constexpr int kPollMs = 100;

}  // namespace

const char* copy_failure_sentence(CopyOutcome outcome)
{
    switch (outcome) {
    case CopyOutcome::copied: break;
    case CopyOutcome::no_token: return "No token is plugged in; nothing was copied.";
    case CopyOutcome::no_code: return "No code came within 15 seconds; nothing was copied.";
    case CopyOutcome::ended: return "Larkmoor ended before a code came; nothing was copied.";
    }
    return "";
}

void CopyRequest::start(MainFrame& frame, DesktopNotification& notification, Done done)
{
    (new CopyRequest(frame, notification, std::move(done)))->try_copy();
}

CopyRequest::CopyRequest(MainFrame& frame, DesktopNotification& notification, Done done)
    : QObject(&frame), frame(frame), notification(notification), done(std::move(done))
{
    waited.start();
    poll.setSingleShot(true);
    poll.setInterval(kPollMs);
    connect(&poll, &QTimer::timeout, this, &CopyRequest::try_copy);
}

void CopyRequest::try_copy()
{
    const OtpStatus* model = frame.current_otp_status();
    if (model == nullptr) {
        notification.show(tr("No token found; nothing was copied."));
        return finish(CopyOutcome::no_token);
    }
    // Asked only with a code on screen: every refused copy is logged.
    if (model->code_shown() && frame.copy_code()) {
        const int left = model->seconds_left();
        notification.show(tr("Code copied, %n second(s) left", "", left), left * 1000);
        return finish(CopyOutcome::copied);
    }
    if (waited.elapsed() >= kWaitMs) {
        notification.show(tr("No code came in time; nothing was copied."));
        return finish(CopyOutcome::no_code);
    }
    // The press prompt, or why the token cannot be read: what the window would say.
    const QString message = model->err_msg().simplified();
    if (!message.isEmpty() && message != said)
        notification.show(message);
    said = message;
    poll.start();
}

void CopyRequest::finish(CopyOutcome outcome)
{
    if (outcome != CopyOutcome::copied)
        LOG(WARNING) << "Copy from outside the window: " << copy_failure_sentence(outcome);
    poll.stop();
    done(outcome);
    deleteLater();
}
