#pragma once

#include "bytes.h"
#include "raw_device_io.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A one-device bus whose answers the test shapes report by report, for wire details the
// simulated token keeps to itself (its channel ids, the length of each report).
class ScriptedIo : public hidaccess::RawDeviceIo {
public:
    static constexpr std::uint8_t kChannel[4] = {0x01, 0x02, 0x03, 0x04};

    // Reports queued in answer to the command that follows INIT and SELECT.
    std::vector<Bytes> command_answer;
    std::vector<Bytes> before_init_answer;  // reports other programs' traffic puts ahead of the INIT answer
    std::vector<Bytes> written;  // every output report, report id first
    std::size_t init_answer_length = 64;  // cut the INIT answer to this many bytes
    bool refuse_flush = false;            // polls without waiting fail, as on a device that refuses a flush
    bool endless_empty_continuations = false;  // after the command answer, an empty continuation every 10 ms

    std::vector<hidaccess::RawDeviceInfo> enumerate() override
    {
        hidaccess::RawDeviceInfo info;
        info.path = "script:0";
        info.vendor_id = 0x096E;
        info.product_id = 0x0858;
        return {info};
    }

    std::unique_ptr<hidaccess::RawDevice> open(const std::string&) override
    {
        return std::make_unique<Device>(*this);
    }

    // A 64-byte U2F init packet on our channel carrying data.
    static Bytes msg_report(const Bytes& data, std::uint8_t count)
    {
        Bytes report = {kChannel[0], kChannel[1], kChannel[2], kChannel[3], 0x83, 0x00, count};
        report.insert(report.end(), data.begin(), data.end());
        report.resize(64, 0x00);
        return report;
    }

private:
    class Device : public hidaccess::RawDevice {
    public:
        explicit Device(ScriptedIo& io) : io(io) {}

        int write(const std::uint8_t* report, std::size_t length) override
        {
            std::lock_guard<std::mutex> lock(io.mutex);
            const Bytes bytes(report, report + length);
            io.written.push_back(bytes);
            if (bytes[5] == 0x86) {
                Bytes answer = {0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 17};
                answer.insert(answer.end(), bytes.begin() + 8, bytes.begin() + 16);
                answer.insert(answer.end(), std::begin(kChannel), std::end(kChannel));
                answer.resize(64, 0x00);
                answer.resize(io.init_answer_length);
                io.pending.insert(io.pending.end(), io.before_init_answer.begin(), io.before_init_answer.end());
                io.pending.push_back(answer);
            } else if (bytes[8] == 0x00 && bytes[9] == 0xA4) {
                io.pending.push_back(msg_report({0x90, 0x00}, 2));
            } else {
                io.pending.insert(io.pending.end(), io.command_answer.begin(), io.command_answer.end());
                io.streaming = io.endless_empty_continuations;
            }
            return static_cast<int>(length);
        }

        int read(std::uint8_t* data, std::size_t length, int timeout_ms) override
        {
            if (timeout_ms == 0 && io.refuse_flush)
                return -1;
            {
                std::lock_guard<std::mutex> lock(io.mutex);
                if (!io.pending.empty()) {
                    const Bytes report = io.pending.front();
                    io.pending.pop_front();
                    const std::size_t count = std::min(length, report.size());
                    std::copy_n(report.begin(), count, data);
                    return static_cast<int>(count);
                }
                if (io.streaming && timeout_ms >= 10) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    const std::uint8_t empty[5] = {kChannel[0], kChannel[1], kChannel[2], kChannel[3], 0x00};
                    std::copy_n(empty, std::min(length, sizeof empty), data);
                    return static_cast<int>(std::min(length, sizeof empty));
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
            return 0;
        }

    private:
        ScriptedIo& io;
    };

    std::mutex mutex;
    std::deque<Bytes> pending;
    bool streaming = false;
};
