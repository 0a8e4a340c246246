#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class DesktopNotification;
class MainFrame;

enum class CopyOutcome { copied, no_token, no_code, ended };

// What standard error says when a copy asked from outside the window fails.
const char* copy_failure_sentence(CopyOutcome outcome);

// One copy asked for from outside the window (--copy, the tray's menu), with a desktop
// notification for feedback since the window may be hidden: the code shown now, or else the next
// one to come. No code may be shown at start-up, while the token waits for its button or in a
// window's last two seconds; the wait is bounded so that a shortcut never hangs.
class CopyRequest : public QObject {
    Q_OBJECT

public:
    // Long enough for a press on the token's button after its prompt, and for the two seconds
    // without a code at the end of a window plus the next read; short enough for a shortcut.
    static constexpr int kWaitMs = 15000;

    using Done = std::function<void(CopyOutcome)>;

    // Tries at once; deletes itself after calling done.
    static void start(MainFrame& frame, DesktopNotification& notification, Done done);

private:
    CopyRequest(MainFrame& frame, DesktopNotification& notification, Done done);
    void try_copy();
    void finish(CopyOutcome outcome);

    MainFrame& frame;
    DesktopNotification& notification;
    Done done;
    QTimer poll;
    QElapsedTimer waited;
    QString said;
};
