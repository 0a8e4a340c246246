#include "device_event.h"
#include "enumeration_poller.h"
#include "gui_test_support.h"
#include "hid_interface_path.h"
#include "log_capture.h"
#include "main_frame.h"

#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include <utility>

namespace {

using Seen = std::vector<std::pair<DeviceChange, QString>>;

}  // namespace

class DeviceEventTest : public QObject {
    Q_OBJECT

private slots:
    void core_signals_each_token_interface_and_logs_arrivals_only()
    {
        SimulatedBus sim;
        QQmlEngine engine;
        MainFrame frame(engine.rootContext(), qGuiApp);
        DeviceEvent watcher(&frame);
        QSignalSpy changes(&frame, &MainFrame::hid_change_event);
        LogCapture log;

        watcher.device_changed(DeviceChange::Arrival, "\\\\?\\HID#VID_096E&PID_0858&MI_00#7&1#{guid}");
        watcher.device_changed(DeviceChange::Arrival, "\\\\?\\HID#VID_096E&PID_0858&MI_01#7&2#{guid}");
        QCOMPARE(changes.count(), 2);
        QCOMPARE(log.messages(), (std::vector<std::string>{"hid arrival detected", "hid arrival detected"}));

        log.clear();
        watcher.device_changed(DeviceChange::Removal, "\\\\?\\HID#VID_096E&PID_0858#hidraw2");
        QCOMPARE(changes.count(), 3);
        QVERIFY(log.messages().empty());

        watcher.device_changed(DeviceChange::Arrival, "\\\\?\\HID#vid_096e&pid_0858#hidraw2");
        watcher.device_changed(DeviceChange::Arrival, "\\\\?\\HID#VID_046D&PID_C52B#hidraw3");
        watcher.device_changed(DeviceChange::Removal, "\\\\?\\HID#VID_046D&PID_C52B#hidraw3");
        QCOMPARE(changes.count(), 3);
        QVERIFY(log.messages().empty());
    }

    void udev_devpaths_become_windows_style_interface_paths()
    {
        QCOMPARE(hid_interface_path_from_devpath(
                     "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:096E:0858.0004/hidraw/hidraw2"),
                 std::optional<std::string>("\\\\?\\HID#VID_096E&PID_0858#hidraw2"));
        QCOMPARE(hid_interface_path_from_devpath("/devices/virtual/misc/uhid/0003:096e:0a5b.000B/hidraw/hidraw11"),
                 std::optional<std::string>("\\\\?\\HID#VID_096E&PID_0A5B#hidraw11"));
        QCOMPARE(hid_interface_path_from_devpath(
                     "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/bluetooth/hci0/hci0:256/0005:046D:B012.0007/hidraw/hidraw5"),
                 std::optional<std::string>("\\\\?\\HID#VID_046D&PID_B012#hidraw5"));

        // Not a hidraw node, or no HID id where it belongs.
        QCOMPARE(hid_interface_path_from_devpath("/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:096E:0858.0004/input/input9"),
                 std::nullopt);
        QCOMPARE(hid_interface_path_from_devpath("/devices/pci0000:00/0000:00:14.0/hidraw/hidraw2"), std::nullopt);
        QCOMPARE(hid_interface_path_from_devpath("/devices/usb1/0003:096E.0004/hidraw/hidraw2"), std::nullopt);
        QCOMPARE(hid_interface_path_from_devpath("/devices/usb1/0003:096E:0858./hidraw/hidraw2"), std::nullopt);
        QCOMPARE(hid_interface_path_from_devpath("hidraw/hidraw2"), std::nullopt);
    }

    void polling_notices_arrivals_and_removals_on_the_bus()
    {
        SimulatedBus sim;
        Seen seen;
        EnumerationPoller poller([&](DeviceChange change, const QString& path) { seen.emplace_back(change, path); },
                                 60000);
        poller.look();
        QVERIFY(seen.empty());

        const int second_id = sim.bus->plug(SimulatedBus::make_token("SECOND"), 0x096E, 0x0A5B);
        sim.bus->plug(nullptr, 0x046D, 0xC52B);
        poller.look();
        QCOMPARE(seen.size(), std::size_t(1));
        QCOMPARE(seen[0].first, DeviceChange::Arrival);
        QVERIFY(seen[0].second.startsWith("\\\\?\\HID#VID_096E&PID_0A5B#"));

        sim.bus->unplug(second_id);
        sim.bus->unplug(sim.token_id);
        poller.look();
        QCOMPARE(seen.size(), std::size_t(3));
        QCOMPARE(seen[1].first, DeviceChange::Removal);
        QCOMPARE(seen[2].first, DeviceChange::Removal);
        QVERIFY(seen[1].second.contains("PID_0858") != seen[2].second.contains("PID_0858"));
        poller.look();
        QCOMPARE(seen.size(), std::size_t(3));
    }
};

QTEST_MAIN(DeviceEventTest)
#include "test_device_event.moc"
