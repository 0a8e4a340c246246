#include "open_failure.h"

#include "hid.h"

#ifdef __linux__
#include <cerrno>
#include <cstring>
#endif

namespace cli {

OpenFailureExplainer::OpenFailureExplainer([[maybe_unused]] const Environment& environment)
#ifdef __linux__
    : system(environment.linux_system ? environment.linux_system : host_linux_system())
#endif
{
}

#ifdef __linux__

namespace {

std::string permissions_text(const NodeAccess& access)
{
    std::string text = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        if ((access.mode & (1u << (8 - bit))) == 0)
            text[static_cast<std::size_t>(bit)] = '-';
    return text + (access.acl ? "+ " : " ") + access.owner + ":" + access.group;
}

std::string rule_folders()
{
    std::string text;
    for (std::size_t i = 0; i < kUdevRuleFolders.size(); ++i)
        text += (i == 0 ? "" : i + 1 == kUdevRuleFolders.size() ? " or " : ", ") + kUdevRuleFolders[i];
    return text;
}

}  // namespace

void OpenFailureExplainer::explain(const std::string& path, DoctorReport& report)
{
    const int error = system->open_error(path);
    switch (error) {
    case 0:
        report.problem(kCannotOpen, path + " opens for the system, but the HID layer did not open it: replug the token, "
                                           "and if that does not help, run with --verbose and keep the log.");
        return;
    case EACCES:
    case EPERM:
        report.problem(kCannotOpen, path + " cannot be opened: permission denied.");
        explain_permission(path, report);
        return;
    case EBUSY:
        report.problem(kCannotOpen, path + " cannot be opened: busy, another program holds it; close programs that "
                                           "use the token (a browser, another Larkmoor) and try again.");
        return;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        report.problem(kCannotOpen, path + " cannot be opened: gone, the token was unplugged or reset meanwhile; "
                                           "plug it in again and run the doctor again.");
        return;
    default:
        report.problem(kCannotOpen, path + " cannot be opened: " + std::strerror(error) + ".");
        return;
    }
}

void OpenFailureExplainer::explain_permission(const std::string& path, DoctorReport& report)
{
    if (!system_questions_asked) {
        system_questions_asked = true;
        const std::vector<std::string> rules = system->uaccess_rules(kOrvandelVendorId);
        if (rules.empty()) {
            report.problem(kCannotOpen, "No udev rule gives vendor 096e to the user at the seat (TAG+=\"uaccess\") in " +
                                            rule_folders() + ": install 70-larkmoor.rules into /etc/udev/rules.d, "
                                            "run 'sudo udevadm control --reload' and replug the token.");
        } else {
            std::string files;
            for (const std::string& rule : rules)
                files += (files.empty() ? "" : ", ") + rule;
            report.ok("A udev rule gives vendor 096e to the user at the seat: " + files + ".");
        }

        switch (system->session_state()) {
        case SessionState::Active:
            report.ok("You are the user of the active session at a local seat.");
            break;
        case SessionState::Inactive:
            report.problem(kCannotOpen, "You are logged in, but not in the active local session (remote, in the "
                                        "background, or another user is in front): uaccess gives the token only to "
                                        "the user at the seat; run Larkmoor in the desktop session in front of you.");
            break;
        case SessionState::None:
            report.problem(kCannotOpen, "systemd-logind knows no session of yours, so uaccess never applies to you: "
                                        "log in at the seat, or give yourself access with a group rule.");
            break;
        case SessionState::Unknown:
            report.note("Whether you are at the seat cannot be told (no systemd-logind): uaccess needs logind; "
                        "without it, a rule with GROUP= and MODE=\"0660\" gives access instead.");
            break;
        }
    }

    const std::optional<NodeAccess> access = system->node_access(path);
    if (!access) {
        report.problem(kCannotOpen, path + " cannot be looked at: it is gone, or its folder is closed to you.");
    } else if (access->user_acl_rw) {
        report.ok(path + " (" + permissions_text(*access) + ") carries an ACL entry that lets you read and write.");
        report.note("Open is refused all the same: a security module (AppArmor, SELinux) or a sandbox (Flatpak, "
                    "Snap) may deny it.");
    } else if (access->acl) {
        report.problem(kCannotOpen, path + " (" + permissions_text(*access) + ") carries an ACL, but no entry for "
                                           "you: the seat's uaccess went to another user; switch to your session "
                                           "in front, or replug the token.");
    } else {
        report.problem(kCannotOpen, path + " (" + permissions_text(*access) + ") carries no uaccess ACL: the rule "
                                           "was not applied to it; after installing the rule, run 'sudo udevadm "
                                           "control --reload' and replug the token.");
    }
}

#else

void OpenFailureExplainer::explain(const std::string& path, DoctorReport& report)
{
    report.problem(kCannotOpen, path + " cannot be opened: another program may hold it exclusively, or the system "
                                       "keeps it for itself; close programs that use the token and replug it.");
}

#endif

}  // namespace cli
