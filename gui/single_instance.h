#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One window per user: a second start hands over to the running copy, which comes forward,
// instead of opening another window that would poll the same token.
class SingleInstance : public QObject {
public:
    explicit SingleInstance(const QString& name);

    // True when this process is the one to run; false after asking the running one to show.
    bool claim();

private:
    void bring_windows_forward();

    QString name;
    QLocalServer server;
};
