#include "bench.h"

#include <QObject>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        qmlRegisterSingletonType<Bench>("Larkmoor.Testing", 1, 0, "Bench",
                                        [](QQmlEngine* engine, QJSEngine*) -> QObject* { return new Bench(engine); });
    }
};

int main(int argc, char** argv)
{
    // Warnings are fatal here, and Qt warns of a missing runtime folder.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "larkmoor_qml", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "main.moc"
