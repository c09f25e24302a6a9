// The capture service in the test's process on a private bus: its own
// connection owning org.vellumix.Pad1, the event loop on a thread of its
// own, and candidate devices handed in by the test or, with places to look,
// seen there by the service's own watch (a port folder's links as they come
// and go, in-memory HID devices as they were at the start). Clients connect
// to Address() from the test thread or from child processes.
#pragma once

#include <sdbus-c++/IConnection.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "padservice/DeviceWatch.h"
#include "padservice/EventLoop.h"
#include "padservice/Interface.h"
#include "padservice/Service.h"
#include "padservice/ServiceClient.h"
#include "support/PrivateBus.h"

namespace vellumix::padservice::test {

using namespace std::chrono_literals;

class ServiceRig {
public:
    // Fast enough that a test never waits long for a retry or a check.
    static ServiceOptions QuickOptions() {
        ServiceOptions options;
        options.idleExit = std::chrono::milliseconds{0};
        options.limits.linkCheck = 100ms;
        options.limits.returnRetry = 100ms;
        return options;
    }

    // The watch on a port folder alone.
    static DeviceWatch::Places PortFolder(const std::filesystem::path& folder) {
        DeviceWatch::Places places;
        places.portFolder = folder;
        return places;
    }

    ServiceRig(PadSessionFactory& factory, ServiceOptions options = QuickOptions(),
               PictureDecoder decoder = {}, DeviceWatch::Places places = {})
        : m_connection(sdbus::createSessionBusConnectionWithAddress(m_bus.Address())),
          m_loop(*m_connection) {
        m_service = std::make_unique<Service>(*m_connection, m_loop, factory, std::move(decoder),
                                              options, [this] { m_idle = true; });
        if (!places.portFolder.empty() || places.hid != nullptr) {
            m_watch = std::make_unique<DeviceWatch>(
                m_loop,
                DeviceWatch::Sink{
                    [this](const Candidate& c) { m_service->CandidateAppeared(c); },
                    [this](const std::string& key) { m_service->CandidateVanished(key); }},
                std::move(places));
            m_watch->Start();
        }
        m_connection->requestName(kBusName);
        m_thread = std::thread([this] { m_loop.Run(); });
    }
    ~ServiceRig() {
        m_loop.Quit();
        m_thread.join();
        m_watch.reset();
        m_service.reset();
    }
    ServiceRig(const ServiceRig&) = delete;
    ServiceRig& operator=(const ServiceRig&) = delete;

    const std::string& Address() const { return m_bus.Address(); }
    pid_t DaemonPid() const { return m_bus.Pid(); }

    // Runs f on the loop thread and waits for it.
    template <typename F>
    auto OnLoop(F f) -> decltype(f(std::declval<Service&>())) {
        std::packaged_task<decltype(f(std::declval<Service&>()))()> task(
            [this, &f] { return f(*m_service); });
        auto result = task.get_future();
        m_loop.Post([&task] { task(); });
        return result.get();
    }

    // A device seen by a watcher; returns its object path.
    std::string Appear(const std::string& key, Transport transport = Transport::kSerial) {
        return OnLoop([&](Service& s) {
            s.CandidateAppeared({key, transport, key});
            for (const std::string& path : s.PadPaths()) {
                if (s.FindPad(path)->Device().key == key) {
                    return path;
                }
            }
            return std::string();
        });
    }
    void Vanish(const std::string& key) {
        OnLoop([&](Service& s) { s.CandidateVanished(key); });
    }
    std::uint64_t UnreadSignals(const std::string& path) {
        return OnLoop([&](Service& s) {
            const PadObject* pad = s.FindPad(path);
            return pad != nullptr ? pad->UnreadSignals() : 0;
        });
    }
    bool Idle() const { return m_idle.load(); }

private:
    testsupport::PrivateBus m_bus;
    std::unique_ptr<sdbus::IConnection> m_connection;
    EventLoop m_loop;
    std::unique_ptr<Service> m_service;
    std::unique_ptr<DeviceWatch> m_watch;
    std::atomic<bool> m_idle{false};
    std::thread m_thread;
};

// The name of the error a call ends with; empty when it succeeds.
template <typename F>
std::string ErrorOf(F&& call, std::string* message = nullptr) {
    try {
        call();
    } catch (const ServiceError& e) {
        if (message != nullptr) {
            *message = e.Message();
        }
        return e.Name();
    }
    return {};
}

// Processes the client's messages until pred holds or the time is up.
inline bool Eventually(ServiceClient& client, const std::function<bool()>& pred,
                       std::chrono::milliseconds limit = 3s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        client.Process(10ms);
    }
    return true;
}

}  // namespace vellumix::padservice::test
