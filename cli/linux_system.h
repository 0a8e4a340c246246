#pragma once

#ifdef __linux__

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Whether the user sits at a seat, as systemd-logind sees it; uaccess follows the active session.
enum class SessionState {
    Active,    // in the foreground at a local seat
    Inactive,  // logged in, but remote, in the background or lingering
    None,      // logind knows no session of this user
    Unknown,   // no logind to ask
};

struct NodeAccess {
    unsigned mode = 0;  // permission bits of the node
    std::string owner;
    std::string group;
    bool acl = false;          // the node carries an access ACL at all
    bool user_acl_rw = false;  // ...with an entry that lets this user read and write
};

// The questions the doctor asks the Linux system. Every answer is read, nothing is changed,
// and none needs root, so tests can stand in for each answer.
class LinuxSystem {
public:
    virtual ~LinuxSystem() = default;
    // Whether a USB device of the vendor is on the bus at all, HID or not.
    virtual bool usb_device_present(std::uint16_t vendor_id) = 0;
    // errno of opening the node for reading and writing; 0 when it opens (it is closed at once).
    virtual int open_error(const std::string& path) = 0;
    // The installed udev rule files that tag the vendor's devices with uaccess.
    virtual std::vector<std::string> uaccess_rules(std::uint16_t vendor_id) = 0;
    virtual SessionState session_state() = 0;
    // Null when the node cannot be looked at.
    virtual std::optional<NodeAccess> node_access(const std::string& path) = 0;
};

std::shared_ptr<LinuxSystem> host_linux_system();

// The folders udev reads rules from, in the order it prefers them.
extern const std::vector<std::string> kUdevRuleFolders;

// Whether a rules file has a rule for the vendor's devices that adds the uaccess tag.
bool rules_tag_uaccess(const std::string& rules_text, std::uint16_t vendor_id);
// Whether a "system.posix_acl_access" value lets the user read and write, its mask applied.
bool acl_grants_read_write(const std::string& xattr_value, unsigned uid);
// The state of /run/systemd/users/<uid>; Inactive for any state but "active".
SessionState session_state_of(const std::string& logind_user_file);

}  // namespace cli

#endif
