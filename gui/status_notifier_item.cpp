#include "status_notifier_item.h"

#include "dbus_menu.h"

#include <easylogging++.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>

namespace {

const char* const kWatcher = "org.kde.StatusNotifierWatcher";
const char* const kWatcherPath = "/StatusNotifierWatcher";
const char* const kMenuPath = "/MenuBar";

// Sizes trays draw at, for hosts without Larkmoor's icon in their theme.
SniIconList icon_sizes()
{
    const QImage source(":/pic/larkmoor-icon.png");
    SniIconList sizes;
    if (source.isNull()) {
        LOG(WARNING) << "No built-in icon for the tray item; only its name is given";
        return sizes;
    }
    for (int size : {16, 22, 32, 48}) {
        const QImage image = source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                 .convertToFormat(QImage::Format_ARGB32);
        SniIcon icon{image.width(), image.height(), {}};
        icon.argb.reserve(image.width() * image.height() * 4);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                for (int channel : {qAlpha(pixel), qRed(pixel), qGreen(pixel), qBlue(pixel)})
                    icon.argb.append(static_cast<char>(channel));
            }
        }
        sizes.append(icon);
    }
    return sizes;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const SniIcon& icon)
{
    argument.beginStructure();
    argument << icon.width << icon.height << icon.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniIcon& icon)
{
    argument.beginStructure();
    argument >> icon.width >> icon.height >> icon.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip)
{
    argument.beginStructure();
    argument << tip.icon_name << tip.icon << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip)
{
    argument.beginStructure();
    argument >> tip.icon_name >> tip.icon >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

StatusNotifierItem::StatusNotifierItem(DBusMenu* menu, QObject* parent)
    : QObject(parent), service(QString("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid()))
{
    menu->setParent(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        LOG(INFO) << "No session bus, so no tray item: " << bus.lastError().message().toStdString();
        return;
    }
    DBusMenu::register_types();
    qDBusRegisterMetaType<SniIcon>();
    qDBusRegisterMetaType<SniIconList>();
    qDBusRegisterMetaType<SniToolTip>();
    icon = icon_sizes();
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties;
    if (!bus.registerObject("/StatusNotifierItem", this, exported) || !bus.registerObject(kMenuPath, menu, exported) ||
        !bus.registerService(service)) {
        LOG(WARNING) << "Cannot offer a tray item on the session bus: " << bus.lastError().message().toStdString();
        return;
    }
    // A tray that starts, restarts or gains a host after Larkmoor gets the item then.
    auto* watcher = new QDBusServiceWatcher(kWatcher, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &StatusNotifierItem::check_host);
    for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        bus.connect(kWatcher, kWatcherPath, kWatcher, signal, this, SLOT(check_host()));
    check_host();
}

void StatusNotifierItem::check_host()
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(kWatcher, kWatcherPath, "org.freedesktop.DBus.Properties", "Get");
    get << QString(kWatcher) << QString("IsStatusNotifierHostRegistered");
    auto* asked = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> host = *call;
        if (host.isError() || !host.value().variant().toBool()) {
            LOG(INFO) << "No tray on this desktop"
                      << (host.isError() ? ": " + host.error().message().toStdString() : std::string());
            return set_shown(false);
        }
        QDBusMessage add =
            QDBusMessage::createMethodCall(kWatcher, kWatcherPath, kWatcher, "RegisterStatusNotifierItem");
        add << service;
        auto* added = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(add), this);
        connect(added, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* registration) {
            registration->deleteLater();
            const QDBusPendingReply<> reply = *registration;
            if (reply.isError())
                LOG(WARNING) << "The tray did not take Larkmoor's item: " << reply.error().message().toStdString();
            else
                LOG(INFO) << "Shown in the tray";
            set_shown(!reply.isError());
        });
    });
}

void StatusNotifierItem::set_shown(bool value)
{
    if (value == shown_value)
        return;
    shown_value = value;
    emit shown_changed();
}

bool StatusNotifierItem::shown() const
{
    return shown_value;
}

QString StatusNotifierItem::category() const
{
    return "ApplicationStatus";
}

QString StatusNotifierItem::id() const
{
    return "larkmoor";
}

QString StatusNotifierItem::title() const
{
    return "Larkmoor";
}

QString StatusNotifierItem::status() const
{
    return "Active";
}

QString StatusNotifierItem::icon_name() const
{
    return "larkmoor";
}

SniIconList StatusNotifierItem::icon_pixmap() const
{
    return icon;
}

SniToolTip StatusNotifierItem::tool_tip() const
{
    return {QString(), {}, title(), QString()};
}

bool StatusNotifierItem::item_is_menu() const
{
    return false;
}

QDBusObjectPath StatusNotifierItem::menu() const
{
    return QDBusObjectPath(kMenuPath);
}

void StatusNotifierItem::Activate(int x, int y)
{
    Q_UNUSED(x)
    Q_UNUSED(y)
    emit activated();
}
