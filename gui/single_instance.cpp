#include "single_instance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDevice>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWindow>
#include <QtGlobal>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

constexpr int kConnectTimeoutMs = 500;
// How long a second start waits for the first, which holds the lock, to start listening.
constexpr int kHandOverMs = 5000;

QString per_user(const QString& name)
{
#ifdef Q_OS_WIN
    return name + "-" + qEnvironmentVariable("USERNAME");
#else
    return name + "-" + QString::number(getuid());
#endif
}

// The user's own folder for sockets and locks: XDG_RUNTIME_DIR, or the private 0700 folder
// Qt makes when it is unset. Qt refuses one another user owns; then the data folder serves.
QString private_folder()
{
#ifdef Q_OS_WIN
    // Pipes are not files; the lock goes where only this user writes.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#else
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#endif
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return QString();
    // The data folder may have been made with a looser umask.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

}  // namespace

SingleInstance::SingleInstance(const QString& name) : name(per_user(name))
{
    // Only the user may connect; the name itself is per user already.
    server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            peer->disconnectFromServer();
        }
        bring_windows_forward();
    });
}

bool SingleInstance::claim()
{
    const QString folder = private_folder();
    if (folder.isEmpty()) {
        // Nowhere private to meet: better a second window than none at all.
        qWarning("No private runtime folder; running without the single-window check");
        return true;
    }
    const QDir dir(folder);
#ifdef Q_OS_WIN
    const QString endpoint = name;
#else
    const QString endpoint = dir.filePath(name);
#endif
    lock = std::make_unique<QLockFile>(dir.filePath(name + ".lock"));
    // Held as long as the window is open, so its age says nothing; a lock left by a copy
    // that died is still taken over at once, because its process is gone.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) {
            if (hand_over(endpoint))
                return false;
            qWarning("Larkmoor is already running but does not answer");
            return false;
        }
        qWarning("Cannot write the single-window lock; running without the check");
        return true;
    }
    // We hold the lock, so anything left under the name is from a copy that did not end cleanly.
    QLocalServer::removeServer(endpoint);
    if (!server.listen(endpoint))
        qWarning("Cannot listen for a second start: %s", qUtf8Printable(server.errorString()));
    return true;
}

bool SingleInstance::hand_over(const QString& endpoint)
{
    // The lock's holder may have only just taken it and not be listening yet.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kHandOverMs) {
        QLocalSocket running;
        running.connectToServer(endpoint);
        if (running.waitForConnected(kConnectTimeoutMs)) {
            running.disconnectFromServer();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

void SingleInstance::bring_windows_forward()
{
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        window->show();
        window->raise();
        window->requestActivate();
    }
}
