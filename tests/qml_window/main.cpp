#include "harness.h"
#include "window_bench.h"

#include <QObject>
#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        qmlRegisterSingletonType<Harness>("Larkmoor.Testing", 1, 0, "Harness",
                                          [](QQmlEngine* engine, QJSEngine*) -> QObject* {
                                              return new Harness(engine);
                                          });
        qmlRegisterSingletonType<WindowBench>("Larkmoor.Testing", 1, 0, "Bench",
                                              [](QQmlEngine* engine, QJSEngine*) -> QObject* {
                                                  return new WindowBench(engine);
                                              });
    }
};

QUICK_TEST_MAIN_WITH_SETUP(larkmoor_qml_window, Setup)

#include "main.moc"
