// The capture service with its real pad side against the virtual pad: on a
// pseudo-terminal published in a temporary port folder (found by the
// service's own watch) and on the in-process USB device. Pictures, LEDs and
// text reach the pad's LCD, captures on both pads at once come back as
// Points and InkML, and a serial pad that goes and comes back keeps its
// claim and its capture.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <sdbus-c++/sdbus-c++.h>
#include <QColor>
#include <QImage>
#include <atomic>
#include <thread>

#include "ServiceRig.h"
#include "engine/PadEngine.h"
#include "hosts/SerialHost.h"
#include "hosts/UsbHost.h"
#include "padd/PictureHelper.h"
#include "padlink/HidDevice.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "padpicture/LcdPicture.h"
#include "padservice/ChannelSession.h"
#include "sigformats/InkmlFormat.h"
#include "support/PrivateBus.h"
#include "support/SharedHidBackend.h"
#include "support/TempDir.h"

namespace vellumix::padservice::test {
namespace {

namespace pl = padlink;
using sigformats::SignaturePoint;
using Points = std::vector<SignaturePoint>;

constexpr int kCom = 1;
constexpr const char* kUsbKey = "memory:0";
// The service is told the pad's ids, as vellumix-padd --usb-id tells it.
constexpr pl::UsbIds kPadIds{0x2a3b, 0x0042};

enum class Link { kSerial, kUsb };

// ShowImage's pictures as vellumix-padd decodes them: in its helper process.
PictureDecoder Pictures() {
    return tools::padd::HelperDecoder(VELLUMIX_PICTURE_HELPER);
}

class ServicePad : public ::testing::Test {
protected:
    ServicePad()
        : m_factory({m_ports,
                     [this] { return std::make_unique<testsupport::SharedHidBackend>(m_hid); },
                     kPadIds}) {
        EXPECT_TRUE(pl::CreatePortFolder(m_ports));
        EXPECT_EQ(m_device->Info().path, kUsbKey);
    }

    bool StartSerial() {
        m_serial = std::make_unique<padsim::hosts::SerialHost>(
            m_serialPad,
            padsim::hosts::SerialHostOptions{.portFolder = m_ports, .comNumber = kCom});
        return m_serial->Start();
    }
    void StartUsb() {
        m_usb = std::make_unique<padsim::hosts::UsbHost>(m_usbPad, m_device);
        m_usb->Start();
    }
    padsim::engine::PadEngine& Engine(Link link) {
        return link == Link::kUsb ? m_usbPad : m_serialPad;
    }
    // The pen, once the pad captures.
    void Write(Link link, const Points& points) {
        padsim::engine::PadEngine& engine = Engine(link);
        const auto until = std::chrono::steady_clock::now() + 3s;
        while (engine.Snapshot().capture != padsim::engine::CaptureState::kCapturing &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(5ms);
        }
        for (const SignaturePoint p : points) {
            sigformats::IsPenUp(p) ? engine.PenUp() : engine.PenDown(p.x, p.y);
        }
        if (link == Link::kSerial) {
            m_serial->WakeUp();
        }
    }

    testsupport::TempDir m_dir{"vellumix-service"};
    std::filesystem::path m_ports = m_dir / "ports";
    // One virtual pad behind each link.
    padsim::engine::PadEngine m_serialPad;
    padsim::engine::PadEngine m_usbPad;
    // The machine's USB devices: the one pad, at kUsbKey.
    std::shared_ptr<pl::hid::MemoryHidBackend> m_hid =
        std::make_shared<pl::hid::MemoryHidBackend>();
    std::shared_ptr<pl::hid::MemoryHidDevice> m_device =
        m_hid->AddDevice(kPadIds.vendorId, kPadIds.productId);
    ChannelSessionFactory m_factory;
    std::unique_ptr<padsim::hosts::SerialHost> m_serial;
    std::unique_ptr<padsim::hosts::UsbHost> m_usb;
};

Points Ink(const std::vector<ReceivedPoint>& received) {
    Points points;
    for (const ReceivedPoint& p : received) {
        points.push_back(p.down ? SignaturePoint{p.x, p.y} : sigformats::PEN_UP_POINT);
    }
    return points;
}

// Two clients, each holding one pad (one serial, one USB) at the same time,
// each pad on a link of its own: drawing, and the two captures running at
// once, each signature to its own holder.
TEST_F(ServicePad, TwoClientsDrawAndCaptureOnASerialAndAUsbPadAtOnce) {
    // The watch lists the HID devices with the pad's ids only.
    m_hid->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
    DeviceWatch::Places places = ServiceRig::PortFolder(m_ports);
    places.hid = m_hid.get();
    places.usbIds = kPadIds;
    ServiceRig rig(m_factory, ServiceRig::QuickOptions(), Pictures(), places);
    ASSERT_TRUE(StartSerial());
    StartUsb();
    ServiceClient serialClient(rig.Address());
    ServiceClient usbClient(rig.Address());
    ASSERT_TRUE(Eventually(serialClient, [&] { return serialClient.PadPaths().size() == 2; }));
    const std::string usbPath = serialClient.PadPaths().front();
    const std::string serialPath = std::string(kPadPathPrefix) + "COM" + std::to_string(kCom);
    EXPECT_EQ(serialClient.PadPaths(), (std::vector<std::string>{usbPath, serialPath}));
    EXPECT_EQ(serialClient.Pad(usbPath).port, kUsbKey);

    QImage picture(64, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 32; x < 64; ++x) {
            picture.setPixelColor(x, y, Qt::green);
        }
    }
    const std::filesystem::path file = m_dir / "picture.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(file.string())));
    // The bytes padctl's image command sends for the same file.
    const std::vector<std::uint8_t> sent = padpicture::LoadPadPixels(file).pixels;

    struct Holder {
        Link link;
        std::string path;
        ServiceClient& client;
        Points signature;
        std::vector<ReceivedPoint> got;
    };
    Holder holders[] = {
        {Link::kSerial,
         serialPath,
         serialClient,
         {{100, 200}, {110, 210}, sigformats::PEN_UP_POINT, {300, 40}},
         {}},
        {Link::kUsb,
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
        padsim::engine::PadEngine& engine = Engine(h.link);
        EXPECT_EQ(h.client.Pad(h.path).claimedBy, h.client.UniqueName());
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        h.client.ShowImage(h.path, fd);
        ::close(fd);
        const QImage lcd = engine.Snapshot().lcd;
        for (const auto& [x, y] : {std::pair{0, 0}, std::pair{319, 239}, std::pair{160, 120}}) {
            const std::size_t at = (std::size_t(y) * pl::kLcdWidth + std::size_t(x)) * 3;
            EXPECT_EQ(lcd.pixelColor(x, y), QColor(sent[at], sent[at + 1], sent[at + 2]));
        }
        // What is not a picture is refused by the helper, saying why.
        testsupport::WriteFile(m_dir / "notes.txt", "not a picture");
        const int text = ::open((m_dir / "notes.txt").c_str(), O_RDONLY | O_CLOEXEC);
        std::string why;
        try {
            h.client.ShowImage(h.path, text);
        } catch (const ServiceError& e) {
            why = e.Name() + ": " + e.Message();
        }
        ::close(text);
        EXPECT_EQ(why,
                  std::string(error::kBadArgument) + ": ShowImage: not a picture that can be read");
        h.client.SetLeds(h.path, "red");
        EXPECT_TRUE(engine.Snapshot().leds.red);
        h.client.ShowText(h.path, 40, 150, "Hi");
        h.client.OnPoints(h.path, [&h](const std::vector<ReceivedPoint>& batch) {
            h.got.insert(h.got.end(), batch.begin(), batch.end());
        });
        h.client.StartCapture(h.path, "Sign here", true);
    }
    for (Holder& h : holders) {
        Write(h.link, h.signature);
    }
    for (Holder& h : holders) {
        SCOPED_TRACE(h.path);
        ASSERT_TRUE(Eventually(h.client, [&] { return h.got.size() == h.signature.size(); }))
            << h.got.size();
        EXPECT_EQ(Ink(h.got), h.signature);
        const std::string inkml = h.client.StopCapture(h.path);
        const auto decoded = sigformats::DecodeInkml(
            std::span(reinterpret_cast<const std::uint8_t*>(inkml.data()), inkml.size()));
        Points closed = h.signature;
        closed.push_back(sigformats::PEN_UP_POINT);
        ASSERT_TRUE(decoded.Ok()) << decoded.Error().message;
        EXPECT_EQ(decoded.Value().points, closed);
        EXPECT_EQ(Engine(h.link).Snapshot().capture, padsim::engine::CaptureState::kStopped);
        h.client.Release(h.path);
    }
}

// A USB candidate is opened only while the device at its path has the pad's
// ids: the hidraw node a pad left may lead to another device by the time a
// claim comes.
TEST_F(ServicePad, AUsbDeviceWithOtherIdsIsNeverOpened) {
    ServiceRig rig(m_factory);
    const auto other = m_hid->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
    const std::string path = rig.Appear(other->Info().path, Transport::kUsb);
    ServiceClient client(rig.Address());
    std::string why;
    try {
        client.Claim(path);
    } catch (const ServiceError& e) {
        why = e.Name() + ": " + e.Message();
    }
    EXPECT_EQ(why, std::string(error::kNoAnswer) +
                       ": no pad answered on memory:1: the device there has the USB ids "
                       "1209:0001, not the pad's 2a3b:0042");
    EXPECT_EQ(other->OpenCount(), 0u);
}

TEST_F(ServicePad, ASerialPadThatGoesAndComesBackKeepsItsClaimAndItsCapture) {
    ServiceRig rig(m_factory, ServiceRig::QuickOptions(), Pictures(),
                   ServiceRig::PortFolder(m_ports));
    ASSERT_TRUE(StartSerial());
    ServiceClient client(rig.Address());
    const std::string path = std::string(kPadPathPrefix) + "COM" + std::to_string(kCom);
    ASSERT_TRUE(Eventually(client, [&] { return client.PadPaths().size() == 1; }));
    std::vector<ReceivedPoint> got;
    int lost = 0;
    client.OnPoints(path, [&](const std::vector<ReceivedPoint>& batch) {
        got.insert(got.end(), batch.begin(), batch.end());
    });
    client.OnPadLost(path, [&] { ++lost; });
    client.Claim(path);
    client.StartCapture(path);
    Write(Link::kSerial, {{10, 10}, {20, 20}});
    ASSERT_TRUE(Eventually(client, [&] { return got.size() == 2; }));

    m_serial->Stop();
    ASSERT_TRUE(Eventually(client, [&] { return lost == 1; }));
    EXPECT_FALSE(client.Pad(path).connected);
    EXPECT_EQ(client.PadPaths(), std::vector<std::string>{path}) << "a claimed pad stays listed";
    std::string why;
    try {
        client.Clear(path);
    } catch (const ServiceError& e) {
        why = e.Name();
    }
    EXPECT_EQ(why, error::kPadLost);

    ASSERT_TRUE(StartSerial());
    ASSERT_TRUE(Eventually(client, [&] { return client.Pad(path).connected; }));
    Write(Link::kSerial, {{30, 30}});
    ASSERT_TRUE(Eventually(client, [&] { return got.size() == 4; }));
    EXPECT_EQ(Ink(got), (Points{{10, 10}, {20, 20}, sigformats::PEN_UP_POINT, {30, 30}}));
    EXPECT_EQ(client.Pad(path).claimedBy, client.UniqueName());
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
