// Checks that need Windows itself: its record layouts, hid.dll, the shell's folders.

#include "app_data_folder.h"
#include "device_broadcast.h"

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which the HID headers assume.
#include <dbt.h>
// mingw-w64's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
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

using Record = std::vector<std::uint8_t>;

// Decodes a record placed so that it ends where an inaccessible page begins: reading one byte
// past its end faults, and the test program dies instead of passing.
std::optional<win32::DeviceBroadcast> classify(WPARAM event, const Record& bytes)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    const std::size_t readable = (bytes.size() + page - 1) / page * page;
    auto* base =
        static_cast<std::uint8_t*>(VirtualAlloc(nullptr, readable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old_protection = 0;
    if (base == nullptr || !VirtualProtect(base + readable, page, PAGE_NOACCESS, &old_protection))
        throw std::runtime_error("no guard page");
    std::uint8_t* record = base + readable - bytes.size();
    std::memcpy(record, bytes.data(), bytes.size());
    const auto broadcast = win32::classify_device_change(WM_DEVICECHANGE, event, record);
    VirtualFree(base, 0, MEM_RELEASE);
    return broadcast;
}

// A record of `type` as Windows delivers it to a Unicode window: as long as its name and the
// terminator need (`cut` bytes fewer), the name at `name_at`.
Record record(DWORD type, std::size_t name_at, const std::wstring& name, std::size_t cut = 0)
{
    Record bytes(name_at + (name.size() + 1) * sizeof(wchar_t) - cut);
    const DWORD size = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &size, 4);
    std::memcpy(bytes.data() + 4, &type, 4);
    if (type == DBT_DEVTYP_DEVICEINTERFACE)
        HidD_GetHidGuid(reinterpret_cast<GUID*>(bytes.data() + 12));
    std::memcpy(bytes.data() + name_at, name.c_str(), bytes.size() - name_at);
    return bytes;
}

}  // namespace

// Arrival and removal carry the interface's whole name unchanged (other vendors' and lower-case
// tags too, for the match to judge); a name without terminator stops at the record's stated
// end; other events and records of other types (port, handle) are skipped.
TEST(Windows, DeviceChangeRecords)
{
    const std::size_t at = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    const std::wstring token =
        L"\\\\?\\HID#VID_096E&PID_0858&MI_01#7&2a1f0c9a&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const std::pair<Record, std::wstring> names[] = {
        {record(DBT_DEVTYP_DEVICEINTERFACE, at, token), token},
        {record(DBT_DEVTYP_DEVICEINTERFACE, at, L"\\\\?\\HID#vid_096e&pid_0858#7&1&0&0000#{guid}"),
         L"\\\\?\\HID#vid_096e&pid_0858#7&1&0&0000#{guid}"},
        {record(DBT_DEVTYP_DEVICEINTERFACE, at, L""), L""},
        {record(DBT_DEVTYP_DEVICEINTERFACE, at, L"\\\\?\\HID#VID_096E&PID_0858", sizeof(wchar_t)),
         L"\\\\?\\HID#VID_096E&PID_0858"},
    };
    for (const auto& [bytes, name] : names) {
        for (const auto& [event, change] : {std::pair{WPARAM{DBT_DEVICEARRIVAL}, DeviceChange::Arrival},
                                            std::pair{WPARAM{DBT_DEVICEREMOVECOMPLETE}, DeviceChange::Removal}}) {
            const auto broadcast = classify(event, bytes);
            ASSERT_TRUE(broadcast);
            EXPECT_EQ(broadcast->change, change);
            EXPECT_EQ(broadcast->interface_path, std::u16string(name.begin(), name.end()));
        }
        for (WPARAM event :
             {WPARAM{DBT_DEVICEQUERYREMOVE}, WPARAM{DBT_DEVICEREMOVEPENDING}, WPARAM{DBT_DEVNODES_CHANGED}})
            EXPECT_FALSE(classify(event, bytes));
    }
    // DBT_DEVNODES_CHANGED as Windows really sends it: no record at all.
    EXPECT_FALSE(win32::classify_device_change(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, nullptr));

    // A port's record, and a handle's, long enough to hold a name at byte 28: only the type tells.
    for (const Record& bytes : {record(DBT_DEVTYP_PORT, offsetof(DEV_BROADCAST_PORT_W, dbcp_name), L"COM3"),
                                record(DBT_DEVTYP_HANDLE, at, L"\\\\?\\HID#VID_096E&PID_0858")}) {
        EXPECT_FALSE(classify(DBT_DEVICEARRIVAL, bytes));
        EXPECT_FALSE(classify(DBT_DEVICEREMOVECOMPLETE, bytes));
    }
}

// The registration filter is the ANSI interface record of the HID class.
TEST(Windows, RegistrationFilter)
{
    GUID hid_class;
    HidD_GetHidGuid(&hid_class);
    std::array<std::uint8_t, 16> guid_bytes;
    std::memcpy(guid_bytes.data(), &hid_class, guid_bytes.size());
    win32::HidInterfaceFilter filter = win32::hid_interface_filter(guid_bytes);
    DEV_BROADCAST_DEVICEINTERFACE_A expected{};
    expected.dbcc_size = sizeof expected;
    expected.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    expected.dbcc_classguid = hid_class;
    EXPECT_EQ(std::memcmp(filter.bytes.data(), &expected, sizeof expected), 0);
}

// The log sits in the user's roaming folder (as the environment names it too), under
// Orvandel\Larkmoor, with no second backslash after a root or a trailing slash.
TEST(Windows, LogLocation)
{
    const std::string roaming = appdata::roaming_application_data_folder();
    ASSERT_NE(std::getenv("APPDATA"), nullptr);
    EXPECT_EQ(roaming, std::getenv("APPDATA"));
    EXPECT_EQ(appdata::log_location(roaming).file, roaming + "\\Orvandel\\Larkmoor\\larkmoor.log");
    EXPECT_EQ(appdata::log_location("C:\\").file, "C:\\Orvandel\\Larkmoor\\larkmoor.log");
    EXPECT_EQ(appdata::log_location("D:/profiles/ada/").folder, "D:/profiles/ada/Orvandel\\Larkmoor");
}
