#pragma once

#include <QObject>
#include <QStringList>

class QQmlEngine;

// What the QML tests need from C++: publishing root-context properties at the moment a test
// chooses (as start-up and the controller do), and the warnings Qt logs meanwhile.
class Harness : public QObject {
    Q_OBJECT

public:
    explicit Harness(QQmlEngine* engine);

    Q_INVOKABLE void publish(const QString& name, QObject* value);
    Q_INVOKABLE void publish_null(const QString& name);

    // Collects every warning, critical or fatal message until end_capture, which returns them.
    Q_INVOKABLE void begin_capture();
    Q_INVOKABLE QStringList end_capture();

private:
    QQmlEngine* engine_;
};
