#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "support/ptypair.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/tusbdev.h"

using namespace tarvik;
using testsupport::PtyPair;
using namespace std::chrono_literals;

// The receive thread reads records while the user-interface thread writes commands, on
// one port at once, as the program does on bus.
TEST(SerialPortThreads, ReadAndWriteFromTwoThreads)
{
    constexpr std::uint32_t kCommands = 3000;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TUsbDev dev(0, std::make_shared<TSerialBackend>(pty.SlavePath()));
    dev.SetBaudRate(3'000'000);
    dev.SetMessagePump([] {});
    ASSERT_TRUE(dev.Open());

    // The adapter: answers every T command with one numbered record.
    std::atomic<std::uint32_t> commandsSeen{0}, badCommands{0};
    std::thread adapter([&] {
        std::string pending;
        std::uint32_t seq = 0;
        while (seq < kCommands) {
            pollfd p{pty.Master(), POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) break;
            char buf[4096];
            const ssize_t n = ::read(pty.Master(), buf, sizeof buf);
            if (n <= 0) break;
            pending.append(buf, std::size_t(n));
            while (pending.size() >= kTransmitBytes) {
                if (pending[0] != char(kStx) || pending[1] != 'T' || pending[28] != char(kEtx)) ++badCommands;
                pending.erase(0, kTransmitBytes);
                std::uint8_t rec[kRecordSize] = {};
                rec[0] = rec[19] = std::uint8_t(seq);
                rec[1] = kCanTransmitted;
                std::memcpy(rec + 3, &seq, 4);
                pty.Send(std::string(reinterpret_cast<char*>(rec), kRecordSize));
                ++seq;
                commandsSeen = seq;
            }
        }
    });

    std::atomic<bool> readerFailed{false};
    std::uint32_t records = 0, outOfOrder = 0;
    std::thread reader([&] {
        try {
            std::uint8_t buf[kRecordSize * 64];
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (records < kCommands && std::chrono::steady_clock::now() < deadline) {
                std::uint32_t rx = 0;
                if (!dev.GetQueueStatus(&rx)) break;
                if (rx < kRecordSize) {
                    std::this_thread::sleep_for(200us);
                    continue;
                }
                const std::uint32_t want = std::min<std::uint32_t>(rx / kRecordSize, 64) * kRecordSize;
                std::uint32_t got = 0;
                if (!dev.Read(buf, want, &got)) break;
                for (std::uint32_t off = 0; off + kRecordSize <= got; off += kRecordSize) {
                    const AdapterRecord r = AdapterRecord::From(buf + off);
                    std::uint32_t n;
                    std::memcpy(&n, r.bytes.data() + 3, 4);
                    if (!r.WellFormed() || n != records) ++outOfOrder;
                    ++records;
                }
            }
        } catch (const TUsbError&) {
            readerFailed = true;
        }
    });

    const std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint32_t sent = 0;
    for (std::uint32_t i = 0; i < kCommands; ++i) {
        const Command c = cmd::Transmit(0, 8, i & 0x7FF, data);
        if (dev.SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 0, nullptr)) ++sent;
    }
    reader.join();
    adapter.join();
    EXPECT_FALSE(readerFailed);
    EXPECT_EQ(sent, kCommands);
    EXPECT_EQ(commandsSeen.load(), kCommands);
    EXPECT_EQ(badCommands.load(), 0u);
    EXPECT_EQ(records, kCommands);
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_TRUE(dev.Close());
}

// The port vanishes while one thread reads and another writes: whichever sees it first
// closes the device, and the other ends too instead of hanging or touching a stale port.
TEST(SerialPortThreads, VanishingPortDuringTraffic)
{
    PtyPair pty;
    TUsbDev dev(0, std::make_shared<TSerialBackend>(pty.SlavePath()));
    dev.SetMessagePump([] {});
    ASSERT_TRUE(dev.Open());
    std::atomic<int> readerErrors{0};
    std::thread reader([&] {
        std::uint8_t buf[20];
        std::uint32_t n = 0;
        try {
            while (dev.Read(buf, 20, &n)) {
            }
        } catch (const TUsbError&) {
            // io error when this thread saw the hang-up first, invalid handle when the
            // writer's failure closed the device under the waiting read.
            ++readerErrors;
        }
    });
    std::thread writer([&] {
        const Command c = cmd::OnBus();
        try {
            for (int i = 0; i < 100000; ++i)
                if (!dev.SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 0, nullptr)) break;
        } catch (const TUsbError&) {
        }
    });
    std::this_thread::sleep_for(30ms);
    pty.CloseMaster();
    reader.join();
    writer.join();
    EXPECT_EQ(readerErrors.load(), 1);
    EXPECT_FALSE(dev.IsOpen());
}
