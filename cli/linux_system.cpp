#include "linux_system.h"

#ifdef __linux__

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace cli {

const std::vector<std::string> kUdevRuleFolders = {
    "/etc/udev/rules.d", "/lib/udev/rules.d", "/usr/lib/udev/rules.d", "/usr/local/lib/udev/rules.d"};

namespace {

namespace fs = std::filesystem;

// The layout of a POSIX access ACL in its extended attribute: a 4-byte version, then
// 8-byte entries (tag, permissions, id), all little-endian.
constexpr std::uint32_t kAclVersion = 2;
constexpr std::size_t kAclHeaderSize = 4;
constexpr std::size_t kAclEntrySize = 8;
constexpr std::uint16_t kAclUser = 0x02;
constexpr std::uint16_t kAclMask = 0x10;
constexpr std::uint16_t kAclReadWrite = 0x04 | 0x02;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string hex4(std::uint16_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

std::optional<std::string> read_file(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

unsigned little_endian(const std::string& bytes, std::size_t at, std::size_t size)
{
    unsigned value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string user_name(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(uid);
}

std::string group_name(gid_t gid)
{
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(gid);
}

class HostLinuxSystem : public LinuxSystem {
public:
    bool usb_device_present(std::uint16_t vendor_id) override
    {
        std::error_code error;
        for (const fs::directory_entry& device : fs::directory_iterator("/sys/bus/usb/devices", error)) {
            const std::optional<std::string> vendor = read_file(device.path() / "idVendor");
            if (vendor && lower(vendor->substr(0, 4)) == hex4(vendor_id))
                return true;
        }
        return false;
    }

    int open_error(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return errno;
        ::close(fd);
        return 0;
    }

    std::vector<std::string> uaccess_rules(std::uint16_t vendor_id) override
    {
        std::vector<std::string> found;
        for (const std::string& folder : kUdevRuleFolders) {
            std::vector<fs::path> files;
            std::error_code error;
            for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
                if (entry.path().extension() == ".rules")
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) {
                const std::optional<std::string> text = read_file(file);
                if (text && rules_tag_uaccess(*text, vendor_id))
                    found.push_back(file.string());
            }
        }
        return found;
    }

    SessionState session_state() override
    {
        const fs::path users = "/run/systemd/users";
        std::error_code error;
        if (!fs::is_directory(users, error))
            return SessionState::Unknown;
        const std::optional<std::string> state = read_file(users / std::to_string(::getuid()));
        return state ? session_state_of(*state) : SessionState::None;
    }

    std::optional<NodeAccess> node_access(const std::string& path) override
    {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0)
            return std::nullopt;
        NodeAccess access;
        access.mode = status.st_mode & 07777;
        access.owner = user_name(status.st_uid);
        access.group = group_name(status.st_gid);

        const char* const name = "system.posix_acl_access";
        const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
        if (size > 0) {
            std::string value(static_cast<std::size_t>(size), '\0');
            const ssize_t got = ::getxattr(path.c_str(), name, value.data(), value.size());
            if (got > 0) {
                value.resize(static_cast<std::size_t>(got));
                access.acl = true;
                access.user_acl_rw = acl_grants_read_write(value, ::getuid());
            }
        }
        return access;
    }
};

}  // namespace

std::shared_ptr<LinuxSystem> host_linux_system()
{
    return std::make_shared<HostLinuxSystem>();
}

bool rules_tag_uaccess(const std::string& rules_text, std::uint16_t vendor_id)
{
    const std::string vendor = "\"" + hex4(vendor_id) + "\"";
    std::istringstream lines(rules_text);
    std::string rule;
    std::string line;
    while (std::getline(lines, line)) {
        // A backslash at the end continues the rule on the next line.
        if (!line.empty() && line.back() == '\\') {
            rule += line.substr(0, line.size() - 1);
            continue;
        }
        rule = lower(rule + line);
        const std::size_t start = rule.find_first_not_of(" \t");
        const bool comment = start == std::string::npos || rule[start] == '#';
        if (!comment && rule.find("idvendor") != std::string::npos && rule.find(vendor) != std::string::npos &&
            rule.find("\"uaccess\"") != std::string::npos)
            return true;
        rule.clear();
    }
    return false;
}

bool acl_grants_read_write(const std::string& xattr_value, unsigned uid)
{
    if (xattr_value.size() < kAclHeaderSize || little_endian(xattr_value, 0, 4) != kAclVersion)
        return false;
    std::optional<unsigned> user_permissions;
    unsigned mask = kAclReadWrite;
    for (std::size_t at = kAclHeaderSize; at + kAclEntrySize <= xattr_value.size(); at += kAclEntrySize) {
        const unsigned tag = little_endian(xattr_value, at, 2);
        const unsigned permissions = little_endian(xattr_value, at + 2, 2);
        const unsigned id = little_endian(xattr_value, at + 4, 4);
        if (tag == kAclUser && id == uid)
            user_permissions = permissions;
        else if (tag == kAclMask)
            mask = permissions;
    }
    return user_permissions && (*user_permissions & mask & kAclReadWrite) == kAclReadWrite;
}

SessionState session_state_of(const std::string& logind_user_file)
{
    std::istringstream lines(logind_user_file);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("STATE=", 0) == 0)
            return line.substr(6) == "active" ? SessionState::Active : SessionState::Inactive;
    }
    return SessionState::Inactive;
}

}  // namespace cli

#endif
