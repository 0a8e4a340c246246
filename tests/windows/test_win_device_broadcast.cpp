#include "device_broadcast.h"

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which the HID headers assume.
#include <dbt.h>
// mingw-w64's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

// The decoder carries its own copies of these so that it builds without windows.h.
static_assert(win32::kWmDeviceChange == WM_DEVICECHANGE);
static_assert(win32::kDbtDeviceArrival == DBT_DEVICEARRIVAL);
static_assert(win32::kDbtDeviceRemoveComplete == DBT_DEVICEREMOVECOMPLETE);
static_assert(win32::kDbtDevtypDeviceInterface == DBT_DEVTYP_DEVICEINTERFACE);
static_assert(sizeof(win32::HidInterfaceFilter) == sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) == 28);

namespace {

// A record placed so that it ends where an inaccessible page begins: reading one byte past
// its end faults, and the test program dies instead of passing.
class GuardedRecord {
public:
    explicit GuardedRecord(const std::vector<std::uint8_t>& bytes)
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        const std::size_t page = system.dwPageSize;
        const std::size_t readable = (bytes.size() + page - 1) / page * page;
        base = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, readable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old_protection = 0;
        if (base == nullptr || !VirtualProtect(base + readable, page, PAGE_NOACCESS, &old_protection))
            throw std::runtime_error("no guard page");
        record = base + readable - bytes.size();
        std::memcpy(record, bytes.data(), bytes.size());
    }
    ~GuardedRecord() { VirtualFree(base, 0, MEM_RELEASE); }
    GuardedRecord(const GuardedRecord&) = delete;
    GuardedRecord& operator=(const GuardedRecord&) = delete;

    LPARAM lparam() const { return reinterpret_cast<LPARAM>(record); }

private:
    std::uint8_t* base = nullptr;
    std::uint8_t* record = nullptr;
};

template <typename Record>
std::vector<std::uint8_t> bytes_of(const Record& record, std::size_t size = sizeof(Record))
{
    const auto* first = reinterpret_cast<const std::uint8_t*>(&record);
    return std::vector<std::uint8_t>(first, first + size);
}

// DEV_BROADCAST_DEVICEINTERFACE_W as Windows delivers it to a Unicode window: exactly as long
// as the name and its terminator need.
std::vector<std::uint8_t> interface_record(const std::wstring& name)
{
    const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
    std::vector<std::uint8_t> bytes(size + sizeof(DEV_BROADCAST_DEVICEINTERFACE_W));
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&record->dbcc_classguid);
    std::memcpy(record->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    bytes.resize(size);
    return bytes;
}

std::optional<win32::DeviceBroadcast> classify(WPARAM wparam, const GuardedRecord& record)
{
    return win32::classify_device_change(WM_DEVICECHANGE, wparam, reinterpret_cast<const void*>(record.lparam()));
}

const std::wstring kTokenInterface =
    L"\\\\?\\HID#VID_096E&PID_0858&MI_01#7&2a1f0c9a&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

std::u16string utf16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

}  // namespace

// Arrival and removal carry the interface's whole name unchanged (other vendors' and lower-case
// tags too, for the match to judge); a name without terminator stops at the record's stated end.
TEST(Win32DeviceChange, ArrivalAndRemovalCarryTheWholeName)
{
    const std::wstring unterminated = L"\\\\?\\HID#VID_096E&PID_0858";
    for (const std::wstring& name : {kTokenInterface, std::wstring(L"\\\\?\\HID#vid_096e&pid_0858#7&1&0&0000#{guid}"),
                                     std::wstring(L"\\\\?\\HID#VID_046D&PID_C52B&MI_00#8&3&0&0000#{guid}"),
                                     std::wstring(L""), unterminated}) {
        std::vector<std::uint8_t> bytes = interface_record(name);
        if (name == unterminated) {
            bytes.resize(bytes.size() - sizeof(wchar_t));
            reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data())->dbcc_size = static_cast<DWORD>(bytes.size());
        }
        const GuardedRecord record(bytes);
        for (const auto& [event, change] : {std::pair{WPARAM{DBT_DEVICEARRIVAL}, DeviceChange::Arrival},
                                            std::pair{WPARAM{DBT_DEVICEREMOVECOMPLETE}, DeviceChange::Removal}}) {
            const auto broadcast = classify(event, record);
            ASSERT_TRUE(broadcast);
            EXPECT_EQ(broadcast->change, change);
            EXPECT_EQ(broadcast->interface_path, utf16(name));
        }
    }
}

TEST(Win32DeviceChange, OtherDeviceChangeEventsAreIgnored)
{
    const GuardedRecord record(interface_record(kTokenInterface));
    for (WPARAM event : {WPARAM{DBT_DEVICEQUERYREMOVE}, WPARAM{DBT_DEVICEREMOVEPENDING}, WPARAM{DBT_DEVNODES_CHANGED},
                         WPARAM{DBT_DEVICEQUERYREMOVEFAILED}, WPARAM{DBT_DEVICETYPESPECIFIC}}) {
        SCOPED_TRACE(event);
        EXPECT_FALSE(classify(event, record));
    }
    // DBT_DEVNODES_CHANGED as Windows really sends it: no record at all.
    EXPECT_FALSE(win32::classify_device_change(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, nullptr));
    EXPECT_FALSE(win32::classify_device_change(WM_DEVICECHANGE + 1, DBT_DEVICEARRIVAL,
                                               reinterpret_cast<const void*>(record.lparam())));
}

TEST(Win32DeviceChange, VolumePortAndHandleRecordsAreSkippedWithoutReadingPastTheirEnd)
{
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('E' - 'A');

    // DEV_BROADCAST_PORT_W with its name "COM3", as long as the name needs.
    const std::wstring port_name = L"COM3";
    const std::size_t port_size = offsetof(DEV_BROADCAST_PORT_W, dbcp_name) + (port_name.size() + 1) * sizeof(wchar_t);
    std::vector<std::uint8_t> port_bytes(sizeof(DEV_BROADCAST_PORT_W) + port_size);
    auto* port = reinterpret_cast<DEV_BROADCAST_PORT_W*>(port_bytes.data());
    port->dbcp_size = static_cast<DWORD>(port_size);
    port->dbcp_devicetype = DBT_DEVTYP_PORT;
    std::memcpy(port->dbcp_name, port_name.c_str(), (port_name.size() + 1) * sizeof(wchar_t));
    port_bytes.resize(port_size);

    // Long enough to hold a name at byte 28; only its type tells it apart.
    DEV_BROADCAST_HANDLE handle{};
    handle.dbch_size = sizeof handle;
    handle.dbch_devicetype = DBT_DEVTYP_HANDLE;
    handle.dbch_nameoffset = -1;

    for (const std::vector<std::uint8_t>& bytes : {bytes_of(volume), port_bytes, bytes_of(handle)}) {
        const GuardedRecord record(bytes);
        EXPECT_FALSE(classify(DBT_DEVICEARRIVAL, record));
        EXPECT_FALSE(classify(DBT_DEVICEREMOVECOMPLETE, record));
    }
}

TEST(Win32Registration, FilterIsTheAnsiInterfaceRecordForTheHidClass)
{
    GUID hid_class;
    HidD_GetHidGuid(&hid_class);
    // The HID interface class as Windows documents it: {4D1E55B2-F16F-11CF-88CB-001111000030}.
    const GUID documented = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    EXPECT_TRUE(IsEqualGUID(hid_class, documented));

    std::array<std::uint8_t, 16> guid_bytes;
    std::memcpy(guid_bytes.data(), &hid_class, guid_bytes.size());
    const win32::HidInterfaceFilter filter = win32::hid_interface_filter(guid_bytes);

    DEV_BROADCAST_DEVICEINTERFACE_A expected;
    std::memset(&expected, 0, sizeof expected);
    expected.dbcc_size = sizeof expected;
    expected.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    expected.dbcc_classguid = hid_class;
    EXPECT_EQ(std::vector<std::uint8_t>(filter.bytes.begin(), filter.bytes.end()), bytes_of(expected));
}

TEST(Win32Registration, WindowsAcceptsTheFilterForAWindow)
{
    HWND window = CreateWindowExA(0, "STATIC", "larkmoor test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    GUID hid_class;
    HidD_GetHidGuid(&hid_class);
    std::array<std::uint8_t, 16> guid_bytes;
    std::memcpy(guid_bytes.data(), &hid_class, guid_bytes.size());
    win32::HidInterfaceFilter filter = win32::hid_interface_filter(guid_bytes);

    HDEVNOTIFY notification = RegisterDeviceNotificationA(window, filter.bytes.data(), DEVICE_NOTIFY_WINDOW_HANDLE);
    EXPECT_NE(notification, nullptr);
    if (notification != nullptr)
        UnregisterDeviceNotification(notification);
    DestroyWindow(window);
}
