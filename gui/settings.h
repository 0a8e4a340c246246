#pragma once

#include <QObject>
#include <QString>

// The user's choices, kept in <config folder>/Orvandel/Larkmoor/larkmoor.conf. A file that cannot
// be read or makes no sense gives the defaults, said once in the log: a setting never stops a start.
class Settings : public QObject {
    Q_OBJECT
    // Closing the window leaves the program in the tray, where a desktop has one.
    Q_PROPERTY(bool keep_in_tray READ keep_in_tray WRITE set_keep_in_tray NOTIFY keep_in_tray_changed)

public:
    explicit Settings(QObject* parent = nullptr);

    static QString file_path();

    bool keep_in_tray() const;
    void set_keep_in_tray(bool on);

signals:
    void keep_in_tray_changed();

private:
    bool keep_in_tray_value = false;
};
