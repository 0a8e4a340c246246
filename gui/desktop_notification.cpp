#include "desktop_notification.h"

#include <easylogging++.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

void DesktopNotification::show(const QString& summary, int expire_ms)
{
    QDBusMessage notify = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                         "/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "Notify");
    // The server's default for 0 would be "never": -1 asks for its usual time.
    notify << QString("Larkmoor") << shown_id << QString("larkmoor") << summary << QString() << QStringList()
           << QVariantMap() << (expire_ms > 0 ? expire_ms : -1);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<uint> reply = *call;
        if (!reply.isError()) {
            shown_id = reply.value();
            return;
        }
        if (!failure_logged)
            LOG(INFO) << "No desktop notification: " << reply.error().message().toStdString();
        failure_logged = true;
    });
}
