#include "padlink/hid/MemoryHidDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "padlink/PadProtocol.h"

namespace vellumix::padlink {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kVid = 0x1209;
constexpr std::uint16_t kPid = 0x0001;

class MemoryHidDeviceTest : public ::testing::Test {
protected:
    std::unique_ptr<HidDevice> OpenFirst() {
        const auto found = m_backend.Enumerate(kVid, kPid);
        return found.empty() ? nullptr : m_backend.Open(found.front()).device;
    }
    int Read(HidDevice& host, Bytes& report, int waitMs = 0) {
        report.assign(hidreport::kReportBufferSize, 0);
        const int n = host.ReadReport(report.data(), report.size(), waitMs);
        report.resize(n > 0 ? n : 0);
        return n;
    }
    hid::MemoryHidBackend m_backend;
};

TEST_F(MemoryHidDeviceTest, InputQueueDropsOldestWhenFull) {
    hid::MemoryHidOptions options;
    options.inputQueueCapacity = 3;
    auto pad = m_backend.AddDevice(kVid, kPid, options);
    auto host = OpenFirst();
    for (std::uint8_t i = 1; i <= 5; ++i) {
        const std::uint8_t report[] = {0x00, 0x01, i};
        pad->PushInputReport(report, sizeof report);
    }
    EXPECT_EQ(pad->QueuedInputReports(), 3u);
    EXPECT_EQ(pad->DroppedInputReports(), 2u);
    Bytes report;
    ASSERT_EQ(Read(*host, report), 3);
    EXPECT_EQ(report[2], 3);  // 1 and 2 were dropped
}

TEST_F(MemoryHidDeviceTest, UnplugWakesABlockedReaderAndKillsOldHandles) {
    auto pad = m_backend.AddDevice(kVid, kPid);
    auto host = OpenFirst();
    int result = 0;
    std::thread reader([&] {
        std::uint8_t report[hidreport::kReportBufferSize];
        result = host->ReadReport(report, sizeof report, 10'000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    pad->Unplug();
    reader.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    EXPECT_EQ(OpenFirst(), nullptr);
    pad->Plug();
    const std::uint8_t report[] = {0x00, 0x01, 0x01};
    EXPECT_FALSE(host->WriteReport(report, sizeof report, 10));  // the old handle stays dead
    auto fresh = OpenFirst();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->WriteReport(report, sizeof report, 10));
}

TEST_F(MemoryHidDeviceTest, SmallOutputQueueHoldsWriterBackUntilPadThreadTakes) {
    hid::MemoryHidOptions options;
    options.outputQueueCapacity = 4;
    auto pad = m_backend.AddDevice(kVid, kPid, options);
    auto host = OpenFirst();
    constexpr std::size_t kReports = 500;
    std::size_t taken = 0;
    bool inOrder = true;
    std::thread padThread([&] {
        Bytes report;
        while (taken < kReports && pad->TakeOutputReport(report, 1000)) {
            inOrder = inOrder && report[2] == static_cast<std::uint8_t>(taken);
            ++taken;
        }
    });
    std::size_t written = 0;
    for (std::size_t i = 0; i < kReports; ++i) {
        const std::uint8_t report[] = {0x00, 0x01, static_cast<std::uint8_t>(i)};
        written += host->WriteReport(report, sizeof report, 1000) ? 1 : 0;
    }
    padThread.join();
    EXPECT_EQ(written, kReports);
    EXPECT_EQ(taken, kReports);
    EXPECT_TRUE(inOrder);
}

}  // namespace
}  // namespace vellumix::padlink
