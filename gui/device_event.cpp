#include "device_event.h"

#include "main_frame.h"

#include <easylogging++.h>

DeviceEvent::DeviceEvent(MainFrame* main_frame, QObject* parent) : QObject(parent), main_frame(main_frame)
{
}

DeviceEvent::~DeviceEvent() = default;

void DeviceEvent::device_changed(DeviceChange change, const QString& interface_path)
{
    if (!interface_path.contains(QLatin1String("VID_096E"), Qt::CaseSensitive))
        return;
    if (change == DeviceChange::Arrival)
        LOG(INFO) << "hid arrival detected";
    emit main_frame->hid_change_event();
}
