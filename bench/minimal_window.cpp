#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QUrl>

#include <cstring>

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    // --countdown adds a live countdown: the floor of what Larkmoor's page can cost at idle.
    const bool countdown = argc > 1 && std::strcmp(argv[1], "--countdown") == 0;
    engine.load(QUrl(countdown ? "qrc:/countdown_window.qml" : "qrc:/minimal_window.qml"));
    if (engine.rootObjects().isEmpty())
        return 1;
    return QGuiApplication::exec();
}
