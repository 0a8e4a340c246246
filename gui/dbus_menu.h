#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <vector>

// One entry of a menu as com.canonical.dbusmenu carries it: (ia{sv}av), its children as variants.
struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<QDBusVariant> children;
};
Q_DECLARE_METATYPE(DBusMenuLayout)

struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(DBusMenuItemProperties)

struct DBusMenuEvent {
    int id = 0;
    QString event_id;
    QDBusVariant data;
    uint timestamp = 0;
};
Q_DECLARE_METATYPE(DBusMenuEvent)

using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;
using DBusMenuEventList = QList<DBusMenuEvent>;
Q_DECLARE_METATYPE(DBusMenuItemPropertiesList)
Q_DECLARE_METATYPE(DBusMenuEventList)

// The tray item's menu, a flat list of entries, for the desktop to draw over com.canonical.dbusmenu.
class DBusMenu : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ text_direction)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ icon_theme_path)

public:
    struct Entry {
        QString label;
        std::function<void()> clicked;
    };

    DBusMenu(std::vector<Entry> entries, QObject* parent);

    // Before the first use of the types on a connection.
    static void register_types();

    uint version() const;
    QString text_direction() const;
    QString status() const;
    QStringList icon_theme_path() const;

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames, DBusMenuLayout& layout);
    DBusMenuItemPropertiesList GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const DBusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

private:
    // Entries are numbered from 1; 0 is the menu itself.
    QVariantMap properties_of(int id) const;

    std::vector<Entry> entries;
};

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);
