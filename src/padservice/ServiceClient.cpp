#include "padservice/ServiceClient.h"

#include <poll.h>

#include <sdbus-c++/sdbus-c++.h>

#include "padservice/Interface.h"

namespace vellumix::padservice {

namespace {

using PointStruct = sdbus::Struct<double, std::uint16_t, std::uint16_t, bool>;

template <typename F>
auto Translated(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const sdbus::Error& e) {
        throw ServiceError(e.getName(), e.getMessage());
    }
}

}  // namespace

ServiceClient::ServiceClient(const std::string& address) {
    Translated([&] {
        m_connection = address.empty() ? sdbus::createSessionBusConnection()
                                       : sdbus::createSessionBusConnectionWithAddress(address);
    });
}

ServiceClient::~ServiceClient() {
    m_proxies.clear();
    m_connection.reset();
}

std::string ServiceClient::UniqueName() const {
    return m_connection->getUniqueName();
}

sdbus::IProxy& ServiceClient::Proxy(const std::string& path) {
    auto& proxy = m_proxies[path];
    if (!proxy) {
        proxy = sdbus::createProxy(*m_connection, kBusName, path);
        proxy->registerSignalHandler(kPadInterface, pad::kPoints, [this, path](sdbus::Signal& s) {
            std::vector<PointStruct> points;
            s >> points;
            const auto it = m_pointsHandlers.find(path);
            if (it == m_pointsHandlers.end() || !it->second) {
                return;
            }
            std::vector<ReceivedPoint> received;
            received.reserve(points.size());
            for (const PointStruct& p : points) {
                received.push_back(
                    {std::get<0>(p), std::get<1>(p), std::get<2>(p), std::get<3>(p)});
            }
            it->second(received);
        });
        proxy->registerSignalHandler(kPadInterface, pad::kPadLost, [this, path](sdbus::Signal&) {
            const auto it = m_lostHandlers.find(path);
            if (it != m_lostHandlers.end() && it->second) {
                it->second();
            }
        });
        proxy->finishRegistration();
    }
    return *proxy;
}

std::vector<std::string> ServiceClient::PadPaths() {
    return Translated([&] {
        auto proxy = sdbus::createProxy(*m_connection, kBusName, kManagerPath);
        const std::vector<sdbus::ObjectPath> paths =
            proxy->getProperty(manager::kPads).onInterface(kManagerInterface);
        return std::vector<std::string>(paths.begin(), paths.end());
    });
}

PadInfo ServiceClient::Pad(const std::string& path) {
    return Translated([&] {
        sdbus::IProxy& proxy = Proxy(path);
        std::map<std::string, sdbus::Variant> all;
        proxy.callMethod("GetAll")
            .onInterface("org.freedesktop.DBus.Properties")
            .withArguments(std::string(kPadInterface))
            .storeResultsTo(all);
        PadInfo info;
        info.path = path;
        info.port = all.at(pad::kPort).get<std::string>();
        info.transport = all.at(pad::kTransport).get<std::string>();
        info.connected = all.at(pad::kConnected).get<bool>();
        info.claimedBy = all.at(pad::kClaimedBy).get<std::string>();
        return info;
    });
}

void ServiceClient::Claim(const std::string& path) {
    Translated([&] {
        Proxy(path)
            .callMethod(pad::kClaim)
            .onInterface(kPadInterface)
            .withTimeout(kClaimCallTimeout);
    });
}

void ServiceClient::Release(const std::string& path) {
    Translated([&] {
        Proxy(path)
            .callMethod(pad::kRelease)
            .onInterface(kPadInterface)
            .withTimeout(kLongCallTimeout);
    });
}

void ServiceClient::StartCapture(const std::string& path, const std::string& prompt, bool clear) {
    Translated([&] {
        std::map<std::string, sdbus::Variant> options;
        if (!prompt.empty()) {
            options.emplace(std::string(option::kPrompt), sdbus::Variant(prompt));
        }
        if (clear) {
            options.emplace(std::string(option::kClear), sdbus::Variant(true));
        }
        Proxy(path)
            .callMethod(pad::kStartCapture)
            .onInterface(kPadInterface)
            .withTimeout(kLongCallTimeout)
            .withArguments(options);
    });
}

std::string ServiceClient::StopCapture(const std::string& path) {
    return Translated([&] {
        std::string inkml;
        Proxy(path)
            .callMethod(pad::kStopCapture)
            .onInterface(kPadInterface)
            .withTimeout(kLongCallTimeout)
            .storeResultsTo(inkml);
        return inkml;
    });
}

void ServiceClient::Clear(const std::string& path) {
    Translated([&] {
        Proxy(path)
            .callMethod(pad::kClear)
            .onInterface(kPadInterface)
            .withTimeout(kLongCallTimeout);
    });
}

void ServiceClient::ShowText(const std::string& path, int x, int y, const std::string& text) {
    Translated([&] {
        Proxy(path)
            .callMethod(pad::kShowText)
            .onInterface(kPadInterface)
            .withTimeout(kLongCallTimeout)
            .withArguments(std::int32_t{x}, std::int32_t{y}, text);
    });
}

void ServiceClient::ShowImage(const std::string& path, int fd) {
    Translated([&] {
        Proxy(path)
            .callMethod(pad::kShowImage)
            .onInterface(kPadInterface)
            .withTimeout(kLongCallTimeout)
            .withArguments(sdbus::UnixFd(fd));
    });
}

void ServiceClient::SetLeds(const std::string& path, const std::string& word) {
    Translated([&] {
        Proxy(path)
            .callMethod(pad::kSetLeds)
            .onInterface(kPadInterface)
            .withTimeout(kLongCallTimeout)
            .withArguments(word);
    });
}

void ServiceClient::OnPoints(const std::string& path, PointsHandler handler) {
    Translated([&] { Proxy(path); });
    m_pointsHandlers[path] = std::move(handler);
}

void ServiceClient::OnPadLost(const std::string& path, std::function<void()> handler) {
    Translated([&] { Proxy(path); });
    m_lostHandlers[path] = std::move(handler);
}

bool ServiceClient::Process(std::chrono::milliseconds wait) {
    try {
        while (m_connection->processPendingRequest()) {
        }
        const sdbus::IConnection::PollData data = m_connection->getEventLoopPollData();
        int timeout = static_cast<int>(wait.count());
        if (const auto bus = data.getRelativeTimeout()) {
            timeout = std::min<int>(
                timeout,
                static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(*bus).count()));
        }
        pollfd fd{data.fd, data.events, 0};
        if (::poll(&fd, 1, timeout) > 0) {
            while (m_connection->processPendingRequest()) {
            }
        }
        return true;
    } catch (const sdbus::Error&) {
        return false;
    }
}

}  // namespace vellumix::padservice
