#include "bench.h"
#include "larkmoor_version.h"
#include "translations.h"

#include <QFile>
#include <QLocale>
#include <QObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        // English, or the language a test asks for, whatever the desktop's.
        QLocale::setDefault(QLocale(qEnvironmentVariable("LARKMOOR_TEST_LOCALE", "C")));
        translators = install_translations(*QCoreApplication::instance());
        qmlRegisterSingletonType<Bench>("Larkmoor.Testing", 1, 0, "Bench",
                                        [](QQmlEngine* engine, QJSEngine*) -> QObject* { return new Bench(engine); });
    }

    // As start-up publishes them before it loads the window.
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->rootContext()->setContextProperty("app_version", QStringLiteral(LARKMOOR_VERSION));
        engine->rootContext()->setContextProperty("log_file_path", QStringLiteral("/home/user/.local/share/Orvandel/Larkmoor/larkmoor.log"));
        QFile help(help_page(QStringLiteral(":/help")));
        if (help.open(QIODevice::ReadOnly))
            engine->rootContext()->setContextProperty("help_html", QString::fromUtf8(help.readAll()));
    }

private:
    std::vector<std::unique_ptr<QTranslator>> translators;
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
