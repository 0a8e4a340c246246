#pragma once

#include "copy_request.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// One window per user: a second start hands over to the running copy, which comes forward,
// instead of opening another window that would poll the same token. The endpoint and its lock
// live in the user's private runtime folder, where no other user can plant or reach them.
class SingleInstance : public QObject {
public:
    enum class Claim {
        run,          // this process is the one to run
        handed_over,  // the running copy answered and was asked to come forward
        failed,       // a running copy holds the lock but does not answer
    };

    // What a later start asks of the running copy: to come forward, or to copy its code.
    enum class Request : char { show = 's', copy = 'c' };
    // How the running copy answers a copy request: CopyRequest::start without its notification.
    using CopyHandler = std::function<void(CopyRequest::Done)>;

    explicit SingleInstance(const QString& name, Request request = Request::show);

    // Says on standard error why this process is not the one to run. handed_over for a copy: the
    // running copy has put its code on the clipboard.
    Claim claim();
    void set_copy_handler(CopyHandler handler);

private:
    void answer_second_start();
    void answer(QLocalSocket* peer);
    // Asks the copy that holds the lock, at whichever name it listens, for the request; its
    // last answer, 0 when it never answers.
    char hand_over(const QStringList& endpoints);
    // A lock file that names no process (empty, cut short, junk) was not written by a live copy,
    // which writes it whole the moment it creates it. Removed the way Qt removes a stale lock.
    bool remove_unreadable_lock();

    QString name;
    Request request;
    CopyHandler copy_handler;
    QLocalServer server;
    QString lock_path;
    std::unique_ptr<QLockFile> lock;
};

// Shows, raises and activates the window where the platform lets a program do so.
void bring_windows_forward();
