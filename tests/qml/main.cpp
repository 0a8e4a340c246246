#include "harness.h"
#include "stand_ins.h"

#include <QObject>
#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        qmlRegisterType<StandInOtpStatus>("Larkmoor.Testing", 1, 0, "StandInOtpStatus");
        qmlRegisterType<StandInMainFrame>("Larkmoor.Testing", 1, 0, "StandInMainFrame");
        qmlRegisterSingletonType<Harness>("Larkmoor.Testing", 1, 0, "Harness",
                                          [](QQmlEngine* engine, QJSEngine*) -> QObject* {
                                              return new Harness(engine);
                                          });
    }
};

QUICK_TEST_MAIN_WITH_SETUP(larkmoor_qml, Setup)

#include "main.moc"
