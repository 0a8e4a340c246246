#include "toolkit.h"

#include "app_data_folder.h"

#include <easylogging++.h>

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

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
// alone already; elsewhere the file is made so before the library opens it.
void make_private(const QString& file)
{
#ifdef _WIN32
    (void)file;
#else
    QFile log(file);
    if (log.open(QIODevice::Append))
        log.close();
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

// The library drops a file it cannot open, and a failed write, without a word; the window would
// then run with no log at all. Said once, on standard error.
void say_unwritable(const std::string& path, const std::string& reason)
{
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
        std::cerr << "Larkmoor cannot write its log file " << path << ": " << reason << "." << std::endl;
}

// The library empties the log when it reaches MAX_LOG_FILE_SIZE, and after a failed write, whose
// size it then takes for the largest there is. What the log held is kept as larkmoor.log.1.
void keep_rolled_log(const char* path, std::size_t size)
{
    const int write_error = errno;
    if (size == static_cast<std::size_t>(-1))
        say_unwritable(path, std::strerror(write_error));
    const QString file = QFile::decodeName(path);
    if (QFileInfo(file).size() > 0) {
        QFile::remove(file + ".1");
        QFile::rename(file, file + ".1");
    }
    make_private(file);
}

// Whether the file the library was asked to write could be opened.
void check_log_opened(el::Configurations& configuration)
{
    // The library turns TO_FILE off for a file it could not open, so what was asked for is read
    // from the configuration.
    const el::Configuration* to_file = configuration.get(el::Level::Info, el::ConfigurationType::ToFile);
    el::base::TypedConfigurations* typed = el::Loggers::getLogger("default")->typedConfigurations();
    const std::string& path = typed->filename(el::Level::Info);
    if (to_file == nullptr || to_file->value() != "true" || path.empty() || typed->fileStream(el::Level::Info))
        return;
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::Append))
        say_unwritable(path, file.errorString().toStdString());
}

// The library empties a log over its size limit as it opens it, without the roll-out callback.
void roll_oversized_log(el::Configurations& configuration, const std::string& path)
{
    const el::Configuration* limit = configuration.get(el::Level::Info, el::ConfigurationType::MaxLogFileSize);
    bool valid = false;
    const qint64 bytes = limit != nullptr ? QByteArray::fromStdString(limit->value()).trimmed().toLongLong(&valid) : 0;
    const qint64 size = QFileInfo(QFile::decodeName(path.c_str())).size();
    if (valid && bytes > 0 && size >= bytes)
        keep_rolled_log(path.c_str(), static_cast<std::size_t>(size));
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
        // The 8-bit path goes to the library and the file system untouched; Qt decodes the same bytes.
        const appdata::LogLocation location = appdata::log_location(data_folder);
        // Said with the reason the folder could not be made (a read-only file system, a file in
        // its way): every later step fails only for want of it, with "No such file or directory".
        std::error_code made;
        std::filesystem::create_directories(location.folder, made);
        if (made)
            say_unwritable(location.file, made.message());
#ifndef _WIN32
        QFile::setPermissions(QFile::decodeName(location.folder.c_str()),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
#endif
        make_private(QFile::decodeName(location.file.c_str()));
        roll_oversized_log(configuration, location.file);
        configuration.setGlobally(el::ConfigurationType::Filename, location.file);
    }

    el::Helpers::installPreRollOutCallback(keep_rolled_log);
    el::Loggers::reconfigureLogger("default", configuration);
    el::Loggers::reconfigureAllLoggers(configuration);
    LOG(INFO) << "Read log conf file from: " << conf_path;
    check_log_opened(configuration);
    return el::Loggers::getLogger("default")->typedConfigurations()->filename(el::Level::Info);
}
