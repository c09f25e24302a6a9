#include "padlink/PadCommandChannel.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <functional>
#include <numeric>
#include <thread>
#include <vector>

#include "padlink/HidPort.h"
#include "padlink/PadProbe.h"
#include "padlink/PadReconnector.h"
#include "padlink/PadUsbIds.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "padsim/PadTestSupport.h"
#include "support/RecordingUsbPad.h"
#include "support/WaitUntil.h"

namespace vellumix::padlink {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Op = std::function<bool(PadCommandChannel&)>;

enum class Answer { Ack, Nak, Silent, ThreeBytes };

// The channel on the USB path, with an in-memory pad that joins output
// reports into frames and answers each one as scripted.
class ChannelTest : public ::testing::Test {
protected:
    ChannelTest() {
        auto backend = std::make_unique<hid::MemoryHidBackend>();
        pad = std::make_unique<testsupport::RecordingUsbPad>(*backend);
        link = std::make_unique<PadLink>(std::make_unique<HidPort>(std::move(backend)));
        link->Use(PadLinkKind::kUsb);
        channel = std::make_unique<PadCommandChannel>(*link);
    }
    // Discovery leaves the pad open before the channel is used.
    void SetUp() override { ASSERT_TRUE(link->Hid()->Open(PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID)); }

    void Script(Answer answer, std::chrono::microseconds pause = {}) {
        pad->SetAnswer(
            [answer](const Bytes&) {
                static const Bytes kNak = {0x02, 0x01, 0x00, 0x15, 0x15, 0x15, 0x03};
                const Bytes ack = testsupport::RecordingUsbPad::Ack();
                return answer == Answer::Ack          ? ack
                       : answer == Answer::Nak        ? kNak
                       : answer == Answer::ThreeBytes ? Bytes(ack.begin(), ack.begin() + 3)
                                                      : Bytes();
            },
            pause);
    }
    // The frames sent, checked against frames of the payloads written out
    // independently of BuildFrame.
    void ExpectSent(const std::vector<Bytes>& payloads, const char* what = "") const {
        std::vector<Bytes> frames;
        for (const Bytes& payload : payloads) {
            frames.push_back(padsim::test::Frame(payload));
        }
        EXPECT_EQ(pad->Frames(), frames) << what;
    }
    std::size_t SentCount() const { return pad->FrameCount(); }

    std::unique_ptr<testsupport::RecordingUsbPad> pad;
    std::unique_ptr<PadLink> link;
    std::unique_ptr<PadCommandChannel> channel;
};

TEST_F(ChannelTest, EachOperationSendsItsPayload) {
    const ColorRef orange = MakeColorRef(0xFF, 0x80, 0x10);
    const struct {
        const char* name;
        Op send;
        Bytes payload;
    } cases[] = {
        {"FillRectangle",
         [](auto& c) { return c.FillRectangle(0, 0, 319, 239); },
         {0x8A, 0x46, 0x22, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00}},
        {"FillRectangle corner",
         [](auto& c) { return c.FillRectangle(300, 200, 19, 39); },
         {0x8A, 0x46, 0x22, 0x2C, 0x01, 0xC8, 0x00, 0x3F, 0x01, 0xEF, 0x00}},
        {"DrawFrame",
         [](auto& c) { return c.DrawFrame(10, 20, 30, 40); },
         {0x8A, 0x46, 0x12, 0x0A, 0x00, 0x14, 0x00, 0x28, 0x00, 0x3C, 0x00}},
        {"DrawLine",
         [](auto& c) { return c.DrawLine(0, 0, 319, 239); },
         {0x8A, 0x46, 0x11, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00}},
        {"DrawCharacter",
         [](auto& c) { return c.DrawCharacter(309, 229, 'A'); },
         {0x8A, 0x46, 0x4F, 0x35, 0x01, 0xE5, 0x00, 0x01, 0x00, 0x41}},
        {"SetFillColor",
         [&](auto& c) { return c.SetFillColor(orange); },
         {0x8A, 0x46, 0x20, 0xFF, 0x80, 0x10}},
        {"SetTextColor",
         [&](auto& c) { return c.SetTextColor(orange); },
         {0x8A, 0x46, 0x41, 0xFF, 0x80, 0x10}},
        {"SetLineColor",
         [&](auto& c) { return c.SetLineColor(orange); },
         {0x8A, 0x46, 0x10, 0x01, 0x00, 0x00, 0x00, 0xFF, 0x80, 0x10}},
        {"SetFont",
         [](auto& c) { return c.SetFont(64, 32, 0, 0, 256, 6); },
         {0x8A, 0x46, 0x40, 0x40, 0x20, 0x00, 0x00, 0x00, 0x06}},
        {"SetTextMode", [](auto& c) { return c.SetTextMode(1); }, {0x8A, 0x46, 0x43, 0x01}},
        {"StartCalibration", [](auto& c) { return c.StartCalibration(); }, {0x7A, 0x46, 0x01}},
        {"SetCaptureArea",
         [](auto& c) { return c.SetCaptureArea(0, 0, 319, 239, 0, 256, 256, 256); },
         {0x7A, 0x46, 0x03, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00, 0x00, 0x00, 0x00,
          0x00}},
        {"ResumeCapture", [](auto& c) { return c.ResumeCapture(); }, {0x7A, 0x46, 0x11}},
        {"SuspendCapture", [](auto& c) { return c.SuspendCapture(); }, {0x7A, 0x46, 0x12}},
        {"StopCapture", [](auto& c) { return c.StopCapture(); }, {0x7A, 0x46, 0x1F}},
        {"ClearDisplay", [](auto& c) { return c.ClearDisplay(), true; }, {0x7A, 0x46, 0x19}},
        {"SendSigFile",
         [](auto& c) {
             return c.SendSigFile(Bytes{1, 2, 3});
         },
         {0x7A, 0x46, 0x30, 1, 2, 3}},
        {"SendCmpFile", [](auto& c) { return c.SendCmpFile(Bytes{4}); }, {0x7A, 0x46, 0x31, 4}},
        {"SendVbcFile", [](auto& c) { return c.SendVbcFile(Bytes{5}); }, {0x7A, 0x46, 0x32, 5}},
        {"SetLedFlags 0x44",
         [](auto& c) { return c.SetLedFlags(1, 0, 0, 1, 0, 0); },
         {0x76, 0x46, 0x01, 0x44}},
        {"SetLedFlags 0x66",
         [](auto& c) { return c.SetLedFlags(1, 1, 0, 1, 1, 0); },
         {0x76, 0x46, 0x01, 0x66}},
        {"SetLedFlags all",
         [](auto& c) { return c.SetLedFlags(1, 1, 1, 1, 1, 1); },
         {0x76, 0x46, 0x01, 0x77}},
        {"SetLedState on", [](auto& c) { return c.SetLedState(true); }, {0x76, 0x46, 0x01, 0x04}},
        {"SetLedState off", [](auto& c) { return c.SetLedState(false); }, {0x76, 0x46, 0x01, 0x05}},
    };
    std::vector<Bytes> sent;
    for (const auto& c : cases) {
        EXPECT_TRUE(c.send(*channel)) << c.name;
        sent.push_back(c.payload);
        ExpectSent(sent, c.name);
    }
}

TEST_F(ChannelTest, StartCaptureSendsRedColoursThenTheCaptureFrame) {
    EXPECT_TRUE(channel->StartCapture());
    ExpectSent({
        {0x8A, 0x46, 0x10, 0x01, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00},
        {0x8A, 0x46, 0x41, 0xFF, 0x00, 0x00},
        {0x7A, 0x46, 0x10, 0x04, 0x7A, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF},
    });
}

TEST_F(ChannelTest, DisplayImageSendsTheWholeScreenInTheLongForm) {
    Bytes pixels(kImageBytes);
    std::iota(pixels.begin(), pixels.end(), std::uint8_t{0});
    EXPECT_TRUE(channel->DisplayImage(pixels));
    Bytes payload{0x8A, 0x46, 0x61, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00};
    payload.insert(payload.end(), pixels.begin(), pixels.end());
    ExpectSent({payload});
}

TEST_F(ChannelTest, RefusedArgumentsSendNothing) {
    const Bytes tooLargeFile(kMaxFileBytes + 1);
    const Op refused[] = {
        [](auto& c) { return c.FillRectangle(0, 0, 320, 10); },
        [](auto& c) { return c.FillRectangle(-1, 0, 5, 5); },
        [](auto& c) { return c.FillRectangle(0, -1, 5, 5); },
        [](auto& c) { return c.FillRectangle(0, 0, 10, 240); },
        [](auto& c) { return c.FillRectangle(0, 0, -5, 5); },      // corner left of the LCD
        [](auto& c) { return c.FillRectangle(400, 0, -100, 5); },  // x beyond the LCD
        [](auto& c) { return c.FillRectangle(10, 10, 2'147'483'647, 5); },
        [](auto& c) { return c.DrawFrame(0, 0, 320, 10); },
        [](auto& c) { return c.DrawFrame(0, 10, 5, -11); },
        [](auto& c) { return c.DrawLine(0, 0, 320, 0); },
        [](auto& c) { return c.DrawLine(0, 0, 10, 240); },
        [](auto& c) { return c.DrawLine(-1, 0, 10, 10); },
        [](auto& c) { return c.DrawCharacter(310, 0, 'A'); },
        [](auto& c) { return c.DrawCharacter(0, 230, 'A'); },
        [](auto& c) { return c.DisplayImage(Bytes(kFrameBufferSize)); },
        [&](auto& c) { return c.SendSigFile(tooLargeFile); },
        [&](auto& c) { return c.SendCmpFile(tooLargeFile); },
        [&](auto& c) { return c.SendVbcFile(tooLargeFile); },
    };
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_FALSE(refused[i](*channel)) << "case " << i;
    }
    EXPECT_EQ(SentCount(), 0u);
}

TEST_F(ChannelTest, LargestFileFillsTheFileBufferExactly) {
    EXPECT_TRUE(channel->SendSigFile(Bytes(kMaxFileBytes, 0xA5)));
    // 69,990 + 3 command bytes = 0x011169, in the long form.
    const Bytes frame = pad->Frames().at(0);
    EXPECT_EQ(frame.size(), kFileBufferSize);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0x02, 0x69, 0x11, 0x01}));
}

// Without the channel lock, the pen reader's reads would swallow the
// acknowledgements of the GUI thread's commands.
TEST_F(ChannelTest, PenReadsNeverTakeACommandsReply) {
    Script(Answer::Ack, std::chrono::microseconds(100));
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        std::array<std::uint8_t, kSerialPenReadSize> buffer{};
        while (!stop) {
            channel->ReadPenData(buffer, 1);
            // The real reader waits on the GUI thread between reads; without a
            // pause the unfair mutex could starve the commands.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    int acked = 0;
    for (int i = 0; i < 200; ++i) {
        acked += channel->DrawLine(0, 0, i % 320, 10) ? 1 : 0;
    }
    stop = true;
    reader.join();
    EXPECT_EQ(acked, 200);
}

// What came back decides the outcome for every command; the pages' boolean
// follows from it and from the kind of command: acknowledged ones need the
// ACK, "sent" ones only need the frame to have gone out.
TEST_F(ChannelTest, OutcomesTellAckNakSilenceAndRefusalApart) {
    const Op ackTested[] = {
        [](auto& c) { return c.DrawFrame(0, 0, 10, 10); },
        [](auto& c) { return c.DrawLine(0, 0, 10, 10); },
        [](auto& c) { return c.DrawCharacter(0, 0, 'x'); },
        [](auto& c) { return c.SetFillColor(0); },
        [](auto& c) { return c.SetTextColor(0); },
        [](auto& c) { return c.SetLineColor(0); },
        [](auto& c) { return c.SetFont(16, 8, 0, 0, 0, 2); },
        [](auto& c) { return c.SetLedState(true); },
        [](auto& c) { return c.DisplayImage(Bytes(kImageBytes)); },
    };
    const Op sentOnly[] = {
        [](auto& c) { return c.FillRectangle(0, 0, 10, 10); },
        [](auto& c) { return c.SetTextMode(1); },
        [](auto& c) { return c.StartCalibration(); },
        [](auto& c) { return c.SetCaptureArea(0, 0, 319, 239, 0, 0, 0, 0); },
        [](auto& c) { return c.StartCapture(); },
        [](auto& c) { return c.StopCapture(); },
        [](auto& c) { return c.SendSigFile(Bytes{1}); },
        [](auto& c) { return c.SetLedFlags(1, 0, 0, 0, 0, 0); },
    };
    const struct {
        Answer answer;
        PadOutcome outcome;
    } cases[] = {
        {Answer::Ack, PadOutcome::kAcknowledged},
        {Answer::Nak, PadOutcome::kNotAcknowledged},
        {Answer::Silent, PadOutcome::kNoAnswer},
        {Answer::ThreeBytes, PadOutcome::kNoAnswer},
    };
    for (const auto& c : cases) {
        Script(c.answer);
        // Each silent command leaves its answer owed, and the next one waits
        // out the grace for it (OwedAnswers.h): the booleans of a missing
        // answer are the three-byte row's, so this row checks the outcomes.
        const bool perCommand = c.answer != Answer::Silent;
        for (std::size_t i = 0; perCommand && i < std::size(ackTested); ++i) {
            EXPECT_EQ(ackTested[i](*channel), c.answer == Answer::Ack)
                << "acknowledged op " << i << ", answer " << static_cast<int>(c.answer);
        }
        for (std::size_t i = 0; perCommand && i < std::size(sentOnly); ++i) {
            EXPECT_TRUE(sentOnly[i](*channel))
                << "sent op " << i << ", answer " << static_cast<int>(c.answer);
        }
        EXPECT_EQ(channel->DrawLine(0, 0, 10, 10).outcome, c.outcome);
        EXPECT_EQ(channel->FillRectangle(0, 0, 10, 10).outcome, c.outcome);
    }
    const std::size_t before = SentCount();
    const CommandResult refused = channel->FillRectangle(10, 10, -20, 5);
    EXPECT_EQ(refused.outcome, PadOutcome::kRefused);
    EXPECT_FALSE(refused);
    EXPECT_EQ(SentCount(), before);
}

// Unplugged while the pen reader reads: the link goes down once, commands
// fail at once without touching the device, a search stops at once when
// asked, and one that runs beside the reader finds the pad when it is
// plugged in again.
TEST_F(ChannelTest, AnUnpluggedPadIsFoundAgainWhileThePenReaderRuns) {
    std::atomic<int> downs{0};
    channel->SetLinkDownHandler([&] { ++downs; });
    std::jthread reader([this](std::stop_token stop) {
        std::array<std::uint8_t, 64> buffer{};
        while (!stop.stop_requested()) {
            if (channel->ReadPenData(buffer, 20) < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    });
    ASSERT_TRUE(channel->SetLedState(true));
    pad->Device().Unplug();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return channel->LinkDown(); }));
    const std::size_t before = SentCount();
    EXPECT_EQ(channel->SetLedState(true).outcome, PadOutcome::kLinkDown);
    EXPECT_EQ(SentCount(), before);

    std::atomic<bool> found{false};
    DiscoveryOptions options;
    options.portPause = std::chrono::milliseconds(1);
    options.usbWait = std::chrono::milliseconds(100);
    options.trySerial = false;
    {
        // Closing the window while nothing answers: the search ends at once.
        PadReconnector idle(*channel, options, std::chrono::milliseconds(5), {});
        idle.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto stopping = std::chrono::steady_clock::now();
        idle.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(1));
    }
    PadReconnector search(*channel, options, std::chrono::milliseconds(5),
                          [&](DiscoveryResult r) { found = r.link == PadLinkKind::kUsb; });
    search.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pad->Device().Plug();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return found.load(); }));
    EXPECT_TRUE(channel->SetLedState(true));
    EXPECT_EQ(downs.load(), 1);
    search.Stop();
}

}  // namespace
}  // namespace vellumix::padlink
