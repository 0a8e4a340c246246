#include "settings.h"

#include <easylogging++.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const char* const kKeepInTray = "keep_in_tray";

}  // namespace

Settings::Settings(QObject* parent) : QObject(parent)
{
    const QString path = file_path();
    if (!QFileInfo::exists(path))
        return;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        LOG(WARNING) << "The settings file " << path.toStdString() << " cannot be read; using the defaults";
        return;
    }
    const QString value = file.value(kKeepInTray, "false").toString();
    if (value != "true" && value != "false") {
        LOG(WARNING) << "The settings file " << path.toStdString() << " has " << kKeepInTray << "="
                     << value.toStdString() << ", neither true nor false; using the defaults";
        return;
    }
    keep_in_tray_value = value == "true";
}

QString Settings::file_path()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath("Orvandel/Larkmoor/larkmoor.conf");
}

bool Settings::keep_in_tray() const
{
    return keep_in_tray_value;
}

void Settings::set_keep_in_tray(bool on)
{
    if (on == keep_in_tray_value)
        return;
    keep_in_tray_value = on;
    emit keep_in_tray_changed();
    QSettings file(file_path(), QSettings::IniFormat);
    file.setValue(kKeepInTray, on);
    file.sync();
    if (file.status() != QSettings::NoError)
        LOG(WARNING) << "Cannot write the settings file " << file_path().toStdString()
                     << "; the choice lasts until Larkmoor ends";
}
