#include "qt_log_bridge.h"

#include <easylogging++.h>

#include <QString>
#include <QtGlobal>

namespace {

void log_qt_message(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const std::string where = context.file != nullptr ? std::string(" (") + context.file + ":" +
                                                            std::to_string(context.line) + ")"
                                                      : std::string();
    const std::string message = "Qt: " + text.toStdString() + where;
    switch (type) {
    case QtDebugMsg:
    case QtInfoMsg: LOG(INFO) << message; break;
    case QtWarningMsg: LOG(WARNING) << message; break;
    case QtCriticalMsg:
    case QtFatalMsg: LOG(ERROR) << message; break;
    }
}

}  // namespace

void route_qt_messages_to_log()
{
    qInstallMessageHandler(log_qt_message);
}
