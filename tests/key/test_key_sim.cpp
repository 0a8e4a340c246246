// The key layer over the simulated token: codes against oathtool, one fault per request,
// traffic nobody asked for, discovery and the log file.

#include "key_exception.h"
#include "log_capture.h"
#include "oathtool.h"
#include "sim_fixture.h"
#include "toolkit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <thread>
#include <typeinfo>

using namespace std::chrono_literals;

using KeySim = SimTokenTest;

// One fault in one request: the request fails as a real token's fault makes it fail (an access
// error only where the answer cannot be read), leaves the data alone, and the key works next time.
TEST_F(KeySim, OneFaultFailsOneRequest)
{
    const struct {
        const char* name;
        std::function<void(sim::SimToken&)> arrange;
        const std::type_info* thrown;  // null: the request works
        std::string text;
    } cases[] = {
        {"another program's INIT answer", [](sim::SimToken& t) { t.send_foreign_init_answer_before_next(); },
         &typeid(KeyException), "Error in AllocateChannel"},
        {"no object", [](sim::SimToken& t) { t.answer_next_command_with(0x69, 0x84); }, &typeid(KeyNoObjectException),
         "No such object"},
        {"report cut to 16", [](sim::SimToken& t) { t.shorten_next_report(16); }, &typeid(KeyAccessException),
         "U2F INIT answer is too short"},
        {"only padding cut", [](sim::SimToken& t) { t.shorten_next_report(24); }, nullptr, ""},
        // Waited for until the two-second limit.
        {"missing continuation", [](sim::SimToken& t) { t.pad_next_answer(100); t.drop_next_continuation(); },
         &typeid(KeyAccessException), "Malformed key response: shorter than its length byte"},
    };
    auto key = discover();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange(*token);
        Bytes data = ascii("kept");
        try {
            key->op_get_active(data);
            EXPECT_EQ(c.thrown, nullptr) << "nothing was thrown";
            EXPECT_EQ(data, serial);
        } catch (const KeyException& e) {
            EXPECT_EQ(typeid(e).name(), c.thrown != nullptr ? c.thrown->name() : "none");
            EXPECT_EQ(e.what(), c.text);
            if (typeid(e) == typeid(KeyAccessException)) {
                EXPECT_EQ(data, ascii("kept"));
            }
        }
        key->op_get_active(data);
        EXPECT_EQ(data, serial);
    }
    // Answers over continuation reports keep every byte in place.
    for (std::size_t padding : {49u, 50u, 108u, 109u, 392u}) {
        token->pad_next_answer(padding);
        Bytes data;
        key->op_get_active(data);
        ASSERT_EQ(data.size(), serial.size() + padding);
        EXPECT_EQ(data[serial.size() + padding - 1], static_cast<std::uint8_t>(((padding - 1) * 7 + 1) & 0xFF));
    }
}

// Another channel's answer, keep-alives during a press and a busy channel are not the answer.
TEST_F(KeySim, TrafficNobodyAskedFor)
{
    auto key = discover();
    const std::uint32_t reference =
        std::stoul(oathtool("--totp -d 6 -N @1234567890 3132333435363738393031323334353637383930"));
    const auto code = [&] {
        Bytes response;
        key->cal_hcode(serial, response, 1234567890);
        std::int32_t digits = 0;
        return key->get_otp(response, digits);
    };
    token->send_foreign_answer_before_next();
    LogCapture log;
    EXPECT_EQ(code(), reference);
    EXPECT_TRUE(log.contains("Skipped 1 reports that were not the answer"));
    EXPECT_EQ(token->received_commands().back(),
              cat({{0x00, 0xA2, 0x01, 0x00, 0x12, 0x54, 0x08, 0, 0, 0, 0, 0x02, 0x73, 0xEF, 0x07, 0x51, 0x06}, serial}));

    token->set_press_mode(true);
    token->set_keepalive_during_press(true);
    token->set_auto_press(std::chrono::milliseconds(1000));
    EXPECT_EQ(code(), reference);

    // Another handle waits for a press: this one's request meets CHANNEL_BUSY, a key error.
    token->set_auto_press(std::nullopt);
    token->set_press_wait(10s);
    auto waiting = discover();
    token->forget_received();
    std::int32_t digits = 0;
    auto pending = std::async(std::launch::async, [&] { return waiting->op_get_otp(serial, digits); });
    for (int i = 0; i < 500 && token->received_commands().empty(); ++i)
        std::this_thread::sleep_for(10ms);
    Bytes data = ascii("kept");
    try {
        key->op_get_active(data);
        ADD_FAILURE() << "nothing was thrown";
    } catch (const KeyException& e) {
        EXPECT_EQ(typeid(e), typeid(KeyException));
        EXPECT_STREQ(e.what(), "U2F error answer: CHANNEL_BUSY (6)");
    }
    EXPECT_TRUE(key->is_connected());
    token->press_button();
    pending.get();
    EXPECT_EQ(digits, 6);
}

// Other vendors are listed but never opened; a collection that refuses to open is skipped for
// the next; every token is opened in enumeration order behind the keys passed in.
TEST_F(KeySim, Discovery)
{
    bus->unplug(id);
    sim::SimCollection kept_by_system;
    kept_by_system.opens = false;
    const int mouse = bus->plug(nullptr, 0x046D, 0xC52B);
    id = bus->plug(token, 0x096E, 0x0407, {kept_by_system, sim::SimCollection{}});
    LogCapture log;
    std::vector<std::shared_ptr<U2FUsbKey>> keys = {nullptr};
    HID().find_device(kOrvandelVendorId, keys);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(bus->open_handle_count(mouse), 0);
    EXPECT_EQ(bus->open_handle_count(id), 1);
    const auto found = [](const std::string& ids, const std::string& path) {
        return "Device Found\n" + ids + "\npath: " + path;
    };
    const std::vector<std::string> messages = log.messages();
    ASSERT_GE(messages.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 5),
              (std::vector<std::string>{found("vendor id: 46d   product id: c52b", bus->paths(mouse).at(0)),
                                        found("vendor id: 96e   product id: 407", bus->paths(id).at(0)),
                                        "Failed to open Orvandel handle",
                                        found("vendor id: 96e   product id: 407", bus->paths(id).at(1)),
                                        "Opening Orvandel handle"}));
    keys.clear();
    EXPECT_EQ(bus->open_handle_count(id), 0);
}

// Whatever file the configuration names, the log goes to ours, in a folder and file that are
// the user's alone (serial numbers and codes are logged), also when there is no configuration.
TEST(KeyLog, SetupLog)
{
    QTemporaryDir data_home;
    ASSERT_TRUE(data_home.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(data_home.path()));
    const QString folder = data_home.path() + "/Orvandel/Larkmoor";
    const std::string file = QFile::encodeName(folder + "/larkmoor.log").toStdString();
    const std::string elsewhere = QFile::encodeName(data_home.filePath("elsewhere.log")).toStdString();
    const std::string conf = QFile::encodeName(data_home.filePath("log.conf")).toStdString();
    const auto lines = [](const std::string& path) {
        el::Loggers::flushAll();
        std::ifstream in(path);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return all;
    };

    setup_log(QFile::encodeName(data_home.filePath("absent.conf")).toStdString());
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    EXPECT_EQ(QFile::permissions(folder) & 0x7077, owner | QFileDevice::ExeOwner);
    EXPECT_EQ(QFile::permissions(QFile::decodeName(file.c_str())) & 0x7077, owner);
    EXPECT_NE(lines(file).find("Read log conf file from: "), std::string::npos);

    std::ofstream(conf) << "* GLOBAL:\n    FORMAT = \"%level %msg\"\n    TO_FILE = true\n"
                           "    TO_STANDARD_OUTPUT = false\n    LOG_FLUSH_THRESHOLD = 1\n"
                           "* INFO:\n    FILENAME = \"" + elsewhere + "\"\n";
    setup_log(conf);
    LOG(INFO) << "info marker";
    EXPECT_NE(lines(file).find("INFO Read log conf file from: " + conf + "\nINFO info marker\n"), std::string::npos);
    EXPECT_EQ(lines(elsewhere), "");
    qunsetenv("XDG_DATA_HOME");
}
