#include "toolkit.h"

#include "app_data_folder.h"

#include <easylogging++.h>

#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <iostream>

#ifndef _WIN32
#include <QStandardPaths>
#endif

namespace {

// The user's roaming application-data folder as an 8-bit path, or an empty text when the system has none.
std::string application_data_folder()
{
#ifdef _WIN32
    return appdata::roaming_application_data_folder();
#else
    return QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).toStdString();
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

// The library drops a file it cannot open, and a failed write, without a word; the window would
// then run with no log at all. Said once, on standard error, with the reason.
void report_unwritable_log(el::Configurations& configuration, int write_errno)
{
    // The library turns TO_FILE off for a file it could not open, so what was asked for is read
    // from the configuration.
    const el::Configuration* to_file = configuration.get(el::Level::Info, el::ConfigurationType::ToFile);
    el::base::TypedConfigurations* typed = el::Loggers::getLogger("default")->typedConfigurations();
    const std::string& path = typed->filename(el::Level::Info);
    if (to_file == nullptr || to_file->value() != "true" || path.empty())
        return;
    std::string reason;
    if (el::base::type::fstream_t* stream = typed->fileStream(el::Level::Info)) {
        if (stream->good())
            return;
        reason = write_errno != 0 ? std::strerror(write_errno) : "write error";
    } else {
        QFile file(QFile::decodeName(path.c_str()));
        if (file.open(QIODevice::Append))
            return;
        reason = file.errorString().toStdString();
    }
    std::cerr << "Larkmoor cannot write its log file " << path << ": " << reason << "." << std::endl;
}

}  // namespace

std::string setup_log(std::string conf_path)
{
    // Defaults first, the file on top. The library's file-then-defaults constructor appends the
    // default global FILENAME after the file's level entries, and applying it later resets
    // every level, so a level's own FILENAME would be lost.
    el::Configurations configuration;
    configuration.setToDefault();
    configuration.parseFromFile(conf_path);

    const std::string data_folder = application_data_folder();
    if (!data_folder.empty()) {
        // The 8-bit path goes to the library untouched; Qt decodes the same bytes to make the folder.
        const appdata::LogLocation location = appdata::log_location(data_folder);
        const QString folder = QFile::decodeName(location.folder.c_str());
        // A folder that cannot be made shows when the file fails to open.
        QDir().mkpath(folder);
        keep_private(folder, QFile::decodeName(location.file.c_str()));
        configuration.setGlobally(el::ConfigurationType::Filename, location.file);
    }

    el::Loggers::reconfigureLogger("default", configuration);
    el::Loggers::reconfigureAllLoggers(configuration);
    errno = 0;
    LOG(INFO) << "Read log conf file from: " << conf_path;
    el::Loggers::flushAll();
    report_unwritable_log(configuration, errno);
    return el::Loggers::getLogger("default")->typedConfigurations()->filename(el::Level::Info);
}
