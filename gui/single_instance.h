#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One window per user: a second start hands over to the running copy, which comes forward,
// instead of opening another window that would poll the same token. The endpoint and its lock
// live in the user's private runtime folder, where no other user can plant or reach them.
class SingleInstance : public QObject {
public:
    explicit SingleInstance(const QString& name);

    // True when this process is the one to run; false after asking the running one to show.
    bool claim();

private:
    void bring_windows_forward();
    // Asks the copy that holds the lock to come forward; false when it never answers.
    bool hand_over(const QString& endpoint);

    QString name;
    QLocalServer server;
    std::unique_ptr<QLockFile> lock;
};
