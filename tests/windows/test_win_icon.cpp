#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The icon group resource as the resource compiler stores it (RT_GROUP_ICON).
#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;   // 0 stands for 256
    BYTE height;
    BYTE colour_count;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes_in_resource;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;  // 1: icons
    WORD count;
};
#pragma pack(pop)

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

Resource find_resource(LPCSTR name, LPCSTR type)
{
    HRSRC found = FindResourceA(nullptr, name, type);
    if (found == nullptr)
        return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(nullptr, found)};
}

}  // namespace

TEST(ProductIcon, GroupHoldsFiveSquare32BitImagesThatWindowsCanLoad)
{
    const Resource group = find_resource("IDI_ICON1", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(group.data, nullptr);
    ASSERT_GE(group.size, sizeof(GroupIconHeader));
    GroupIconHeader header;
    std::memcpy(&header, group.data, sizeof header);
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 5);
    ASSERT_EQ(group.size, sizeof header + header.count * sizeof(GroupIconEntry));

    std::vector<int> sizes;
    for (int i = 0; i < header.count; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data + sizeof header + i * sizeof entry, sizeof entry);
        const int size = entry.width == 0 ? 256 : entry.width;
        SCOPED_TRACE(size);
        sizes.push_back(size);
        EXPECT_EQ(entry.height, entry.width);
        EXPECT_EQ(entry.bit_count, 32);

        const Resource image = find_resource(MAKEINTRESOURCEA(entry.id), MAKEINTRESOURCEA(3));  // RT_ICON
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.size, entry.bytes_in_resource);
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE, 0x00030000, size, size,
                                              LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        ASSERT_NE(GetObjectA(info.hbmColor, sizeof colour, &colour), 0);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 256}));
}
