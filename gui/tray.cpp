#include "tray.h"

#include "dbus_menu.h"
#include "settings.h"
#include "single_instance.h"
#include "status_notifier_item.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

Tray::Tray(Settings& settings, std::function<void()> copy, QObject* parent)
    : QObject(parent),
      settings(settings),
      item(new StatusNotifierItem(new DBusMenu({{tr("Copy code"), std::move(copy)},
                                                {tr("Show Larkmoor"), bring_windows_forward},
                                                {tr("Quit"), QCoreApplication::quit}},
                                               nullptr),
                                  this))
{
    connect(item, &StatusNotifierItem::activated, this, bring_windows_forward);
    connect(item, &StatusNotifierItem::shown_changed, this, &Tray::update);
    connect(item, &StatusNotifierItem::shown_changed, this, &Tray::available_changed);
    connect(&settings, &Settings::keep_in_tray_changed, this, &Tray::update);
    update();
}

bool Tray::available() const
{
    return item->shown();
}

void Tray::update()
{
    const bool keep = available() && settings.keep_in_tray();
    QGuiApplication::setQuitOnLastWindowClosed(!keep);
    if (keep)
        return;
    // No invisible program: a window closed into a tray that has gone comes back.
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (!window->isVisible()) {
            bring_windows_forward();
            return;
        }
    }
}

