#include "cli.h"
#include "demo_token.h"
#include "hid_access.h"
#include "oathtool.h"
#include "quiet_log.h"
#include "sim_bus.h"

#include <easylogging++.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

const std::string kDemoSecretHex = "3132333435363738393031323334353637383930";

struct Outcome {
    int exit_code = -1;
    std::string out;
    std::string err;
};

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

#ifdef __linux__
// Answers the doctor's Linux questions as each test needs.
struct FakeLinuxSystem : cli::LinuxSystem {
    bool usb_present = false;
    int open_errno = EACCES;
    std::vector<std::string> rules;
    cli::SessionState session = cli::SessionState::Active;
    std::optional<cli::NodeAccess> node = cli::NodeAccess{0600, "root", "root", false, false};

    bool usb_device_present(std::uint16_t) override { return usb_present; }
    int open_error(const std::string&) override { return open_errno; }
    std::vector<std::string> uaccess_rules(std::uint16_t) override { return rules; }
    cli::SessionState session_state() override { return session; }
    std::optional<cli::NodeAccess> node_access(const std::string&) override { return node; }
};
#endif

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus = std::make_shared<sim::SimBus>();
        hidaccess::install_raw_device_io(bus);
        environment.doctor_answer_limit = std::chrono::milliseconds(500);
#ifdef __linux__
        environment.linux_system = linux_system;
#endif
    }

    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }

    Outcome run(QStringList arguments)
    {
        arguments.prepend("larkmoor-cli");
        std::ostringstream out;
        std::ostringstream err;
        Outcome outcome;
        outcome.exit_code = cli::run_cli(arguments, out, err, environment);
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }

    void at_time(std::int64_t time)
    {
        environment.now = [time] { return time; };
    }

    std::shared_ptr<sim::SimBus> bus;
    cli::Environment environment;
#ifdef __linux__
    std::shared_ptr<FakeLinuxSystem> linux_system = std::make_shared<FakeLinuxSystem>();
#endif
};

TEST_F(Cli, CodeIsTheTokensCodeZeroPaddedToItsDigitsAsOathtoolComputesIt)
{
    struct Variant {
        sim::OtpHash hash;
        const char* oath_name;
        std::string secret;
        int digits;
    };
    const std::vector<Variant> variants = {
        {sim::OtpHash::Sha1, "sha1", "12345678901234567890", 6},
        {sim::OtpHash::Sha256, "sha256", "12345678901234567890123456789012", 8},
    };
    // Leading zeros stay: 1111111109 gives 081804 with six digits, 1000000270 gives 09986758 with eight.
    const std::vector<std::int64_t> times = {59, 1111111109, 1234567890, 1000000270, 2000000000};

    for (const Variant& variant : variants) {
        auto token = std::make_shared<sim::SimToken>();
        token->add_user({ascii("USER01"), sim::OtpAlgorithm::Totp, variant.hash, ascii(variant.secret), variant.digits});
        const int id = bus->plug(token);
        for (std::int64_t time : times) {
            SCOPED_TRACE(std::string(variant.oath_name) + " at " + std::to_string(time));
            at_time(time);
            const std::string expected =
                oathtool("--totp=" + std::string(variant.oath_name) + " -d " + std::to_string(variant.digits) +
                         " --now @" + std::to_string(time) + " " + hex(ascii(variant.secret)));

            const Outcome plain = run({"code"});
            EXPECT_EQ(plain.exit_code, 0);
            EXPECT_EQ(plain.out, expected + "\n");
            EXPECT_EQ(plain.err, "");

            const Outcome json = run({"code", "--json"});
            EXPECT_EQ(json.exit_code, 0);
            QJsonParseError error{};
            const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json.out), &error).object();
            ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out;
            EXPECT_EQ(object["serial"].toString(), "USER01");
            EXPECT_EQ(object["code"].toString().toStdString(), expected);
            EXPECT_EQ(object["digits"].toInt(), variant.digits);
            EXPECT_EQ(object["valid_for"].toInt(), 30 - time % 30);
        }
        bus->unplug(id);
    }
}

TEST_F(Cli, ACodeWhoseWindowPassedBeforeTheAnswerIsAskedForAgain)
{
    auto token = sim::make_demo_token();
    bus->plug(token);
    // Asked in the last second of one window, answered in the next.
    std::vector<std::int64_t> clock = {29, 31, 31, 31};
    environment.now = [&clock] {
        const std::int64_t now = clock.front();
        if (clock.size() > 1)
            clock.erase(clock.begin());
        return now;
    };

    const Outcome outcome = run({"code", "--json"});
    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out)).object();
    EXPECT_EQ(object["code"].toString().toStdString(), oathtool("--totp -d 6 --now @31 " + kDemoSecretHex));
    EXPECT_EQ(object["valid_for"].toInt(), 29);
}

TEST_F(Cli, WaitKeepsAskingUntilTheButtonIsPressedAndSaysSoOnce)
{
    auto token = sim::make_demo_token();
    token->set_press_mode(true);
    token->set_auto_press(std::nullopt);
    token->set_press_wait(sim::Milliseconds(500));  // several refusals before the press
    bus->plug(token);
    at_time(1234567890);

    const auto started = std::chrono::steady_clock::now();
    std::thread presser([token] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        token->press_button();
    });
    const Outcome outcome = run({"code", "--wait"});
    presser.join();

    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    EXPECT_EQ(outcome.out, oathtool("--totp -d 6 --now @1234567890 " + kDemoSecretHex) + "\n");
    EXPECT_EQ(count_of(outcome.err, "Waiting for a press of the token's button."), 1u) << outcome.err;
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    std::size_t calculations = 0;
    for (const Bytes& command : token->received_commands())
        calculations += command.size() > 1 && command[1] == 0xA2;
    EXPECT_GE(calculations, 2u) << "the token refused at least once before the press";
}

TEST_F(Cli, APressNotGivenInTimeIsARefusal)
{
    auto token = sim::make_demo_token();
    token->set_press_mode(true);
    token->set_auto_press(std::nullopt);
    token->set_press_wait(sim::Milliseconds(300));
    bus->plug(token);
    environment.button_hint_after = std::chrono::milliseconds(100);

    // Without --wait the token's own refusal ends it.
    const Outcome once = run({"code"});
    EXPECT_EQ(once.exit_code, 3);
    EXPECT_EQ(once.out, "");
    EXPECT_NE(once.err.find("not pressed in time"), std::string::npos) << once.err;

    // The limit ends a wait inside the token's own, longer one.
    token->set_press_wait(sim::Milliseconds(5000));
    const auto started = std::chrono::steady_clock::now();
    const Outcome limited = run({"code", "--wait", "--timeout", "1"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
    EXPECT_EQ(limited.exit_code, 3);
    EXPECT_EQ(limited.out, "");
    EXPECT_NE(limited.err.find("The token's button was not pressed within 1 second."), std::string::npos)
        << limited.err;
}

TEST_F(Cli, ASilentTokenEndsAtTheTimeLimit)
{
    auto token = sim::make_demo_token();
    token->set_silent(true);
    bus->plug(token);

    const Outcome outcome = run({"info", "--timeout", "1"});
    EXPECT_EQ(outcome.exit_code, 3);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "The token did not answer within 1 second.\n");
}

TEST_F(Cli, NoTokenIsExitOneWithNothingOnStandardOutput)
{
    bus->plug(nullptr, 0x046D, 0xC52B);  // someone else's receiver
    const Outcome outcome = run({"code"});
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(count_of(outcome.err, "\n"), 1u) << outcome.err;
    EXPECT_NE(outcome.err.find("No token found"), std::string::npos);
}

TEST_F(Cli, ATokenWhoseCollectionRefusesToOpenIsExitTwoAndTheDoctorNamesIt)
{
    sim::SimCollection refusing;
    refusing.opens = false;
    const int id = bus->plug(sim::make_demo_token(), 0x096E, 0x0858, {refusing});
    const std::string path = bus->paths(id).front();

    const Outcome code = run({"code"});
    EXPECT_EQ(code.exit_code, 2);
    EXPECT_EQ(code.out, "");
    EXPECT_NE(code.err.find("larkmoor-cli doctor"), std::string::npos);

    const Outcome doctor = run({"doctor"});
    EXPECT_EQ(doctor.exit_code, 2);
    EXPECT_NE(doctor.out.find("[problem] " + path + " cannot be opened"), std::string::npos) << doctor.out;
}

TEST_F(Cli, InfoListsTheActiveUserAndEveryRecordAsJson)
{
    auto token = sim::make_demo_token();
    token->set_active_user(1);
    bus->plug(token);

    const Outcome outcome = run({"info", "--json"});
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    QJsonParseError error{};
    const QJsonObject info = QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << outcome.out;
    EXPECT_EQ(info["serial"].toString(), "SIM0000002");
    EXPECT_EQ(info["algorithm"].toString(), "HOTP");
    EXPECT_EQ(info["hash"].toString(), "SHA-256");
    const QJsonArray users = info["users"].toArray();
    ASSERT_EQ(users.size(), 2);
    EXPECT_EQ(users[0].toObject()["serial"].toString(), "SIM0000001");
    EXPECT_EQ(users[0].toObject()["algorithm"].toString(), "TOTP");
    EXPECT_EQ(users[0].toObject()["hash"].toString(), "SHA-1");
    EXPECT_FALSE(users[0].toObject()["active"].toBool());
    EXPECT_TRUE(users[1].toObject()["active"].toBool());

    const Outcome text = run({"info"});
    EXPECT_EQ(text.out.substr(0, text.out.find("Users:")),
              "Serial Number: SIM0000002\nAlgorithm: HOTP\nHash: SHA-256\n");
}

TEST_F(Cli, PressModeSwitchesTheToken)
{
    auto token = sim::make_demo_token();
    bus->plug(token);

    EXPECT_EQ(run({"press-mode", "on"}).exit_code, 0);
    EXPECT_TRUE(token->press_mode());
    const Outcome off = run({"press-mode", "off"});
    EXPECT_EQ(off.exit_code, 0);
    EXPECT_EQ(off.out, "Press mode is off.\n");
    EXPECT_FALSE(token->press_mode());

    token->answer_next_command_with(0x6A, 0x80);
    const Outcome refused = run({"press-mode", "on"});
    EXPECT_EQ(refused.exit_code, 3);
    EXPECT_EQ(refused.out, "");
    EXPECT_FALSE(token->press_mode());
}

TEST_F(Cli, BadUsageIsExitFourWithTheUsageOnStandardError)
{
    bus->plug(sim::make_demo_token());
    const std::vector<QStringList> misuses = {
        {},
        {"frobnicate"},
        {"code", "--bogus"},
        {"code", "extra"},
        {"press-mode"},
        {"press-mode", "maybe"},
        {"doctor", "--json"},
        {"press-mode", "on", "--wait"},
        {"code", "--timeout", "0"},
        {"code", "--timeout", "soon"},
        {"code", "--timeout"},
    };
    for (const QStringList& arguments : misuses) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exit_code, 4);
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find("Usage: "), std::string::npos) << outcome.err;
    }

    const Outcome help = run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("press-mode on|off"), std::string::npos);
    EXPECT_LE(count_of(help.out, "\n"), 24u) << "the help must fit one screen";
}

TEST_F(Cli, LogRecordsReachTheTerminalOnlyWithVerboseAndThenOnStandardError)
{
    bus->plug(sim::make_demo_token());
    at_time(59);
    const std::string code = oathtool("--totp -d 6 --now @59 " + kDemoSecretHex) + "\n";

    const Outcome quiet = run({"code"});
    EXPECT_EQ(quiet.out, code);
    EXPECT_EQ(quiet.err, "");

    const Outcome verbose = run({"code", "--verbose"});
    EXPECT_EQ(verbose.out, code);
    EXPECT_NE(verbose.err.find("Instruction Succesfully"), std::string::npos);
}

TEST_F(Cli, DoctorWalksAWorkingTokenDownToGetActive)
{
    sim::SimCollection keyboard{0x0001, 0x06, 1, true};
    const int id = bus->plug(sim::make_demo_token(), 0x096E, 0x0858, {sim::SimCollection{}, keyboard});

    const Outcome outcome = run({"doctor"});
    EXPECT_EQ(outcome.exit_code, 0) << outcome.out;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(count_of(outcome.out, "[problem]"), 0u) << outcome.out;
    EXPECT_NE(outcome.out.find("[ok] " + bus->paths(id)[0] + ": FIDO collection"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("[note] " + bus->paths(id)[1] + ": keyboard collection"), std::string::npos);
    EXPECT_NE(outcome.out.find("[ok] The FIDO collection answers INIT."), std::string::npos);
    EXPECT_NE(outcome.out.find("[ok] The token selects its OTP application."), std::string::npos);
    EXPECT_NE(outcome.out.find("the active user is SIM0000001"), std::string::npos);
}

TEST_F(Cli, DoctorNamesWhatTheTokenDoesWrong)
{
    struct Fault {
        const char* name;
        std::function<void(sim::SimToken&)> inject;
        std::string finding;
    };
    const std::vector<Fault> faults = {
        {"silent", [](sim::SimToken& token) { token.set_silent(true); },
         "[problem] The FIDO collection does not answer INIT (no answer within 500 ms)"},
        {"wrong nonce", [](sim::SimToken& token) { token.corrupt_next_nonce(); },
         "[problem] The FIDO collection does not answer INIT (Error in AllocateChannel)"},
        {"refused select", [](sim::SimToken& token) { token.set_refuse_select(true); },
         "[problem] The token refuses to select its OTP application (status 0x6A82)"},
        {"refused get-active", [](sim::SimToken& token) { token.answer_next_command_with(0x69, 0x85); },
         "[problem] The token does not answer get-active (resp_code exception: Conditions not satisfied)"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        auto token = sim::make_demo_token();
        fault.inject(*token);
        const int id = bus->plug(token);
        const Outcome outcome = run({"doctor"});
        EXPECT_EQ(outcome.exit_code, 3);
        EXPECT_NE(outcome.out.find(fault.finding), std::string::npos) << outcome.out;
        bus->unplug(id);
    }
}

TEST_F(Cli, DoctorNamesCollectionsThatKeepTheTokenFromBeingUsed)
{
    sim::SimCollection vendor_page{0xFF00, 0x01, 0, true};
    sim::SimCollection keyboard{0x0001, 0x06, 1, true};
    int id = bus->plug(sim::make_demo_token(), 0x096E, 0x0858, {vendor_page, sim::SimCollection{0xF1D0, 0x01, 2, true}});
    Outcome outcome = run({"doctor"});
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_NE(outcome.out.find("[problem] " + bus->paths(id)[0] + " opens before any FIDO collection"),
              std::string::npos)
        << outcome.out;
    EXPECT_EQ(outcome.out.find("All checks passed"), std::string::npos);
    bus->unplug(id);

    id = bus->plug(sim::make_demo_token(), 0x096E, 0x0858, {keyboard});
    outcome = run({"doctor"});
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_NE(outcome.out.find("[problem] The token lists no FIDO collection"), std::string::npos) << outcome.out;
}

#ifdef __linux__

TEST_F(Cli, DoctorExplainsWhyLinuxRefusesTheCollection)
{
    sim::SimCollection refusing;
    refusing.opens = false;
    const int id = bus->plug(sim::make_demo_token(), 0x096E, 0x0858, {refusing});
    const std::string path = bus->paths(id).front();

    // Permission denied, with nothing set up for the user at the seat.
    linux_system->open_errno = EACCES;
    linux_system->session = cli::SessionState::Inactive;
    Outcome outcome = run({"doctor"});
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_NE(outcome.out.find("[problem] " + path + " cannot be opened: permission denied."), std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.out.find("[problem] No udev rule gives vendor 096e"), std::string::npos);
    EXPECT_NE(outcome.out.find("[problem] You are logged in, but not in the active local session"), std::string::npos);
    EXPECT_NE(outcome.out.find("[problem] " + path + " (rw------- root:root) carries no uaccess ACL"),
              std::string::npos);

    // Everything in place, and still refused.
    linux_system->rules = {"/usr/lib/udev/rules.d/70-larkmoor.rules"};
    linux_system->session = cli::SessionState::Active;
    linux_system->node = cli::NodeAccess{0600, "root", "root", true, true};
    outcome = run({"doctor"});
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_NE(outcome.out.find("[ok] A udev rule gives vendor 096e to the user at the seat: "
                               "/usr/lib/udev/rules.d/70-larkmoor.rules."),
              std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.out.find("[ok] You are the user of the active session"), std::string::npos);
    EXPECT_NE(outcome.out.find("(rw-------+ root:root) carries an ACL entry that lets you read and write"),
              std::string::npos);

    linux_system->open_errno = EBUSY;
    outcome = run({"doctor"});
    EXPECT_NE(outcome.out.find("[problem] " + path + " cannot be opened: busy"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.out.find("udev"), std::string::npos) << "only a refused permission asks about udev";

    linux_system->open_errno = ENOENT;
    outcome = run({"doctor"});
    EXPECT_NE(outcome.out.find("[problem] " + path + " cannot be opened: gone"), std::string::npos) << outcome.out;
}

TEST_F(Cli, DoctorTellsATokenWithoutHidFromNoTokenAtAll)
{
    Outcome outcome = run({"doctor"});
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_NE(outcome.out.find("[problem] No HID device of vendor 0x096E is listed"), std::string::npos);
    EXPECT_NE(outcome.out.find("plug the token in"), std::string::npos) << outcome.out;

    linux_system->usb_present = true;
    outcome = run({"doctor"});
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_NE(outcome.out.find("yet a USB device of that vendor is on the bus"), std::string::npos) << outcome.out;
}

TEST(LinuxAnswers, TheShippedUdevRuleTagsTheVendorWithUaccess)
{
    std::ifstream file(LARKMOOR_SOURCE_DIR "/packaging/linux/70-larkmoor.rules");
    std::stringstream shipped;
    shipped << file.rdbuf();
    ASSERT_FALSE(shipped.str().empty());
    EXPECT_TRUE(cli::rules_tag_uaccess(shipped.str(), 0x096E));
    EXPECT_FALSE(cli::rules_tag_uaccess(shipped.str(), 0x1050));

    EXPECT_FALSE(cli::rules_tag_uaccess("# ATTRS{idVendor}==\"096e\", TAG+=\"uaccess\"\n", 0x096E));
    EXPECT_FALSE(cli::rules_tag_uaccess("ATTRS{idVendor}==\"096e\", MODE=\"0600\"\n", 0x096E));
    EXPECT_TRUE(cli::rules_tag_uaccess("SUBSYSTEM==\"hidraw\", \\\n  ATTRS{idVendor}==\"096E\", TAG+=\"uaccess\"\n",
                                       0x096E));
}

TEST(LinuxAnswers, AnAclGrantsTheUserOnlyWhatItsMaskLets)
{
    // Version 2, then (tag, permissions, id) entries, little-endian.
    const auto acl = [](std::vector<std::array<unsigned, 3>> entries) {
        std::string value = {2, 0, 0, 0};
        for (const auto& [tag, permissions, id] : entries) {
            value += {static_cast<char>(tag), 0, static_cast<char>(permissions), 0};
            for (int shift = 0; shift < 32; shift += 8)
                value += static_cast<char>((id >> shift) & 0xFF);
        }
        return value;
    };
    const unsigned uid = 1000;
    const unsigned any = 0xFFFFFFFF;
    const std::string granted = acl({{0x01, 6, any}, {0x02, 6, uid}, {0x04, 0, any}, {0x10, 6, any}, {0x20, 0, any}});
    EXPECT_TRUE(cli::acl_grants_read_write(granted, uid));
    EXPECT_FALSE(cli::acl_grants_read_write(granted, uid + 1));
    EXPECT_FALSE(cli::acl_grants_read_write(acl({{0x02, 6, uid}, {0x10, 4, any}}), uid));
    EXPECT_FALSE(cli::acl_grants_read_write(acl({{0x02, 4, uid}}), uid));
    EXPECT_FALSE(cli::acl_grants_read_write(granted.substr(0, 11), uid));
    EXPECT_FALSE(cli::acl_grants_read_write("", uid));
}

TEST(LinuxAnswers, OnlyAnActiveLogindUserIsAtTheSeat)
{
    EXPECT_EQ(cli::session_state_of("# This is private data.\nNAME=ada\nSTATE=active\n"), cli::SessionState::Active);
    EXPECT_EQ(cli::session_state_of("NAME=ada\nSTATE=online\n"), cli::SessionState::Inactive);
    EXPECT_EQ(cli::session_state_of("NAME=ada\n"), cli::SessionState::Inactive);
}

#endif

TEST(QuietLog, NoRecordReachesStandardOutputWhateverTheConfigurationSays)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("XDG_DATA_HOME", folder.path().toUtf8());
    const std::string conf = folder.filePath("log.conf").toStdString();
    std::ofstream(conf) << "* GLOBAL:\n    TO_STANDARD_OUTPUT = true\n";

    std::ostringstream captured;
    std::streambuf* saved = std::cout.rdbuf(captured.rdbuf());
    cli::setup_quiet_log(conf);
    LOG(INFO) << "after the set-up";
    cli::setup_quiet_log(folder.filePath("missing.conf").toStdString());
    LOG(INFO) << "after a set-up without a file";
    std::cout.rdbuf(saved);

    EXPECT_EQ(captured.str(), "");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
