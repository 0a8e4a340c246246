#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

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

    explicit SingleInstance(const QString& name);

    // Says on standard error why this process is not the one to run.
    Claim claim();

private:
    void answer_second_start();
    // Asks the copy that holds the lock, at whichever name it listens, to come forward; false
    // when it never answers.
    bool hand_over(const QStringList& endpoints);
    // A lock file that names no process (empty, cut short, junk) was not written by a live copy,
    // which writes it whole the moment it creates it. Removed the way Qt removes a stale lock.
    bool remove_unreadable_lock();

    QString name;
    QLocalServer server;
    QString lock_path;
    std::unique_ptr<QLockFile> lock;
};
