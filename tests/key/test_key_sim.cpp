// The key layer over the simulated token: long answers, a busy channel, discovery and the log file.

#include "hid.h"
#include "hid_access.h"
#include "key_exception.h"
#include "oathtool.h"
#include "otp_window.h"
#include "simulated_token.h"
#include "token.h"
#include "toolkit.h"

#include <easylogging++.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

// One simulated token with one TOTP user, plugged in, seen through the real access layer.
class KeySim : public ::testing::Test, public SimulatedToken {
protected:
    const Bytes serial = ascii("ABC123");
};

// Answers over continuation reports keep every byte in place, at each report's edges.
TEST_F(KeySim, LongAnswersOverContinuations)
{
    auto key = first_key();
    for (std::size_t padding : {49u, 50u, 108u, 109u, 392u}) {
        token->pad_next_answer(padding);
        Bytes data;
        key->op_get_active(data);
        ASSERT_EQ(data.size(), serial.size() + padding);
        EXPECT_EQ(data[serial.size() + padding - 1], static_cast<std::uint8_t>(((padding - 1) * 7 + 1) & 0xFF));
    }
}

// A request the token leaves unanswered ends at its deadline with the resynchronisation of its
// channel, after which the token answers again; a token that takes its time over that is busy
// meanwhile, not lost.
TEST_F(KeySim, AnUnansweredRequestIsAbandonedOnTheToken)
{
    auto key = first_key();
    const std::int64_t window = 37037037;  // 1111111110 s
    for (const auto resync_takes : {0ms, 300ms}) {
        SCOPED_TRACE(resync_takes.count());
        token->hang_next_command(resync_takes);
        const auto asked = std::chrono::steady_clock::now();
        const token::Read<token::Code> hung = token::read_code(*key, serial, window, asked + 300ms);
        EXPECT_EQ(hung.outcome.status, token::Status::NoAnswer);
        EXPECT_GE(std::chrono::steady_clock::now() - asked, 300ms);
        const Bytes last = token->received_reports().back();
        const Bytes request = token->received_reports().at(token->received_reports().size() - 2);
        EXPECT_EQ(Bytes(last.begin() + 1, last.begin() + 8),
                  cat({Bytes(request.begin() + 1, request.begin() + 5), {0x86, 0x00, 0x08}}));

        token::Read<token::Code> next = token::read_code(*key, serial, window, std::nullopt);
        if (resync_takes > 0ms) {
            EXPECT_EQ(next.outcome.status, token::Status::Busy);
            std::this_thread::sleep_for(resync_takes);
            next = token::read_code(*key, serial, window, std::nullopt);
        }
        ASSERT_TRUE(next.outcome.done()) << next.outcome.detail;
        EXPECT_EQ(token::code_text(next.value),
                  oathtool("--totp -d 6 --now @1111111110 " + hex(ascii("12345678901234567890"))));
    }
}

// No time limit on the first report of an answer: a user may take a while to press.
TEST_F(KeySim, ASlowPressIsWaitedFor)
{
    token->set_press_mode(true);
    token->set_auto_press(2500ms);
    std::int32_t digits = 0;
    first_key()->op_get_otp(serial, digits);
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
    std::vector<std::shared_ptr<U2FUsbKey>> keys = {nullptr};
    HID().find_device(kOrvandelVendorId, keys);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(bus->open_handle_count(mouse), 0);
    EXPECT_EQ(bus->open_handle_count(id), 1);
    keys.clear();
    EXPECT_EQ(bus->open_handle_count(id), 0);

    // A collection on another page listed first, which never answers, is passed over; where no
    // collection names its page, the first that opens is taken.
    bus->unplug(id);
    id = bus->plug(token, 0x096E, 0x0407, {sim::SimCollection{0xFF00, 0x01, 0, true}, sim::SimCollection{}});
    const token::Read<Bytes> read = token::read_serial(*token::find(), std::chrono::steady_clock::now() + 2s);
    EXPECT_EQ(read.value, serial) << read.outcome.detail;
    bus->unplug(id);
    id = bus->plug(token, 0x096E, 0x0407, {sim::SimCollection{0, 0, 0, false}, sim::SimCollection{0, 0, 1, true}});
    EXPECT_NE(token::find(), nullptr);
}

// Whatever file the configuration names, the log goes to ours, in a folder and file that are
// the user's alone (serial numbers and codes are logged).
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

    std::ofstream(conf) << "* GLOBAL:\n    FORMAT = \"%level %msg\"\n    TO_FILE = true\n"
                           "    TO_STANDARD_OUTPUT = false\n    LOG_FLUSH_THRESHOLD = 1\n"
                           "* INFO:\n    FILENAME = \"" + elsewhere + "\"\n";
    setup_log(conf);
    LOG(INFO) << "info marker";
    EXPECT_NE(lines(file).find("INFO Read log conf file from: " + conf + "\nINFO info marker\n"), std::string::npos);
    EXPECT_EQ(lines(elsewhere), "");
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    EXPECT_EQ(QFile::permissions(folder) & 0x7077, owner | QFileDevice::ExeOwner);
    EXPECT_EQ(QFile::permissions(QFile::decodeName(file.c_str())) & 0x7077, owner);
    qunsetenv("XDG_DATA_HOME");
}
