#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariant>

class QQmlEngine;

// What the QML tests need from C++: publishing root-context properties at the moment a test
// chooses (as start-up and the controller do), the warnings Qt logs meanwhile, and the local
// files the user interface asks the desktop to open.
class Harness : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList opened_files MEMBER opened_files_)

public:
    explicit Harness(QQmlEngine* engine);
    ~Harness() override;

    Q_INVOKABLE void publish(const QString& name, const QVariant& value);
    Q_INVOKABLE void publish_null(const QString& name);

    // Collects every warning, critical or fatal message until end_capture, which returns them.
    Q_INVOKABLE void begin_capture();
    Q_INVOKABLE QStringList end_capture();

private slots:
    void open_file(const QUrl& url);

private:
    QQmlEngine* engine_;
    QStringList opened_files_;
};
