#pragma once

#include <QObject>

#include <functional>

class Settings;
class StatusNotifierItem;

// Larkmoor in the desktop's tray, as QML sees it: whether there is a tray, and the window's life
// with it. With the user's keep_in_tray on and a tray at hand, closing the window leaves the
// program running there; a tray that goes away brings a hidden window back.
class Tray : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool available READ available NOTIFY available_changed)

public:
    // copy: the menu's "Copy code".
    Tray(Settings& settings, std::function<void()> copy, QObject* parent = nullptr);

    bool available() const;

signals:
    void available_changed();

private:
    void update();

    Settings& settings;
    StatusNotifierItem* item;
};
