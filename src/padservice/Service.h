// The capture service on the bus: the manager object /org/vellumix/Pad1 with
// its Pads list, one PadObject per candidate device, and the idle exit.
// Candidates come from the device watchers (DeviceWatch.h) or, in tests,
// straight from the test; the pads' sessions come from the factory given.
//
// Idle means idle: while no pad is claimed, one timer runs from the last
// method call, and when it fires onIdle is called (the program quits). No
// other timer runs while nothing is claimed.
//
// Thread safety: everything on the loop thread, the constructor and the
// destructor included.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "padservice/PadObject.h"

namespace sdbus {
class IConnection;
class IObject;
class IProxy;
}  // namespace sdbus

namespace vellumix::padservice {

inline constexpr std::chrono::seconds kDefaultIdleExit{60};

struct ServiceOptions {
    // Quiet time before onIdle; zero: never.
    std::chrono::milliseconds idleExit = kDefaultIdleExit;
    PadLimits limits;
};

class Service : private PadHost {
public:
    // The bus, loop and factory must outlive the service. decoder may be
    // empty: ShowImage then refuses every picture.
    Service(sdbus::IConnection& bus, EventLoop& loop, PadSessionFactory& factory,
            PictureDecoder decoder, ServiceOptions options, std::function<void()> onIdle);
    ~Service() override;
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // A watcher saw a device that may be a pad, or saw it go.
    void CandidateAppeared(const Candidate& candidate);
    void CandidateVanished(const std::string& key);

    // For tests and benchmarks.
    std::vector<std::string> PadPaths() const;
    const PadObject* FindPad(const std::string& path) const;

private:
    sdbus::IConnection& Bus() override { return m_bus; }
    EventLoop& Loop() override { return m_loop; }
    PadSessionFactory& Factory() override { return m_factory; }
    const PictureDecoder& Decoder() const override { return m_decoder; }
    const PadLimits& Limits() const override { return m_options.limits; }
    void Touched() override { RearmIdle(); }
    void ClaimsChanged() override { RearmIdle(); }
    void PadFreed(const std::string& key) override;
    bool PeerPresent(const std::string& name) override;
    std::string DescribePeer(const std::string& name) override;

    void RearmIdle();
    bool AnyClaimed() const;
    std::string PathFor(const Candidate& candidate) const;
    void Remove(const std::string& key);
    void PadsChanged(const char* signal, const std::string& path);

    sdbus::IConnection& m_bus;
    EventLoop& m_loop;
    PadSessionFactory& m_factory;
    PictureDecoder m_decoder;
    ServiceOptions m_options;
    std::function<void()> m_onIdle;
    std::unique_ptr<sdbus::IObject> m_manager;
    std::unique_ptr<sdbus::IProxy> m_daemon;
    // By candidate key, and the keys in the order the pads appeared.
    std::map<std::string, std::shared_ptr<PadObject>> m_pads;
    std::vector<std::string> m_order;
    std::uint64_t m_idleTimer = 0;
};

}  // namespace vellumix::padservice
