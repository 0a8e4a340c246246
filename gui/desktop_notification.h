#pragma once

#include <QObject>
#include <QString>

// Feedback where the window may be hidden: a desktop notification over
// org.freedesktop.Notifications. Where no notification service runs there is none, and the log
// says so once.
class DesktopNotification : public QObject {
public:
    using QObject::QObject;

    // Replaces the one shown before, so that a wait and its result are one bubble. expire_ms 0:
    // the server's own time.
    void show(const QString& summary, int expire_ms = 0);

private:
    uint shown_id = 0;
    bool failure_logged = false;
};
