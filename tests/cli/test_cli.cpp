#include "cli.h"
#include "demo_token.h"
#include "hid_access.h"
#include "oathtool.h"
#include "quiet_log.h"
#include "sim_bus.h"
#include "test_helpers.h"

#include <easylogging++.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::string demo_code_at(std::int64_t time)
{
    return oathtool("--totp -d 6 --now @" + std::to_string(time) + " 3132333435363738393031323334353637383930");
}

struct Outcome {
    int exit_code = -1;
    std::string out;
    std::string err;
};

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

QJsonObject json(const std::string& text)
{
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return object;
}

// The doctor's Linux questions and the answers each test gives.
struct LinuxAnswers {
    bool usb_present = false;
    int open_errno = EACCES;
    std::vector<std::string> rules = {};
    cli::SessionState session = cli::SessionState::Active;
    cli::NodeAccess node = {0600, "root", "root", false, false};
};
struct FakeLinuxSystem : cli::LinuxSystem, LinuxAnswers {
    bool usb_device_present(std::uint16_t) override { return usb_present; }
    int open_error(const std::string&) override { return open_errno; }
    std::vector<std::string> uaccess_rules(std::uint16_t) override { return rules; }
    cli::SessionState session_state() override { return session; }
    std::optional<cli::NodeAccess> node_access(const std::string&) override { return node; }
};

const sim::SimCollection kKeyboard = sim::keyboard_collection(1);
const sim::SimCollection kRefusing{0xF1D0, 0x01, 0, false};
const sim::SimCollection kVendorPage{0xFF00, 0x01, 0, true};

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        hidaccess::install_raw_device_io(bus);
        environment.doctor_answer_limit = 500ms;
        environment.button_hint_after = 100ms;
        environment.linux_system = linux_system;
    }

    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }

    std::shared_ptr<sim::SimToken> plug(std::vector<sim::SimCollection> collections = {sim::SimCollection{}})
    {
        auto token = sim::make_demo_token();
        id = bus->plug(token, 0x096E, 0x0858, std::move(collections));
        return token;
    }

    Outcome run(QStringList arguments)
    {
        // As typed with its folder: messages name the program by its base name only.
        arguments.prepend("/usr/lib/larkmoor/larkmoor-cli");
        std::ostringstream out;
        std::ostringstream err;
        const int exit_code = cli::run_cli(arguments, out, err, environment);
        return {exit_code, out.str(), err.str()};
    }

    void at_time(std::int64_t time)
    {
        environment.now = [time] { return time; };
    }

    std::string path(std::size_t collection) const { return bus->paths(id).at(collection); }

    std::shared_ptr<sim::SimBus> bus = std::make_shared<sim::SimBus>();
    int id = 0;
    cli::Environment environment;
    std::shared_ptr<FakeLinuxSystem> linux_system = std::make_shared<FakeLinuxSystem>();
};

// SHA-1 with six digits, SHA-256 with eight; 1111111109 gives 081804, 1000000270 09986758.
TEST_F(Cli, CodeAsOathtoolComputesIt)
{
    for (const auto& [hash, name, secret, digits] :
         {std::tuple{sim::OtpHash::Sha1, "sha1", "12345678901234567890", 6},
          std::tuple{sim::OtpHash::Sha256, "sha256", "12345678901234567890123456789012", 8}}) {
        auto token = std::make_shared<sim::SimToken>();
        token->add_user({ascii("USER01"), sim::OtpAlgorithm::Totp, hash, ascii(secret), digits});
        // Listed after a collection that never answers, which discovery must pass over.
        const int token_id = bus->plug(token, 0x096E, 0x0858, {kVendorPage, sim::SimCollection{}});
        for (std::int64_t time : {59LL, 1111111109LL, 1000000270LL, 20000000000LL}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(time));
            at_time(time);
            const std::string expected = oathtool("--totp=" + std::string(name) + " -d " + std::to_string(digits) +
                                                  " --now @" + std::to_string(time) + " " + hex(ascii(secret)));
            const Outcome plain = run({"code"});
            EXPECT_EQ(plain.exit_code, 0);
            EXPECT_EQ(plain.out + plain.err, expected + "\n");
            const QJsonObject object = json(run({"code", "--json"}).out);
            EXPECT_EQ(object["serial"].toString() + " " + object["code"].toString() + " " +
                          QString::number(object["digits"].toInt()) + " " +
                          QString::number(object["valid_for"].toInt()),
                      QString("USER01 %1 %2 %3").arg(expected.c_str()).arg(digits).arg(30 - time % 30));
        }
        bus->unplug(token_id);
    }
}

TEST_F(Cli, ACodeWhoseWindowPassedBeforeTheAnswerIsAskedForAgain)
{
    plug();
    // Asked in the last second of one window, answered in the next.
    std::vector<std::int64_t> clock = {29, 31, 31, 31};
    environment.now = [&clock] {
        const std::int64_t now = clock.front();
        if (clock.size() > 1)
            clock.erase(clock.begin());
        return now;
    };
    const QJsonObject object = json(run({"code", "--json"}).out);
    EXPECT_EQ(object["code"].toString().toStdString(), demo_code_at(31));
    EXPECT_EQ(object["valid_for"].toInt(), 29);
}

TEST_F(Cli, WaitKeepsAskingUntilTheButtonIsPressed)
{
    auto token = plug();
    token->set_press_mode(true);
    token->set_press_wait(sim::Milliseconds(300));  // refusals before the press
    at_time(1234567890);
    // Pressed once the command has been refused and asked again.
    std::thread presser([token] {
        for (const auto give_up = std::chrono::steady_clock::now() + 30s;
             token->received_commands().size() < 3 && std::chrono::steady_clock::now() < give_up;)
            std::this_thread::sleep_for(10ms);
        token->press_button();
    });
    const Outcome outcome = run({"code", "--wait"});
    presser.join();
    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    EXPECT_EQ(outcome.out, demo_code_at(1234567890) + "\n");
    EXPECT_EQ(outcome.err, "Waiting for a press of the token's button.\n");
}

// Every failure is one sentence on standard error, nothing on standard output, and its exit code.
TEST_F(Cli, FailuresEndWithTheirExitCodeAndOneSentence)
{
    const auto press = [](int wait_ms) {
        return [wait_ms](sim::SimToken& token) {
            token.set_press_mode(true);
            token.set_press_wait(sim::Milliseconds(wait_ms));
        };
    };
    const std::string limit = "Waiting for a press of the token's button.\n"
                              "The token's button was not pressed within 1 second.\n";
    const std::string usage = ". Try 'larkmoor-cli --help'.\n";
    const struct {
        const char* name;
        QStringList arguments;
        std::function<void(sim::SimToken&)> arrange;  // null: nothing is plugged in
        int exit_code;
        std::string err;  // part of standard error
        std::vector<sim::SimCollection> collections = {sim::SimCollection{}};
        std::size_t max_commands = 1000;
    } cases[] = {
        {"no token", {"code"}, nullptr, 1, "No token found"},
        {"collection refuses to open", {"code"}, [](sim::SimToken&) {}, 2, "run 'larkmoor-cli doctor'", {kRefusing}},
        {"token lost mid-command", {"code"}, [](sim::SimToken& token) { token.shorten_next_report(1); }, 2,
         "The token stopped answering (U2F answer report is too short)"},
        {"silent token", {"info", "--timeout", "1"}, [](sim::SimToken& token) { token.set_silent(true); }, 3,
         "The token did not answer within 1 second.\n"},
        {"press not given in time", {"code"}, press(300), 3, "not pressed in time; try again with --wait."},
        {"limit inside the token's own wait", {"code", "--wait", "--timeout", "1"}, press(5000), 3, limit},
        // A token that refuses at once is asked again after a pause, not in a tight loop.
        {"refusals at once", {"code", "--wait", "--timeout", "1"}, press(0), 3, limit, {sim::SimCollection{}}, 12},
        // A word no table knows: a write takes only 90 00 for success.
        {"press-mode refused", {"press-mode", "off"},
         [](sim::SimToken& token) { token.answer_next_command_with(0x6F, 0x00); }, 3,
         "The token refused the command (resp_code exception: Unknown status word 6f 00)"},
        // A usage error is one line, which points to --help rather than printing it.
        {"unknown option", {"code", "--bogus"}, [](sim::SimToken&) {}, 4,
         "larkmoor-cli: unknown option '--bogus'. Try 'larkmoor-cli --help'.\n"},
        {"bad press mode", {"press-mode", "maybe"}, [](sim::SimToken&) {}, 4, usage},
        {"unknown command", {"frobnicate"}, [](sim::SimToken&) {}, 4,
         "larkmoor-cli: unknown command 'frobnicate'. Try 'larkmoor-cli --help'.\n"},
        {"argument too many", {"code", "info"}, [](sim::SimToken&) {}, 4, usage},
        {"no time at all", {"code", "--timeout", "0"}, [](sim::SimToken&) {}, 4, usage},
        {"wait without a press", {"press-mode", "on", "--wait"}, [](sim::SimToken&) {}, 4, usage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::shared_ptr<sim::SimToken> token;
        if (c.arrange) {
            token = plug(c.collections);
            c.arrange(*token);
        }
        const Outcome outcome = run(c.arguments);
        EXPECT_EQ(outcome.exit_code, c.exit_code);
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(has(outcome.err, c.err)) << outcome.err;
        EXPECT_TRUE(c.exit_code != 4 || std::count(outcome.err.begin(), outcome.err.end(), '\n') == 1) << outcome.err;
        if (token) {
            EXPECT_LE(token->received_commands().size(), c.max_commands);
            bus->unplug(id);
        }
    }
}

TEST_F(Cli, InfoPressModeAndVerbose)
{
    auto token = plug();
    token->set_active_user(1);
    const QJsonObject info = json(run({"info", "--json"}).out);
    EXPECT_EQ(info["serial"].toString() + info["algorithm"].toString() + info["hash"].toString(),
              "SIM0000002HOTPSHA-256");
    EXPECT_EQ(QJsonDocument(info["users"].toArray()).toJson(QJsonDocument::Compact).count("\"active\":true"), 1);
    EXPECT_EQ(info["users"].toArray()[0].toObject()["hash"].toString(), "SHA-1");
    const Outcome text = run({"info"});
    EXPECT_EQ(text.out.substr(0, text.out.find("Users:")),
              "Serial Number: SIM0000002\nAlgorithm: HOTP\nHash: SHA-256\n");

    EXPECT_EQ(run({"press-mode", "on"}).out, "Press mode is on.\n");
    EXPECT_TRUE(token->press_mode());
    EXPECT_EQ(run({"press-mode", "off"}).out, "Press mode is off.\n");
    EXPECT_FALSE(token->press_mode());

    // Log records reach the terminal only with --verbose, and then on standard error.
    token->set_active_user(0);
    at_time(59);
    EXPECT_EQ(run({"code"}).err, "");
    const Outcome verbose = run({"code", "--verbose"});
    EXPECT_EQ(verbose.out, demo_code_at(59) + "\n");
    EXPECT_TRUE(has(verbose.err, "Instruction Succesfully"));
}

// The doctor exits with the code of the first problem it finds; on Linux it says why a
// collection cannot be opened, and only a refused permission asks about udev, session and ACL.
TEST_F(Cli, DoctorNamesWhatKeepsTheTokenFromWorking)
{
    const auto none = [](sim::SimToken&) {};
    const cli::NodeAccess acl{0600, "root", "root", true, true};
    const struct {
        const char* name;
        std::vector<sim::SimCollection> collections;
        std::function<void(sim::SimToken&)> arrange;  // null: nothing is plugged in
        int exit_code;
        std::vector<std::string> findings;  // "#0", "#1": the path of that collection
        LinuxAnswers system = {};
    } cases[] = {
        // The keyboard, listed first, is named but not opened: opening it first would be a problem.
        {"working", {kKeyboard, sim::SimCollection{}}, none, 0,
         {"[note] #0: keyboard collection", "[ok] #1: FIDO collection", "[ok] The FIDO collection answers INIT.",
          "[ok] The token selects its OTP application.", "the active user is SIM0000001", "All checks passed"}},
        {"silent", {sim::SimCollection{}}, [](sim::SimToken& token) { token.set_silent(true); }, 3,
         {"[problem] The FIDO collection does not answer INIT (no answer within 500 ms)"}},
        {"refused get-active", {sim::SimCollection{}},
         [](sim::SimToken& token) { token.answer_next_command_with(0x69, 0x85); }, 3,
         {"[problem] The token does not answer get-active (resp_code exception: Conditions not satisfied)"}},
        {"vendor page first, then a refused SELECT", {kVendorPage, sim::SimCollection{0xF1D0, 0x01, 2, true}},
         [](sim::SimToken& token) { token.set_refuse_select(true); }, 3,
         {"[note] #0: other collection", "[ok] Larkmoor uses #1, the FIDO collection.",
          "[problem] The token refuses to select its OTP application (status 0x6A82)"}},
        // The status word is found by both bytes of the answer's length.
        {"long SELECT answer", {sim::SimCollection{}}, [](sim::SimToken& token) { token.pad_next_select(300); }, 0,
         {"[ok] The token selects its OTP application."}},
        {"no FIDO collection", {kKeyboard}, none, 2, {"[problem] The token lists no FIDO collection"}},
        {"refused, nothing granted", {kRefusing}, none, 2,
         {"[problem] #0 cannot be opened: permission denied.", "[problem] No udev rule gives vendor 096e",
          "[problem] You are logged in, but not in the active local session",
          "[problem] #0 (rw------- root:root) carries no uaccess ACL"},
         {false, EACCES, {}, cli::SessionState::Inactive}},
        {"refused, all granted", {kRefusing}, none, 2,
         {"[ok] A udev rule gives vendor 096e to the user at the seat: /usr/lib/udev/rules.d/70-larkmoor.rules.",
          "[ok] You are the user of the active session",
          "(rw-------+ root:root) carries an ACL entry that lets you read and write"},
         {false, EACCES, {"/usr/lib/udev/rules.d/70-larkmoor.rules"}, cli::SessionState::Active, acl}},
        {"busy", {kRefusing}, none, 2, {"[problem] #0 cannot be opened: busy, another program holds it"}, {false, EBUSY}},
        {"not listed", {}, nullptr, 1,
         {"[problem] No HID device of vendor 0x096E is listed", "yet a USB device of that vendor is on the bus"},
         {true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        static_cast<LinuxAnswers&>(*linux_system) = c.system;
        if (c.arrange)
            c.arrange(*plug(c.collections));
        const Outcome outcome = run({"doctor"});
        EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome.out;
        EXPECT_EQ(outcome.err, "");
        for (std::string finding : c.findings) {
            for (std::size_t i = 0; i < c.collections.size(); ++i)
                if (const auto at = finding.find("#" + std::to_string(i)); at != std::string::npos)
                    finding.replace(at, 2, path(i));
            EXPECT_TRUE(has(outcome.out, finding)) << finding << " in\n" << outcome.out;
        }
        EXPECT_EQ(has(outcome.out, "[problem]"), c.exit_code != 0) << outcome.out;
        const bool refused = c.collections.size() == 1 && !c.collections[0].opens;
        EXPECT_EQ(has(outcome.out, "udev"), refused && c.system.open_errno == EACCES);
        if (c.arrange)
            bus->unplug(id);
    }
}

// The shipped rule is one the doctor recognizes; a commented-out one is not.
TEST(LinuxAnswers, ShippedRule)
{
    std::ifstream file(LARKMOOR_SOURCE_DIR "/packaging/linux/70-larkmoor.rules");
    const std::string shipped((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(cli::rules_tag_uaccess(shipped, 0x096E));
    EXPECT_FALSE(cli::rules_tag_uaccess(shipped, 0x1050));
    EXPECT_FALSE(cli::rules_tag_uaccess("# ATTRS{idVendor}==\"096e\", TAG+=\"uaccess\"\n", 0x096E));
}

TEST(QuietLog, NoRecordReachesStandardOutputWhateverTheConfigurationSays)
{
    QTemporaryDir folder;
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
