#include "hid.h"
#include "hid_access.h"
#include "key_exception.h"
#include "log_capture.h"
#include "scripted_device.h"
#include "test_helpers.h"

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

Bytes padded_report(Bytes head)
{
    head.resize(65, 0x00);
    return head;
}

class ScriptedTransport : public ::testing::Test {
protected:
    void SetUp() override { hidaccess::install_raw_device_io(io); }
    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }

    std::shared_ptr<U2FUsbKey> key()
    {
        std::vector<std::shared_ptr<U2FUsbKey>> keys;
        HID().find_device(kOrvandelVendorId, keys);
        return keys.at(0);
    }

    std::shared_ptr<ScriptedIo> io = std::make_shared<ScriptedIo>();
};

}  // namespace

TEST_F(ScriptedTransport, RequestGoesOutAsInitSelectAndCommandOnTheGivenChannel)
{
    io->command_answer = {ScriptedIo::msg_report({0x41, 0x42, 0x90, 0x00}, 4)};
    LogCapture log;
    Bytes serial;
    key()->op_get_active(serial);
    EXPECT_EQ(serial, ascii("AB"));

    ASSERT_EQ(io->written.size(), 3u);
    const Bytes& init = io->written[0];
    ASSERT_EQ(init.size(), 65u);
    EXPECT_EQ(Bytes(init.begin(), init.begin() + 8), (Bytes{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 0x08}));
    EXPECT_EQ(Bytes(init.begin() + 16, init.end()), Bytes(49, 0x00));
    EXPECT_EQ(io->written[1], padded_report({0x00, 0x01, 0x02, 0x03, 0x04, 0x83, 0x00, 0x0E, 0x00, 0xA4, 0x04, 0x00,
                                             0x09, 0xD1, 0x56, 0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01}));
    EXPECT_EQ(io->written[2],
              padded_report({0x00, 0x01, 0x02, 0x03, 0x04, 0x83, 0x00, 0x05, 0x00, 0xE6, 0x00, 0x00, 0x00}));

    const std::vector<std::string> info = log.messages(el::Level::Info);
    const std::vector<std::string> allocation = {"Allocate Channel", "The whole U2F response package length is: 24",
                                                 "Successfully allocate channel",
                                                 "The whole U2F response package length is: 9"};
    const auto first = std::find(info.begin(), info.end(), allocation.front());
    ASSERT_GE(info.end() - first, static_cast<std::ptrdiff_t>(allocation.size()));
    EXPECT_EQ(std::vector<std::string>(first, first + static_cast<std::ptrdiff_t>(allocation.size())), allocation);
    EXPECT_TRUE(log.contains("00 01 02 03 04 83 00 05 00 e6 00 00 00 "));
}

TEST_F(ScriptedTransport, FailedFlushIsAWarningAndOtherProgramsErrorsAreSkipped)
{
    io->refuse_flush = true;
    // Another program's malformed INIT: ERROR INVALID_LEN on the broadcast channel reaches every handle.
    Bytes error = {0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0x00, 0x01, 0x03};
    error.resize(64, 0x00);
    io->before_init_answer = {error};
    io->command_answer = {ScriptedIo::msg_report({0x41, 0x90, 0x00}, 3)};
    LogCapture log;
    Bytes serial;
    key()->op_get_active(serial);
    EXPECT_EQ(serial, ascii("A"));
    EXPECT_EQ(log.messages(el::Level::Warning), std::vector<std::string>(3, "Failed to flush the queue"));
    EXPECT_TRUE(log.contains("Skipped 1 reports that were not the answer"));
}

TEST_F(ScriptedTransport, TwoRequestsAllocateTwoChannelsWithFreshNonces)
{
    io->command_answer = {ScriptedIo::msg_report({0x90, 0x00}, 2)};
    auto usb_key = key();
    Bytes serial;
    usb_key->op_get_active(serial);
    usb_key->op_get_active(serial);
    ASSERT_EQ(io->written.size(), 6u);
    EXPECT_EQ(io->written[3][5], 0x86);
    EXPECT_NE(Bytes(io->written[0].begin() + 8, io->written[0].begin() + 16),
              Bytes(io->written[3].begin() + 8, io->written[3].begin() + 16));
}

TEST_F(ScriptedTransport, ShortReportsAreFailedReadsNotReadsPastTheBuffer)
{
    const Bytes too_short_first = Bytes{0x01, 0x02, 0x03, 0x04, 0x83, 0x00};
    const Bytes continuation_stub = Bytes{0x01, 0x02, 0x03, 0x04};
    Bytes long_answer = ScriptedIo::msg_report(Bytes(57, 0x30), 100);

    for (const std::vector<Bytes>& answer : {std::vector<Bytes>{too_short_first},
                                             std::vector<Bytes>{long_answer, continuation_stub}}) {
        io->command_answer = answer;
        Bytes serial = ascii("kept");
        EXPECT_THROW(key()->op_get_active(serial), KeyAccessException);
        EXPECT_EQ(serial, ascii("kept"));
    }
}

TEST_F(ScriptedTransport, InitAnswerWithoutRoomForNonceAndChannelIsAFailedRead)
{
    io->init_answer_length = 12;
    Bytes serial;
    EXPECT_EQ(expect_throw_text<KeyAccessException>([&] { key()->op_get_active(serial); }),
              "U2F INIT answer is too short");
    EXPECT_EQ(io->written.size(), 1u);
}

TEST_F(ScriptedTransport, EmptyContinuationsCannotHoldTheExchangePastItsLimit)
{
    io->command_answer = {ScriptedIo::msg_report(Bytes(57, 0x30), 100)};
    io->endless_empty_continuations = true;
    Bytes serial = ascii("kept");
    const auto start = Clock::now();
    EXPECT_THROW(key()->op_get_active(serial), KeyAccessException);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 1900ms);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(serial, ascii("kept"));
}

TEST_F(ScriptedTransport, ExchangeDumpsAreLoggedByTheFunctionThatMadeTheExchange)
{
    io->command_answer = {ScriptedIo::msg_report({0x41, 0x90, 0x00}, 3)};
    LogCapture log;
    Bytes serial;
    key()->op_get_active(serial);
    // Each dump is a title record and a record of hex pairs.
    const std::vector<LogCapture::Record> records = log.records();
    int dumps = 0;
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        if (records[i].message.rfind("-> ", 0) != 0)
            continue;
        ++dumps;
        for (const LogCapture::Record& record : {records[i], records[i + 1]})
            EXPECT_NE(record.func.find("combine_send"), std::string::npos) << record.message << " in " << record.func;
    }
    EXPECT_EQ(dumps, 4);
}
