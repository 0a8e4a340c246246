#include "hid_interface_path.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace {

std::vector<std::string> split_path(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool is_hex(const std::string& text, std::size_t from, std::size_t count)
{
    if (from + count > text.size())
        return false;
    for (std::size_t i = from; i < from + count; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// The kernel's HID device name: bus, vendor and product as four hex digits each, then a
// running number, e.g. 0003:096E:0858.0004.
bool is_hid_id(const std::string& part)
{
    return part.size() > 15 && is_hex(part, 0, 4) && part[4] == ':' && is_hex(part, 5, 4) && part[9] == ':' &&
           is_hex(part, 10, 4) && part[14] == '.' && is_hex(part, 15, part.size() - 15);
}

}  // namespace

std::string hid_interface_path(std::uint16_t vendor_id, std::uint16_t product_id, const std::string& node)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", vendor_id, product_id);
    return std::string("\\\\?\\HID#") + ids + "#" + node;
}

std::optional<std::string> hid_interface_path_from_devpath(const std::string& devpath)
{
    const std::vector<std::string> parts = split_path(devpath);
    // .../<hid id>/hidraw/<node>
    if (parts.size() < 3 || parts[parts.size() - 2] != "hidraw")
        return std::nullopt;
    const std::string& hid_id = parts[parts.size() - 3];
    if (!is_hid_id(hid_id))
        return std::nullopt;
    const auto vendor_id = static_cast<std::uint16_t>(std::stoul(hid_id.substr(5, 4), nullptr, 16));
    const auto product_id = static_cast<std::uint16_t>(std::stoul(hid_id.substr(10, 4), nullptr, 16));
    return hid_interface_path(vendor_id, product_id, parts.back());
}
