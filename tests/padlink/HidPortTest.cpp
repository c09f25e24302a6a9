#include "padlink/HidPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "padlink/PadProtocol.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PendingInput.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "support/RecordingUsbPad.h"

namespace vellumix::padlink {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kVid = PAD_USB_VENDOR_ID;
constexpr std::uint16_t kPid = PAD_USB_PRODUCT_ID;

Bytes Pattern(std::size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), std::uint8_t{1});
    return b;
}

using testsupport::RecordingUsbPad;

class HidPortTest : public ::testing::Test {
protected:
    HidPortTest() {
        auto backend = std::make_unique<hid::MemoryHidBackend>();
        m_backend = backend.get();
        m_port = std::make_unique<HidPort>(std::move(backend));
    }
    std::shared_ptr<hid::MemoryHidDevice> AddPad(hid::MemoryHidOptions options = {}) {
        return m_backend->AddDevice(kVid, kPid, options);
    }
    int ExchangeProbe(std::uint8_t* reply, std::size_t capacity = kReplyCapacity) {
        static const std::uint8_t probe[] = {0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03};
        return m_port->Exchange(kVid, kPid, probe, sizeof probe, reply, capacity, 50);
    }

    hid::MemoryHidBackend* m_backend = nullptr;
    std::unique_ptr<HidPort> m_port;
};

// --- Output reports -------------------------------------------------------

struct SplitCase {
    std::size_t frameLength;
    std::vector<std::uint8_t> chunkBytes;
};

class HidPortSplitTest : public HidPortTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(HidPortSplitTest, CutsFrameIntoChunkedReports) {
    RecordingUsbPad pad(AddPad());
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    const Bytes frame = Pattern(GetParam().frameLength);
    std::vector<std::size_t> told;
    m_port->SetWriteProgress([&](std::size_t written, std::size_t length) {
        EXPECT_EQ(length, frame.size());
        told.push_back(written);
    });
    ASSERT_TRUE(m_port->Write(frame.data(), frame.size()));

    const std::vector<Bytes> reports = pad.Reports();
    ASSERT_EQ(reports.size(), GetParam().chunkBytes.size());
    // The progress after each report: the frame bytes it and those before
    // it carried.
    ASSERT_EQ(told.size(), reports.size());
    std::size_t offset = 0;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const Bytes& r = reports[i];
        ASSERT_EQ(r.size(), hidreport::kReportLength);
        EXPECT_EQ(r[0], 0x00);
        EXPECT_EQ(r[1], GetParam().chunkBytes[i]);
        const std::size_t n = r[1] & hidreport::kChunkCountMask;
        EXPECT_TRUE(std::equal(r.begin() + 2, r.begin() + 2 + n, frame.begin() + offset));
        EXPECT_TRUE(std::all_of(r.begin() + 2 + n, r.end(), [](auto b) { return b == 0; }))
            << "report " << i << " not zero-filled behind its data";
        offset += n;
        EXPECT_EQ(told[i], offset);
    }
    EXPECT_EQ(offset, frame.size());
}

INSTANTIATE_TEST_SUITE_P(Frames, HidPortSplitTest,
                         ::testing::Values(SplitCase{9, {0x09}}, SplitCase{63, {0x3F}},
                                           SplitCase{64, {0xBF, 0x01}},
                                           SplitCase{126, {0xBF, 0x3F}},
                                           SplitCase{127, {0xBF, 0xBF, 0x01}}));

TEST_F(HidPortTest, FullScreenImageFrameGoesOutAs3658Reports) {
    RecordingUsbPad pad(AddPad());
    pad.SetAnswer([](const Bytes&) { return Bytes(); });
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    const Bytes frame = Pattern(230'418);
    ASSERT_TRUE(m_port->Write(frame.data(), frame.size()));
    ASSERT_EQ(pad.Reports().size(), 3658u);
    EXPECT_EQ(pad.Reports().back()[1], 27);
    ASSERT_EQ(pad.Frames().size(), 1u);
    EXPECT_EQ(pad.Frames()[0], frame);
}

TEST_F(HidPortTest, WriteFailsWhenAReportStaysPendingPastTheWriteWait) {
    hid::MemoryHidOptions options;
    options.outputQueueCapacity = 1;  // the pad takes nothing: the second report cannot go out
    auto pad = AddPad(options);
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    const Bytes frame = Pattern(100);
    const auto start = Clock::now();
    EXPECT_FALSE(m_port->Write(frame.data(), frame.size()));
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(90));
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_EQ(pad->QueuedOutputReports(), 1u);
}

// --- Input reports --------------------------------------------------------

struct JoinCase {
    const char* name;
    std::vector<Bytes> reports;  // as the pad sends them, report id first
    Bytes expected;
};

class HidPortJoinTest : public HidPortTest, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(HidPortJoinTest, JoinsReportsByContinuationBit) {
    auto pad = AddPad();
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    for (const Bytes& r : GetParam().reports) {
        pad->PushInputReport(r.data(), r.size());
    }
    std::uint8_t reply[kReplyCapacity] = {};
    const int n = m_port->Read(reply, sizeof reply, 20);
    EXPECT_EQ(Bytes(reply, reply + n), GetParam().expected);
}

Bytes Report(std::uint8_t chunk, Bytes data, std::size_t length = hidreport::kReportLength) {
    Bytes r{0x00, chunk};
    r.insert(r.end(), data.begin(), data.end());
    r.resize(std::max(length, r.size()), 0);
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, HidPortJoinTest,
    ::testing::Values(
        JoinCase{"ContinuedThenLast",
                 {Report(0x85, {1, 2, 3, 4, 5}), Report(0x03, {6, 7, 8})},
                 {1, 2, 3, 4, 5, 6, 7, 8}},
        JoinCase{"EmptyContinuationAddsNothing", {Report(0x80, {9}), Report(0x02, {1, 2})}, {1, 2}},
        JoinCase{"FirstChunkZeroGivesNothing", {Report(0x00, {1, 2}), Report(0x02, {3, 4})}, {}},
        JoinCase{"NothingArrives", {}, {}},
        // 0x7F claims 127 bytes; a 65-byte report carries 63.
        JoinCase{"CountAboveReportIsClamped", {Report(0x7F, Pattern(63))}, Pattern(63)},
        // A short report delivers fewer bytes than its count claims.
        JoinCase{"ShortReportIsClamped", {Report(0x3F, {1, 2, 3}, 5)}, {1, 2, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidPortTest, ReplyIsBoundByCallerCapacityAndOverlongReplyIsConsumed) {
    auto pad = AddPad();
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    const Bytes data = Pattern(600);
    pad->PushInputData(data.data(), data.size());
    Bytes reply(kReplyCapacity + 16, 0xEE);  // guard bytes behind the capacity
    EXPECT_EQ(m_port->Read(reply.data(), kReplyCapacity, 20), static_cast<int>(kReplyCapacity));
    EXPECT_TRUE(std::equal(reply.begin(), reply.begin() + kReplyCapacity, data.begin()));
    EXPECT_TRUE(
        std::all_of(reply.begin() + kReplyCapacity, reply.end(), [](auto b) { return b == 0xEE; }));
    EXPECT_EQ(pad->QueuedInputReports(), 0u);
}

TEST_F(HidPortTest, ReadWaitsAboutTheGivenTimeForEachReport) {
    AddPad();
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    std::uint8_t reply[kReplyCapacity];
    const auto start = Clock::now();
    EXPECT_EQ(m_port->Read(reply, sizeof reply, 60), 0);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(55));
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

// --- Finding and opening the device ---------------------------------------

TEST_F(HidPortTest, NoPadMeansOpenFailsAndExchangeWritesNothing) {
    auto other = m_backend->AddDevice(kVid, kPid + 1);  // some other device
    RecordingUsbPad otherPad(other);
    EXPECT_FALSE(m_port->Open(kVid, kPid));
    std::uint8_t reply[kReplyCapacity];
    EXPECT_EQ(ExchangeProbe(reply), -1);  // link down
    EXPECT_FALSE(m_port->IsOpen());
    EXPECT_EQ(other->OutputReportCount(), 0u);
    EXPECT_EQ(other->OpenCount(), 0u);
}

TEST_F(HidPortTest, UnopenableDeviceIsSkippedButBadCapabilitiesFailOpen) {
    auto busy = AddPad();
    busy->SetOpenFails(true);
    auto broken = AddPad();
    broken->SetCapabilitiesFail(true);
    auto good = AddPad();
    EXPECT_FALSE(m_port->Open(kVid, kPid));
    EXPECT_EQ(broken->OpenCount(), 1u);
    EXPECT_EQ(good->OpenCount(), 0u);

    broken->Unplug();
    EXPECT_TRUE(m_port->Open(kVid, kPid));
    EXPECT_EQ(good->OpenCount(), 1u);
    EXPECT_EQ(m_port->LastOpenFailure(), OpenFailure::kNone);

    // Only the one that refuses is left: the reason is kept for the user.
    good->Unplug();
    EXPECT_FALSE(m_port->Open(kVid, kPid));
    EXPECT_EQ(m_port->LastOpenFailure(), OpenFailure::kBusy);
}

TEST_F(HidPortTest, AcceptsOnlyReportLengthsThatCarryTheLayout) {
    for (const auto& [length, usable] : {std::pair<std::size_t, bool>{0, false},
                                         {64, false},
                                         {65, true},
                                         {68, true},
                                         {69, false}}) {
        hid::MemoryHidOptions options;
        options.inputReportLength = length;
        options.outputReportLength = length;
        auto device = AddPad(options);
        EXPECT_EQ(m_port->Open(kVid, kPid), usable) << length;
        m_port->Close();
        device->Unplug();
    }
}

// --- Pen data around a command --------------------------------------------

// Pen reports as the pad streams them: whole reports in input reports of
// their own, no continuation bit.
Bytes QueuePen(hid::MemoryHidDevice& device, std::size_t reports, std::uint8_t firstX) {
    Bytes sent;
    for (std::size_t i = 0; i < reports; ++i) {
        const Bytes pen{0x90, 0x00, static_cast<std::uint8_t>(firstX + i), 0x05, 0x00};
        const Bytes r = Report(static_cast<std::uint8_t>(pen.size()), pen);
        device.PushInputReport(r.data(), r.size());
        sent.insert(sent.end(), pen.begin(), pen.end());
    }
    return sent;
}

Bytes ReadAllPen(HidPort& port) {
    Bytes got;
    std::uint8_t buffer[kSerialPenReadSize];
    for (int n; (n = port.ReadPenStream(buffer, sizeof buffer, 5)) > 0;) {
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

TEST_F(HidPortTest, PenDataWaitingBeforeACommandIsNotTakenAsItsReply) {
    auto device = AddPad();
    RecordingUsbPad pad(device);
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    const Bytes pen = QueuePen(*device, 3, 10);

    std::uint8_t reply[kReplyCapacity] = {};
    ASSERT_EQ(ExchangeProbe(reply), static_cast<int>(sizeof kAckFrame));
    EXPECT_EQ(reply[kAckOffset], kAck);
    // A reply read never hands out what was set aside ...
    EXPECT_EQ(m_port->Read(reply, sizeof reply, 5), 0);
    EXPECT_EQ(m_port->PendingBytes(), pen.size());
    // ... the pen read does, in order, before anything newer.
    const Bytes later = QueuePen(*device, 1, 50);
    Bytes expected = pen;
    expected.insert(expected.end(), later.begin(), later.end());
    EXPECT_EQ(ReadAllPen(*m_port), expected);
    EXPECT_EQ(device->OpenCount(), 1u);
}

TEST_F(HidPortTest, PenDataCrossingTheCommandOnTheWireIsSetAside) {
    auto device = AddPad();
    Bytes pen;
    int penReportsBeforeAnswer = 2;
    device->SetOutputHandler([&](const std::uint8_t* r, std::size_t) {
        if ((r[hidreport::kChunkOffset] & hidreport::kChunkMore) != 0) {
            return;
        }
        // The pad had these on their way when the frame came in.
        const Bytes sent = QueuePen(*device, static_cast<std::size_t>(penReportsBeforeAnswer), 20);
        pen.insert(pen.end(), sent.begin(), sent.end());
        device->PushInputData(kAckFrame, sizeof kAckFrame);
    });
    std::uint8_t reply[kReplyCapacity] = {};
    ASSERT_EQ(ExchangeProbe(reply), static_cast<int>(sizeof kAckFrame));
    EXPECT_EQ(reply[kAckOffset], kAck);
    EXPECT_EQ(ReadAllPen(*m_port), pen);

    // A pad that streams on and never answers: no reply, and nothing lost.
    pen.clear();
    penReportsBeforeAnswer = 20;
    device->SetOutputHandler([&](const std::uint8_t* r, std::size_t) {
        if ((r[hidreport::kChunkOffset] & hidreport::kChunkMore) == 0) {
            pen = QueuePen(*device, static_cast<std::size_t>(penReportsBeforeAnswer), 30);
        }
    });
    EXPECT_EQ(ExchangeProbe(reply), 0);
    EXPECT_EQ(ReadAllPen(*m_port), pen);
    device->SetOutputHandler({});
}

TEST_F(HidPortTest, SetAsideInputIsBoundAndDropsItsOldestBytes) {
    auto device = AddPad();
    RecordingUsbPad pad(device);
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    constexpr std::size_t kExtra = 1000;
    Bytes data(kPendingInputCapacity + kExtra);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i % 251);
    }
    device->PushInputData(data.data(), data.size());
    std::uint8_t reply[kReplyCapacity] = {};
    ASSERT_EQ(ExchangeProbe(reply), static_cast<int>(sizeof kAckFrame));
    EXPECT_EQ(m_port->PendingBytes(), kPendingInputCapacity);
    EXPECT_EQ(m_port->DroppedPendingBytes(), kExtra);
    EXPECT_EQ(ReadAllPen(*m_port), Bytes(data.begin() + kExtra, data.end()));
}

TEST_F(HidPortTest, PenReadKeepsBytesBeyondTheCallersBuffer) {
    auto device = AddPad();
    ASSERT_TRUE(m_port->Open(kVid, kPid));
    const Bytes data = Pattern(200);
    device->PushInputData(data.data(), data.size());  // one chained reply
    std::uint8_t buffer[kSerialPenReadSize];
    ASSERT_EQ(m_port->ReadPenStream(buffer, sizeof buffer, 5), static_cast<int>(sizeof buffer));
    ASSERT_EQ(m_port->ReadPenStream(buffer, sizeof buffer, 5), 72);
    EXPECT_TRUE(std::equal(buffer, buffer + 72, data.begin() + sizeof buffer));
}

TEST(PendingInput, KeepsTheNewestBytesWithinItsCapacity) {
    const struct {
        const char* what;
        std::vector<Bytes> appends;
        Bytes kept;
        std::size_t dropped;
    } cases[] = {
        {"fits", {{1, 2}, {3}}, {1, 2, 3}, 0},
        {"oldest go first", {{1, 2, 3}, {4, 5}}, {2, 3, 4, 5}, 1},
        {"one append larger than the whole", {{1}, {2, 3, 4, 5, 6, 7}}, {4, 5, 6, 7}, 3},
        {"nothing", {{}}, {}, 0},
    };
    for (const auto& c : cases) {
        PendingInput pending(4);
        for (const Bytes& b : c.appends) {
            pending.Append(b);
        }
        EXPECT_EQ(pending.DroppedBytes(), c.dropped) << c.what;
        Bytes out(8, 0xEE);
        out.resize(pending.Take(std::span(out).first(3)));
        Bytes rest(8);
        rest.resize(pending.Take(rest));
        out.insert(out.end(), rest.begin(), rest.end());
        EXPECT_EQ(out, c.kept) << c.what;
        EXPECT_TRUE(pending.Empty()) << c.what;
    }
}

TEST_F(HidPortTest, UnplugFailsExchangeAndRepluggedPadIsReopened) {
    auto device = AddPad();
    RecordingUsbPad pad(device);
    std::uint8_t reply[kReplyCapacity];
    ASSERT_GT(ExchangeProbe(reply), 0);

    device->Unplug();
    EXPECT_EQ(ExchangeProbe(reply), -1);
    EXPECT_FALSE(m_port->IsOpen());
    EXPECT_EQ(ExchangeProbe(reply), -1);  // still gone: Open finds nothing

    device->Plug();
    EXPECT_EQ(ExchangeProbe(reply), static_cast<int>(sizeof kAckFrame));
    EXPECT_EQ(device->OpenCount(), 2u);
}

}  // namespace
}  // namespace vellumix::padlink
