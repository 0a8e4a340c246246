#include "key_exception.h"
#include "log_capture.h"
#include "sim_fixture.h"

#include <chrono>
#include <future>
#include <thread>
#include <typeinfo>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Traffic nobody asked for reaches the key's handle, as other programs or a busy token cause it.
class ForeignTraffic : public SimTokenTest {
protected:
    Bytes active_serial(U2FUsbKey& key)
    {
        Bytes data;
        key.op_get_active(data);
        return data;
    }

    // The request fails with a plain KeyException carrying `text` (the token is there, so not
    // an access error) and leaves what it was to fill alone.
    static void expect_key_error(U2FUsbKey& key, const char* text)
    {
        Bytes data = ascii("kept");
        try {
            key.op_get_active(data);
            ADD_FAILURE() << "nothing was thrown";
        } catch (const KeyException& e) {
            EXPECT_EQ(typeid(e), typeid(KeyException));
            EXPECT_STREQ(e.what(), text);
        }
        EXPECT_EQ(data, ascii("kept"));
    }

    template <typename Condition>
    static bool eventually(Condition condition)
    {
        const auto give_up = Clock::now() + 5s;
        while (!condition() && Clock::now() < give_up)
            std::this_thread::sleep_for(10ms);
        return condition();
    }
};

}  // namespace

TEST_F(ForeignTraffic, ChannelBusyIsAKeyErrorNotAnAccessErrorAndTheNextRequestWorks)
{
    auto waiting = discover();
    auto key = discover();
    token->set_press_mode(true);
    token->set_press_wait(10s);
    std::int32_t digits = 0;
    auto pending = std::async(std::launch::async, [&] { return waiting->op_get_otp(serial, digits); });
    ASSERT_TRUE(eventually([&] { return !token->received_commands().empty(); }));

    expect_key_error(*key, "U2F error answer: CHANNEL_BUSY (6)");
    EXPECT_TRUE(key->is_connected());

    token->press_button();
    pending.get();
    EXPECT_EQ(digits, 6);
    EXPECT_EQ(active_serial(*key), serial);
}

TEST_F(ForeignTraffic, ContinuationAfterTheTimeLimitFailsItsExchangeAndIsSkippedByTheNext)
{
    auto key = discover();
    token->pad_next_answer(100);
    token->delay_next_continuation(2100ms);
    Bytes data = ascii("kept");
    EXPECT_THROW(key->op_get_active(data), KeyAccessException);
    EXPECT_EQ(data, ascii("kept"));

    // The next INIT answer comes after the late continuation, which must not pass for it.
    token->set_answer_delay(300ms);
    LogCapture log;
    EXPECT_EQ(active_serial(*key), serial);
    EXPECT_TRUE(log.contains("Skipped 1 reports that were not the answer"));
}

TEST_F(ForeignTraffic, LateErrorAnswerToThePresenceProbeIsSkipped)
{
    auto key = discover();
    token->answer_next_probe_late(100ms);
    EXPECT_TRUE(key->is_connected());
    token->set_answer_delay(300ms);
    LogCapture log;
    EXPECT_EQ(active_serial(*key), serial);
    EXPECT_TRUE(log.contains("Skipped 1 reports that were not the answer"));
}

TEST_F(ForeignTraffic, KeyOnAKeyboardCollectionGetsNoAnswerAndTakesNoKeystrokeForOne)
{
    bus->unplug(id);
    id = bus->plug(token, 0x096E, 0x0858, {sim::keyboard_collection(), sim::SimCollection{}});
    std::vector<std::shared_ptr<U2FUsbKey>> keys;
    HID().find_device(kOrvandelVendorId, keys);
    ASSERT_EQ(keys.size(), 2u);

    Bytes data;
    auto pending = std::async(std::launch::async, [&] { keys[0]->op_get_active(data); });
    for (std::uint8_t key_code = 4; key_code < 8; ++key_code)
        bus->type(id, 0, {0x00, 0x00, key_code, 0x00, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(pending.wait_for(300ms), std::future_status::timeout);
    keys[0]->cancel();
    EXPECT_THROW(pending.get(), KeyAccessException);
    EXPECT_TRUE(token->received_reports().empty());

    EXPECT_EQ(active_serial(*keys[1]), serial);
}
