#include "application.h"

#include "main_frame.h"
#include "qt_log_bridge.h"
#include "single_instance.h"
#include "toolkit.h"

#include <easylogging++.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QUrl>

int run_application(int& argc, char** argv, std::shared_ptr<hidaccess::RawDeviceIo> device_io,
                    const QString& instance_name)
{
    // The window has a fixed size in points; on dense screens it must not shrink.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // A small window of text and images needs no GPU, and without GL no driver stands between the
    // user and the code; it also costs less memory and start-up time. The user's own choice wins.
    // Qt 5 has no backend named "opengl" (OpenGL is its default): that name asks for the default
    // instead of a plugin lookup that fails with a warning.
    bool scene_graph_chosen = false;
    for (const char* name : {"QMLSCENE_DEVICE", "QT_QUICK_BACKEND"}) {
        if (qEnvironmentVariableIsEmpty(name))
            continue;
        scene_graph_chosen = true;
        if (qgetenv(name) == "opengl")
            qunsetenv(name);
    }
    if (!scene_graph_chosen)
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    QGuiApplication::setWindowIcon(QIcon(":/pic/larkmoor-icon.png"));

    SingleInstance instance(instance_name);
    if (!instance.claim())
        return 0;

    const QString log_conf_path = QDir(QCoreApplication::applicationDirPath()).filePath("log.conf");
    setup_log(log_conf_path.toStdString());
    route_qt_messages_to_log();
    LOG(INFO) << "-> Program Running!";
    hidaccess::install_raw_device_io(std::move(device_io));

    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(
        "help_url", QUrl::fromLocalFile(QDir(QCoreApplication::applicationDirPath()).filePath("larkmoor-help.html")));
    // The same help page, shown inside the window where the desktop cannot open a browser.
    QFile help_page(":/help/larkmoor-help.html");
    if (help_page.open(QIODevice::ReadOnly))
        engine.rootContext()->setContextProperty("help_html", QString::fromUtf8(help_page.readAll()));
    else
        LOG(ERROR) << "Failed to read the built-in help page " << help_page.fileName().toStdString();
    engine.load(QUrl("qrc:/main.qml"));
    if (engine.rootObjects().isEmpty()) {
        LOG(ERROR) << "Failed to load the main window from qrc:/main.qml";
        return 1;
    }

    MainFrame main_frame(engine.rootContext(), &app);
    engine.rootContext()->setContextProperty("main_frame", &main_frame);
    main_frame.rescan_key();

    QFont font("Verdana", -1, -1, false);
    // Where Verdana is missing, another sans-serif face, not a typewriter one.
    font.setStyleHint(QFont::SansSerif, QFont::PreferDefault);
    QGuiApplication::setFont(font);

    return QGuiApplication::exec();
}
