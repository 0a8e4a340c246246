#include "single_instance.h"

#include <QGuiApplication>
#include <QLocalSocket>
#include <QWindow>

#ifdef Q_OS_WIN
#include <QtGlobal>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kConnectTimeoutMs = 500;

QString per_user(const QString& name)
{
#ifdef Q_OS_WIN
    return name + "-" + qEnvironmentVariable("USERNAME");
#else
    return name + "-" + QString::number(getuid());
#endif
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
    QLocalSocket running;
    running.connectToServer(name);
    if (running.waitForConnected(kConnectTimeoutMs)) {
        running.disconnectFromServer();
        return false;
    }
    // Nobody answers: whatever is left under the name is from a copy that did not end cleanly.
    QLocalServer::removeServer(name);
    server.listen(name);
    return true;
}

void SingleInstance::bring_windows_forward()
{
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        window->show();
        window->raise();
        window->requestActivate();
    }
}
