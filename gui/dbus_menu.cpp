#include "dbus_menu.h"

#include <easylogging++.h>

#include <QDBusMetaType>

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout)
{
    argument.beginStructure();
    argument << layout.id << layout.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const QDBusVariant& child : layout.children)
        argument << child;
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout)
{
    argument.beginStructure();
    argument >> layout.id >> layout.properties;
    layout.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        layout.children.append(child);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event)
{
    argument.beginStructure();
    argument << event.id << event.event_id << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event)
{
    argument.beginStructure();
    argument >> event.id >> event.event_id >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

DBusMenu::DBusMenu(std::vector<Entry> entries, QObject* parent) : QObject(parent), entries(std::move(entries)) {}

void DBusMenu::register_types()
{
    qDBusRegisterMetaType<DBusMenuLayout>();
    qDBusRegisterMetaType<DBusMenuItemProperties>();
    qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<DBusMenuEventList>();
}

uint DBusMenu::version() const
{
    return 3;
}

QString DBusMenu::text_direction() const
{
    return "ltr";
}

QString DBusMenu::status() const
{
    return "normal";
}

QStringList DBusMenu::icon_theme_path() const
{
    return {};
}

QVariantMap DBusMenu::properties_of(int id) const
{
    if (id == 0)
        return {{"children-display", "submenu"}};
    return {{"label", entries[static_cast<std::size_t>(id - 1)].label}, {"enabled", true}, {"visible", true}};
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames, DBusMenuLayout& layout)
{
    Q_UNUSED(propertyNames)
    // The layout never changes: one revision.
    const uint revision = 1;
    const int count = static_cast<int>(entries.size());
    layout.id = parentId >= 0 && parentId <= count ? parentId : 0;
    layout.properties = properties_of(layout.id);
    layout.children.clear();
    if (layout.id != 0 || recursionDepth == 0)
        return revision;
    for (int id = 1; id <= count; ++id)
        layout.children.append(QDBusVariant(QVariant::fromValue(DBusMenuLayout{id, properties_of(id), {}})));
    return revision;
}

DBusMenuItemPropertiesList DBusMenu::GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames)
{
    Q_UNUSED(propertyNames)
    DBusMenuItemPropertiesList items;
    for (int id : ids) {
        if (id >= 0 && id <= static_cast<int>(entries.size()))
            items.append({id, properties_of(id)});
    }
    return items;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name)
{
    if (id < 0 || id > static_cast<int>(entries.size()))
        return QDBusVariant(QVariant());
    return QDBusVariant(properties_of(id).value(name));
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp)
{
    Q_UNUSED(data)
    Q_UNUSED(timestamp)
    if (eventId != "clicked" || id < 1 || id > static_cast<int>(entries.size()))
        return;
    LOG(INFO) << "Tray menu entry " << id << " clicked";
    // After the reply: a click may end the program.
    QMetaObject::invokeMethod(this, entries[static_cast<std::size_t>(id - 1)].clicked, Qt::QueuedConnection);
}

QList<int> DBusMenu::EventGroup(const DBusMenuEventList& events)
{
    QList<int> unknown;
    for (const DBusMenuEvent& event : events) {
        if (event.id < 0 || event.id > static_cast<int>(entries.size()))
            unknown.append(event.id);
        else
            Event(event.id, event.event_id, event.data, event.timestamp);
    }
    return unknown;
}

bool DBusMenu::AboutToShow(int id)
{
    Q_UNUSED(id)
    return false;
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors)
{
    Q_UNUSED(ids)
    idErrors.clear();
    return {};
}
