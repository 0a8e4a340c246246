#include "toolkit.h"

#include <easylogging++.h>

#include <QDir>
#include <QFile>
#include <QString>

#ifdef _WIN32
#include <windows.h>
// windows.h must come first.
#include <shlobj.h>
#else
#include <QStandardPaths>
#endif

namespace {

// The user's roaming application-data folder, or an empty text when the system has none.
QString application_data_folder()
{
#ifdef _WIN32
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_APPDATA, FALSE))
        return QString();
    return QString::fromLocal8Bit(path);
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

// The log holds serial numbers and codes. Windows' application-data folder is the user's
// alone already; elsewhere the folder and file are made so before the library writes.
void keep_private(const QString& folder, const QString& file)
{
#ifdef _WIN32
    (void)folder;
    (void)file;
#else
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile log(file);
    if (log.open(QIODevice::Append))
        log.close();
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

}  // namespace

void setup_log(std::string conf_path)
{
    // Defaults first, the file on top. The library's file-then-defaults constructor appends the
    // default global FILENAME after the file's level entries, and applying it later resets
    // every level, so a level's own FILENAME would be lost.
    el::Configurations configuration;
    configuration.setToDefault();
    configuration.parseFromFile(conf_path);

    const QString data_folder = application_data_folder();
    if (!data_folder.isEmpty()) {
        const QString folder = QDir(QDir(data_folder).filePath("Orvandel")).filePath("Larkmoor");
        QDir().mkpath(folder);
        // Same 8-bit encoding QDir used to create the folder, so non-ASCII names meet.
        const QString file = QDir::toNativeSeparators(QDir(folder).filePath("larkmoor.log"));
        keep_private(folder, file);
        configuration.setGlobally(el::ConfigurationType::Filename, QFile::encodeName(file).toStdString());
    }

    el::Loggers::reconfigureLogger("default", configuration);
    el::Loggers::reconfigureAllLoggers(configuration);
    LOG(INFO) << "Read log conf file from: " << conf_path;
}
