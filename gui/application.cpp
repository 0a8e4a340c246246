#include "application.h"

#include "accessible_read_only_text.h"
#include "copy_request.h"
#include "desktop_notification.h"
#include "display_check.h"
#include "early_options.h"
#include "larkmoor_version.h"
#include "main_frame.h"
#include "qt_log_bridge.h"
#include "settings.h"
#include "single_instance.h"
#include "toolkit.h"
#include "translations.h"
#include "tray.h"

#include <easylogging++.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QPlatformSurfaceEvent>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QUrl>

#include <iostream>

namespace {

// Qt's own value for a window without a maximum size.
constexpr int kNoMaximum = (1 << 24) - 1;

// A window of fixed size offers no maximise, where the platform lets a program say so. Window
// managers read the hints when the window is mapped, and some never again, so they are set as
// its surface is made, before it is shown.
class NoMaximiseForFixedSize : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::PlatformSurface ||
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() != QPlatformSurfaceEvent::SurfaceCreated)
            return false;
        auto* window = qobject_cast<QQuickWindow*>(watched);
        if (window == nullptr || window->transientParent() != nullptr || window->minimumSize() != window->maximumSize())
            return false;
        window->setFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
        // Qt's own title bar on Wayland offers maximise whatever the flags say, and a window that
        // cannot take the maximised size breaks the protocol, which ends the program. There it
        // may grow; its content stays centred.
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
            window->setMaximumSize(QSize(kNoMaximum, kNoMaximum));
        return false;
    }
};

}  // namespace

int run_application(int& argc, char** argv, std::shared_ptr<hidaccess::RawDeviceIo> device_io,
                    const QString& instance_name)
{
    if (const auto sentence = missing_display(argc, argv)) {
        std::cerr << *sentence << std::endl;
        return 1;
    }
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
    const auto translators = install_translations(app);
    QGuiApplication::setWindowIcon(QIcon(":/pic/larkmoor-icon.png"));

    const bool copy = wants_copy(argc, argv);
    SingleInstance instance(instance_name, copy ? SingleInstance::Request::copy : SingleInstance::Request::show);
    switch (instance.claim()) {
    case SingleInstance::Claim::run: break;
    case SingleInstance::Claim::handed_over: return 0;
    case SingleInstance::Claim::failed: return 1;
    }

    const QString log_conf_path = QDir(QCoreApplication::applicationDirPath()).filePath("log.conf");
    const std::string log_file_path = setup_log(log_conf_path.toStdString());
    route_qt_messages_to_log();
    LOG(INFO) << "-> Program Running!";
    hidaccess::install_raw_device_io(std::move(device_io));

    NoMaximiseForFixedSize no_maximise;
    app.installEventFilter(&no_maximise);
    QQmlApplicationEngine engine;
    Settings settings;
    engine.rootContext()->setContextProperty("user_settings", &settings);
    engine.rootContext()->setContextProperty("log_file_path", QFile::decodeName(log_file_path.c_str()));
    engine.rootContext()->setContextProperty("app_version", QStringLiteral(LARKMOOR_VERSION));
    engine.rootContext()->setContextProperty(
        "help_url", QUrl::fromLocalFile(help_page(QCoreApplication::applicationDirPath())));
    // The same help page, shown inside the window where the desktop cannot open a browser.
    QFile built_in_help(help_page(QStringLiteral(":/help")));
    if (built_in_help.open(QIODevice::ReadOnly))
        engine.rootContext()->setContextProperty("help_html", QString::fromUtf8(built_in_help.readAll()));
    else
        LOG(ERROR) << "Failed to read the built-in help page " << built_in_help.fileName().toStdString();
    install_read_only_text_accessible();
    engine.load(QUrl("qrc:/main.qml"));
    if (engine.rootObjects().isEmpty()) {
        LOG(ERROR) << "Failed to load the main window from qrc:/main.qml";
        return 1;
    }

    // Outlives the copies under way, which the main frame owns.
    DesktopNotification notification;
    MainFrame main_frame(engine.rootContext(), &app);
    engine.rootContext()->setContextProperty("main_frame", &main_frame);
    main_frame.rescan_key();
    instance.set_copy_handler(
        [&](CopyRequest::Done done) { CopyRequest::start(main_frame, notification, std::move(done)); });
    Tray tray(settings, [&] { CopyRequest::start(main_frame, notification, [](CopyOutcome) {}); });
    engine.rootContext()->setContextProperty("tray", &tray);
    if (copy) {
        CopyRequest::start(main_frame, notification, [](CopyOutcome outcome) {
            if (outcome != CopyOutcome::copied)
                std::cerr << copy_failure_sentence(outcome) << std::endl;
        });
    }

    QFont font("Verdana", -1, -1, false);
    // Where Verdana is missing, another sans-serif face, not a typewriter one.
    font.setStyleHint(QFont::SansSerif, QFont::PreferDefault);
    QGuiApplication::setFont(font);

    return QGuiApplication::exec();
}
