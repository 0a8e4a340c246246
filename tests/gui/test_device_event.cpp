#include "device_broadcast.h"
#include "device_event.h"
#include "enumeration_poller.h"
#include "gui_test_support.h"
#include "hid_interface_path.h"
#include "log_capture.h"
#include "main_frame.h"

#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include <cstring>
#include <utility>

namespace {

// A WM_DEVICECHANGE device-interface record as Windows lays it out: size, type 5, reserved,
// class GUID, then the UTF-16 name and its terminator; exactly as long as it says.
std::vector<std::uint8_t> interface_record(const std::u16string& name)
{
    std::vector<std::uint8_t> record(28 + 2 * (name.size() + 1), 0);
    const auto size = static_cast<std::uint32_t>(record.size());
    std::memcpy(record.data(), &size, 4);
    record[4] = 5;
    for (std::size_t i = 0; i < name.size(); ++i) {
        record[28 + 2 * i] = static_cast<std::uint8_t>(name[i] & 0xFF);
        record[29 + 2 * i] = static_cast<std::uint8_t>(name[i] >> 8);
    }
    return record;
}

// Any other broadcast record: a header of its own type, as short as it really is.
std::vector<std::uint8_t> header_only_record(std::uint32_t type, std::uint32_t size)
{
    std::vector<std::uint8_t> record(size, 0xAB);
    std::memcpy(record.data(), &size, 4);
    std::memcpy(record.data() + 4, &type, 4);
    return record;
}

const std::u16string kTokenInterface =
    u"\\\\?\\HID#VID_096E&PID_0858&MI_01#7&2a1f0c9a&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

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

    void windows_records_are_classified_by_message_event_and_type()
    {
        std::vector<std::uint8_t> record = interface_record(kTokenInterface);
        auto broadcast = win32::classify_device_change(0x0219, 0x8000, record.data());
        QVERIFY(broadcast.has_value());
        QCOMPARE(broadcast->change, DeviceChange::Arrival);
        QVERIFY(broadcast->interface_path == kTokenInterface);
        broadcast = win32::classify_device_change(0x0219, 0x8004, record.data());
        QVERIFY(broadcast.has_value());
        QCOMPARE(broadcast->change, DeviceChange::Removal);

        // Node changes, removal queries and pending removals carry nothing to act on.
        for (std::uintptr_t event : {0x0007u, 0x8001u, 0x8003u})
            QVERIFY(!win32::classify_device_change(0x0219, event, record.data()).has_value());
        QVERIFY(!win32::classify_device_change(0x0218, 0x8000, record.data()).has_value());
        QVERIFY(!win32::classify_device_change(0x0219, 0x8000, nullptr).has_value());

        // A volume (type 2, 18 bytes) and a port (type 3, 12-byte header plus a short name)
        // are skipped by their header; the sanitizer build catches any read past their end.
        std::vector<std::uint8_t> volume = header_only_record(2, 18);
        std::vector<std::uint8_t> port = header_only_record(3, 14);
        QVERIFY(!win32::classify_device_change(0x0219, 0x8000, volume.data()).has_value());
        QVERIFY(!win32::classify_device_change(0x0219, 0x8004, port.data()).has_value());

        // A name without its terminator is read only as far as the record's size allows.
        std::vector<std::uint8_t> unterminated = interface_record(u"VID_096E");
        unterminated.resize(unterminated.size() - 2);
        const auto size = static_cast<std::uint32_t>(unterminated.size());
        std::memcpy(unterminated.data(), &size, 4);
        broadcast = win32::classify_device_change(0x0219, 0x8000, unterminated.data());
        QVERIFY(broadcast.has_value());
        QVERIFY(broadcast->interface_path == u"VID_096E");
    }

    void windows_registration_record_is_the_32_byte_ansi_interface_filter()
    {
        // HidD_GetHidGuid's {4D1E55B2-F16F-11CF-88CB-001111000030}, as it lies in memory.
        const std::array<std::uint8_t, 16> guid = {0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11,
                                                   0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30};
        const win32::HidInterfaceFilter filter = win32::hid_interface_filter(guid);
        std::array<std::uint8_t, 32> expected = {32, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
        std::copy(guid.begin(), guid.end(), expected.begin() + 12);
        QVERIFY(filter.bytes == expected);
    }
};

QTEST_MAIN(DeviceEventTest)
#include "test_device_event.moc"
