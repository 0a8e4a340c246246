#include "harness.h"

#include <QDesktopServices>
#include <QMutex>
#include <QMutexLocker>
#include <QQmlContext>
#include <QQmlEngine>

namespace {

QMutex capture_mutex;
QStringList captured;
QtMessageHandler previous_handler = nullptr;

void capture_message(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg) {
        QMutexLocker lock(&capture_mutex);
        captured.append(message);
    }
    if (previous_handler)
        previous_handler(type, context, message);
}

}

Harness::Harness(QQmlEngine* engine) : engine_(engine)
{
    QDesktopServices::setUrlHandler("file", this, "open_file");
}

Harness::~Harness()
{
    QDesktopServices::unsetUrlHandler("file");
}

void Harness::open_file(const QUrl& url)
{
    opened_files_.append(url.toString());
}

void Harness::publish(const QString& name, const QVariant& value)
{
    engine_->rootContext()->setContextProperty(name, value);
}

void Harness::publish_null(const QString& name)
{
    engine_->rootContext()->setContextProperty(name, QVariant::fromValue<QObject*>(nullptr));
}

void Harness::begin_capture()
{
    {
        QMutexLocker lock(&capture_mutex);
        captured.clear();
    }
    // Installed here, not at start-up: Qt Quick Test installs its own handler when a test case starts.
    previous_handler = qInstallMessageHandler(capture_message);
}

QStringList Harness::end_capture()
{
    qInstallMessageHandler(previous_handler);
    previous_handler = nullptr;
    QMutexLocker lock(&capture_mutex);
    return captured;
}
