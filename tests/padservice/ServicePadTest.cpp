// The capture service with its real pad side against the virtual pad: on a
// pseudo-terminal published in a temporary port folder (found by the
// service's own watch) and on the in-process USB device: captures on both
// pads at once come back as Points and InkML, and a serial pad that goes and
// comes back keeps its claim and its capture. That pictures, LEDs and text
// reach the LCD through the service as through padctl's own link is
// padctl's end-to-end ThroughTheCaptureServiceTheSameCommandsSayTheSame.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <sdbus-c++/sdbus-c++.h>
#include <atomic>
#include <thread>

#include "ServiceRig.h"
#include "padd/PictureHelper.h"
#include "padlink/PadUsbIds.h"
#include "padservice/ChannelSession.h"
#include "sigformats/InkmlFormat.h"
#include "support/PrivateBus.h"
#include "support/VirtualPads.h"
#include "support/WaitUntil.h"

namespace vellumix::padservice::test {
namespace {

namespace pl = padlink;
using sigformats::SignaturePoint;
using Points = std::vector<SignaturePoint>;

constexpr const char* kUsbKey = "memory:0";
// The service is told the pad's ids, as vellumix-padd --usb-id tells it.
constexpr pl::UsbIds kPadIds{0x2a3b, 0x0042};
const std::string kSerialPath = std::string(kPadPathPrefix) + "COM1";

// ShowImage's pictures as vellumix-padd decodes them: in its helper process.
PictureDecoder Pictures() {
    return tools::padd::HelperDecoder(VELLUMIX_PICTURE_HELPER);
}

// The pen, once the pad captures.
void Write(testsupport::VirtualPad& pad, const Points& points) {
    testsupport::WaitUntil(
        [&] { return pad.engine.Snapshot().capture == padsim::engine::CaptureState::kCapturing; },
        3s);
    pad.Write(points);
}

Points Ink(const std::vector<ReceivedPoint>& received) {
    Points points;
    for (const ReceivedPoint& p : received) {
        points.push_back(p.down ? SignaturePoint{p.x, p.y} : sigformats::PEN_UP_POINT);
    }
    return points;
}

Points DecodedInk(const std::string& inkml) {
    const auto decoded = sigformats::DecodeInkml(
        std::span(reinterpret_cast<const std::uint8_t*>(inkml.data()), inkml.size()));
    EXPECT_TRUE(decoded.Ok()) << decoded.Error().message;
    return decoded ? decoded.Value().points : Points{};
}

// The service's pad side opens its pads on the test's machine: the port
// folder's links and the in-memory USB devices.
class ServicePad : public ::testing::Test {
protected:
    testsupport::PadMachine m_machine;
    ChannelSessionFactory m_factory{
        {m_machine.ports, [this] { return m_machine.HidBackend(); }, kPadIds}};
};

// Two clients, each holding one pad (one serial, one USB) at the same time,
// each pad on a link of its own: the two captures run at once, each
// signature to its own holder; the picture helper refuses what is no
// picture on either.
TEST_F(ServicePad, TwoClientsCaptureOnASerialAndAUsbPadAtOnce) {
    testsupport::VirtualPad& usbPad = m_machine.UsbPad(kPadIds);
    // The watch lists the HID devices with the pad's ids only.
    m_machine.hid->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
    DeviceWatch::Places places = ServiceRig::PortFolder(m_machine.ports);
    places.hid = m_machine.hid.get();
    places.usbIds = kPadIds;
    ServiceRig rig(m_factory, ServiceRig::QuickOptions(), Pictures(), places);
    testsupport::VirtualPad& serialPad = m_machine.SerialPad();
    ServiceClient serialClient(rig.Address());
    ServiceClient usbClient(rig.Address());
    ASSERT_TRUE(Eventually(serialClient, [&] { return serialClient.PadPaths().size() == 2; }));
    const std::string usbPath = serialClient.PadPaths().front();
    EXPECT_EQ(serialClient.PadPaths(), (std::vector<std::string>{usbPath, kSerialPath}));
    EXPECT_EQ(serialClient.Pad(usbPath).port, kUsbKey);

    struct Holder {
        testsupport::VirtualPad& pad;
        std::string path;
        ServiceClient& client;
        Points signature;
        std::vector<ReceivedPoint> got;
    };
    Holder holders[] = {
        {serialPad,
         kSerialPath,
         serialClient,
         {{100, 200}, {110, 210}, sigformats::PEN_UP_POINT, {300, 40}},
         {}},
        {usbPad,
         usbPath,
         usbClient,
         {{500, 600}, sigformats::PEN_UP_POINT, {700, 800}, {710, 790}},
         {}},
    };
    for (Holder& h : holders) {
        h.client.Claim(h.path);
    }
    for (Holder& h : holders) {
        SCOPED_TRACE(h.path);
        EXPECT_EQ(h.client.Pad(h.path).claimedBy, h.client.UniqueName());
        // What is not a picture is refused by the helper, saying why.
        testsupport::WriteFile(m_machine.dir / "notes.txt", "not a picture");
        const int text = ::open((m_machine.dir / "notes.txt").c_str(), O_RDONLY | O_CLOEXEC);
        std::string why;
        EXPECT_EQ(ErrorOf([&] { h.client.ShowImage(h.path, text); }, &why), error::kBadArgument);
        ::close(text);
        EXPECT_EQ(why, "ShowImage: not a picture that can be read");
        h.client.OnPoints(h.path, [&h](const std::vector<ReceivedPoint>& batch) {
            h.got.insert(h.got.end(), batch.begin(), batch.end());
        });
        h.client.StartCapture(h.path, "Sign here", true);
    }
    for (Holder& h : holders) {
        Write(h.pad, h.signature);
    }
    for (Holder& h : holders) {
        SCOPED_TRACE(h.path);
        ASSERT_TRUE(Eventually(h.client, [&] { return h.got.size() == h.signature.size(); }))
            << h.got.size();
        EXPECT_EQ(Ink(h.got), h.signature);
        Points closed = h.signature;
        closed.push_back(sigformats::PEN_UP_POINT);
        EXPECT_EQ(DecodedInk(h.client.StopCapture(h.path)), closed);
        EXPECT_EQ(h.pad.engine.Snapshot().capture, padsim::engine::CaptureState::kStopped);
        h.client.Release(h.path);
    }
}

// A USB candidate is opened only while the device at its path has the pad's
// ids: the hidraw node a pad left may lead to another device by the time a
// claim comes.
TEST_F(ServicePad, AUsbDeviceWithOtherIdsIsNeverOpened) {
    ServiceRig rig(m_factory);
    m_machine.hid->AddDevice(kPadIds.vendorId, kPadIds.productId);
    const auto other = m_machine.hid->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
    const std::string path = rig.Appear(other->Info().path, Transport::kUsb);
    ServiceClient client(rig.Address());
    std::string why;
    EXPECT_EQ(ErrorOf([&] { client.Claim(path); }, &why), error::kNoAnswer);
    EXPECT_EQ(why,
              "no pad answered on memory:1: the device there has the USB ids 1209:0001, not the "
              "pad's 2a3b:0042");
    EXPECT_EQ(other->OpenCount(), 0u);
}

// Unplugged with the pen down and back on its port: the holder keeps its
// claim (another client is refused as busy meanwhile), the stroke ends with
// one lift when the pad goes, the capture goes on when it is back, and the
// InkML says the capture was cut short.
TEST_F(ServicePad, ASerialPadThatGoesAndComesBackKeepsItsClaimAndItsCapture) {
    ServiceRig rig(m_factory, ServiceRig::QuickOptions(), Pictures(),
                   ServiceRig::PortFolder(m_machine.ports));
    testsupport::VirtualPad& pad = m_machine.SerialPad();
    ServiceClient client(rig.Address());
    ServiceClient other(rig.Address());
    const std::string& path = kSerialPath;
    ASSERT_TRUE(Eventually(client, [&] { return client.PadPaths().size() == 1; }));
    std::vector<ReceivedPoint> got;
    int lost = 0;
    client.OnPoints(path, [&](const std::vector<ReceivedPoint>& batch) {
        got.insert(got.end(), batch.begin(), batch.end());
    });
    client.OnPadLost(path, [&] { ++lost; });
    client.Claim(path);
    client.StartCapture(path);
    Write(pad, {{10, 10}, {20, 20}});
    ASSERT_TRUE(Eventually(client, [&] { return got.size() == 2; }));

    pad.serial->Stop();
    ASSERT_TRUE(Eventually(client, [&] { return lost == 1; }));
    EXPECT_FALSE(client.Pad(path).connected);
    EXPECT_EQ(client.PadPaths(), std::vector<std::string>{path}) << "a claimed pad stays listed";
    EXPECT_EQ(ErrorOf([&] { client.Clear(path); }), error::kPadLost);
    EXPECT_EQ(ErrorOf([&] { other.Claim(path); }), error::kBusy);

    ASSERT_TRUE(pad.serial->Start());
    ASSERT_TRUE(Eventually(client, [&] { return client.Pad(path).connected; }));
    Write(pad, {{30, 30}});
    ASSERT_TRUE(Eventually(client, [&] { return got.size() == 4; }));
    const Points ink{{10, 10}, {20, 20}, sigformats::PEN_UP_POINT, {30, 30}};
    EXPECT_EQ(Ink(got), ink);
    EXPECT_EQ(client.Pad(path).claimedBy, client.UniqueName());
    const std::string inkml = client.StopCapture(path);
    EXPECT_NE(inkml.find(sigformats::inkml::kCutShortText), std::string::npos) << inkml;
    Points closed = ink;
    closed.push_back(sigformats::PEN_UP_POINT);
    EXPECT_EQ(DecodedInk(inkml), closed);
}

// The bus starts the service from its activation file on the first call,
// and again after the service has left for want of work.
TEST(ServiceActivation, TheBusStartsTheServiceOnDemandAndAgainAfterItLeftIdle) {
    testsupport::PrivateBus bus(VELLUMIX_TEST_SERVICE_DIR);
    ServiceClient client(bus.Address());
    auto connection = sdbus::createSessionBusConnectionWithAddress(bus.Address());
    auto daemon = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    const auto running = [&] {
        bool owned = false;
        daemon->callMethod("NameHasOwner")
            .onInterface("org.freedesktop.DBus")
            .withArguments(std::string(kBusName))
            .storeResultsTo(owned);
        return owned;
    };
    EXPECT_FALSE(running());
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        EXPECT_EQ(client.PadPaths(), std::vector<std::string>{});
        EXPECT_TRUE(running());
        EXPECT_TRUE(Eventually(
            client, [&] { return !running(); }, 3s));
    }
}

}  // namespace
}  // namespace vellumix::padservice::test
