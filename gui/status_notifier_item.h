#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>

class DBusMenu;

// One size of an icon as StatusNotifierItem carries it: (iiay), ARGB32 in network byte order.
struct SniIcon {
    int width = 0;
    int height = 0;
    QByteArray argb;
};
Q_DECLARE_METATYPE(SniIcon)
using SniIconList = QList<SniIcon>;
Q_DECLARE_METATYPE(SniIconList)

// (sa(iiay)ss): icon name, icon, title, text.
struct SniToolTip {
    QString icon_name;
    SniIconList icon;
    QString title;
    QString text;
};
Q_DECLARE_METATYPE(SniToolTip)

// Larkmoor's item in the desktop's tray, over org.kde.StatusNotifierItem, with its menu. It is
// shown only while a tray host is registered with the StatusNotifierWatcher: a watcher or host
// that comes later gets the item, one that goes away takes it along.
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QString IconName READ icon_name)
    Q_PROPERTY(SniIconList IconPixmap READ icon_pixmap)
    Q_PROPERTY(SniToolTip ToolTip READ tool_tip)
    Q_PROPERTY(bool ItemIsMenu READ item_is_menu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    // Takes the menu.
    StatusNotifierItem(DBusMenu* menu, QObject* parent);

    // Whether a tray host shows the item now.
    bool shown() const;

    QString category() const;
    QString id() const;
    QString title() const;
    QString status() const;
    QString icon_name() const;
    SniIconList icon_pixmap() const;
    SniToolTip tool_tip() const;
    bool item_is_menu() const;
    QDBusObjectPath menu() const;

public slots:
    void Activate(int x, int y);

signals:
    void activated();
    void shown_changed();

private slots:
    // Asks the watcher whether a host is there, and registers the item with it if so.
    void check_host();

private:
    void set_shown(bool value);

    QString service;
    SniIconList icon;
    bool shown_value = false;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniIcon& icon);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniIcon& icon);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip);
