#include "single_instance.h"

#include <easylogging++.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileDevice>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <QtGlobal>

#include <algorithm>
#include <iostream>
#include <string>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int kConnectTimeoutMs = 500;
constexpr int kRetryMs = 50;
// How long a second start waits for the first, which holds the lock, to listen and answer:
// it answers only once its window is loaded.
constexpr int kHandOverMs = 10000;
// What the running copy sends back once it has asked its windows to come forward; a socket
// the kernel accepts for a copy that hangs would otherwise pass for an answer.
constexpr char kShown = '1';
// A copy request: taken at once (so a hung copy is told apart as for a second start), then its
// outcome, after the wait for a code at most.
constexpr char kCopyTaken = 'w';
constexpr int kCopyAnswerMs = CopyRequest::kWaitMs + 5000;

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

// Frees a name to listen at, and says whether something that is no socket was in the way. A
// socket, file or FIFO goes, as Qt's removeServer would take it; a folder only when empty, since
// its content is not ours to delete.
bool clear(const QString& endpoint)
{
#ifdef Q_OS_WIN
    Q_UNUSED(endpoint)
    return false;  // a pipe's name is no file
#else
    const QByteArray path = QFile::encodeName(endpoint);
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0)
        return false;
    if (S_ISDIR(status.st_mode))
        ::rmdir(path.constData());
    else
        ::unlink(path.constData());
    return !S_ISSOCK(status.st_mode);
#endif
}

// The process the lock file names, 0 when it names none.
qint64 lock_holder(const QLockFile& lock)
{
    qint64 pid = 0;
    QString host;
    QString application;
    return lock.getLockInfo(&pid, &host, &application) ? pid : 0;
}

}  // namespace

SingleInstance::SingleInstance(const QString& name, Request request) : name(per_user(name)), request(request)
{
    // Only the user may connect; the name itself is per user already.
    server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::answer_second_start);
}

SingleInstance::Claim SingleInstance::claim()
{
    const QString folder = private_folder();
    if (folder.isEmpty()) {
        // Nowhere private to meet: better a second window than none at all.
        qWarning("No private runtime folder; running without the single-window check");
        return Claim::run;
    }
    const QDir dir(folder);
#ifdef Q_OS_WIN
    const QString endpoint = name;
#else
    const QString endpoint = dir.filePath(name);
#endif
    // The second name serves when something that cannot go lies under the first.
    const QStringList endpoints{endpoint, endpoint + ".2"};
    lock_path = dir.filePath(name + ".lock");
    lock = std::make_unique<QLockFile>(lock_path);
    // Held as long as the window is open, so its age says nothing; a lock left by a copy
    // that died is still taken over at once, because its process is gone.
    lock->setStaleLockTime(0);
    bool taken_over = false;
    while (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError) {
            qWarning("Cannot write the single-window lock; running without the check");
            return Claim::run;
        }
        if (!taken_over && remove_unreadable_lock()) {
            taken_over = true;
            continue;
        }
        if (const char answer = hand_over(endpoints)) {
            if (request == Request::show) {
                std::cerr << "Larkmoor is already running; its window has been asked to come forward." << std::endl;
                return Claim::handed_over;
            }
            const auto outcome = static_cast<CopyOutcome>(answer - '0');
            if (outcome == CopyOutcome::copied)
                return Claim::handed_over;
            std::cerr << copy_failure_sentence(outcome) << std::endl;
            return Claim::failed;
        }
        // No answer: whoever made the lock is gone unless it still holds the file's own lock.
        // A file that is no lock at all, and that Qt cannot open to check, goes as well.
        if (!taken_over &&
            (lock->removeStaleLockFile() || (lock_holder(*lock) == 0 && QFile::remove(lock_path)))) {
            taken_over = true;
            continue;
        }
        const qint64 holder = lock_holder(*lock);
        std::cerr << "Larkmoor is already running"
                  << (holder != 0 ? " as process " + std::to_string(holder) : std::string())
                  << " but does not answer; end it and start Larkmoor again." << std::endl;
        return Claim::failed;
    }
    // We hold the lock, so nothing under the names is a live copy's.
    bool in_way = false;
    for (const QString& at : endpoints) {
        in_way = clear(at) || in_way;
        if (server.listen(at))
            break;
    }
    if (!server.isListening())
        qWarning("Cannot listen for a second start: %s", qUtf8Printable(server.errorString()));
    if (in_way) {
        const std::string line = "Something that is no socket lay at " + endpoint.toStdString() +
                                 " (removed unless a folder with content); listening for a second start " +
                                 (server.isListening() ? "at " + server.fullServerName().toStdString() : "nowhere");
        // The log is set up only once this copy knows it is the one to run.
        QTimer::singleShot(0, this, [line] { LOG(WARNING) << line; });
    }
    return Claim::run;
}

bool SingleInstance::remove_unreadable_lock()
{
    if (lock_holder(*lock) != 0)
        return false;
    // Two later starts must not both remove it: the second could take the first's fresh lock.
    QLockFile removing(lock_path + ".rmlock");
    return removing.tryLock(0) && lock_holder(*lock) == 0 && lock->removeStaleLockFile();
}

char SingleInstance::hand_over(const QStringList& endpoints)
{
    QElapsedTimer waited;
    waited.start();
    // Tests make the clock jump this far at each reading, so that the limit can pass between a
    // check and the wait after it.
    const qint64 step = qEnvironmentVariableIntValue("LARKMOOR_TEST_CLOCK_STEP_MS");
    qint64 readings = 0;
    // Never below 0: Qt's waits read -1 as no limit at all.
    const auto left = [&] {
        const qint64 elapsed = step > 0 ? step * readings++ : waited.elapsed();
        return static_cast<int>(std::max<qint64>(0, kHandOverMs - elapsed));
    };
    // The lock's holder may have only just taken it and not be listening yet.
    for (int ms = left(); ms > 0; ms = left()) {
        for (const QString& endpoint : endpoints) {
            QLocalSocket running;
            running.connectToServer(endpoint);
            if (!running.waitForConnected(std::min(kConnectTimeoutMs, ms)))
                continue;
            running.putChar(static_cast<char>(request));
            running.flush();
            if (running.bytesAvailable() == 0)
                running.waitForReadyRead(left());
            char answer = 0;
            if (!running.getChar(&answer) || (answer != kShown && answer != kCopyTaken))
                return 0;
            if (answer == kShown)
                return answer;
            // Taken: the running copy lives, and the outcome follows; a copy that ends meanwhile
            // closes the connection.
            if (running.bytesAvailable() == 0)
                running.waitForReadyRead(kCopyAnswerMs);
            if (running.getChar(&answer))
                return answer;
            return running.state() == QLocalSocket::ConnectedState ? 0 : '0' + static_cast<char>(CopyOutcome::ended);
        }
        QThread::msleep(static_cast<unsigned long>(std::min(kRetryMs, left())));
    }
    return 0;
}

void SingleInstance::set_copy_handler(CopyHandler handler)
{
    copy_handler = std::move(handler);
}

void bring_windows_forward()
{
    // Debian's Qt has no xdg-activation: on Wayland it can neither raise nor activate a window
    // (asking only logs a warning each time), and alert() is all that is left to try.
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        window->show();
        if (!wayland) {
            window->raise();
            window->requestActivate();
        }
        window->alert(0);
    }
}

void SingleInstance::answer_second_start()
{
    while (QLocalSocket* peer = server.nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        // The request is one byte, written as soon as the later start connects.
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] { answer(peer); });
        if (peer->bytesAvailable() > 0)
            answer(peer);
    }
}

void SingleInstance::answer(QLocalSocket* peer)
{
    char asked = 0;
    if (!peer->getChar(&asked))
        return;
    if (asked != static_cast<char>(Request::copy) || !copy_handler) {
        bring_windows_forward();
        peer->putChar(kShown);
        peer->disconnectFromServer();
        return;
    }
    peer->putChar(kCopyTaken);
    copy_handler([peer = QPointer<QLocalSocket>(peer)](CopyOutcome outcome) {
        if (peer.isNull())
            return;
        // A digit, read only as a copy's outcome: it may equal kShown.
        peer->putChar(static_cast<char>('0' + static_cast<int>(outcome)));
        peer->disconnectFromServer();
    });
}
