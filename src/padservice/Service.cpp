#include "padservice/Service.h"

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IObject.h>
#include <sdbus-c++/IProxy.h>
#include <sdbus-c++/Types.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "cli/Printf.h"
#include "padservice/EventLoop.h"
#include "padservice/Interface.h"
#include "padservice/ServiceTexts.h"

namespace vellumix::padservice {

namespace {

constexpr const char* kDaemonName = "org.freedesktop.DBus";
constexpr const char* kDaemonPath = "/org/freedesktop/DBus";
constexpr const char* kDaemonInterface = "org.freedesktop.DBus";
constexpr const char* kNameHasOwner = "NameHasOwner";
constexpr const char* kGetPid = "GetConnectionUnixProcessID";

// The last part of a device path, with what an object path may not hold
// turned into '_': "/dev/hidraw3" -> "hidraw3", "memory:0" -> "memory_0".
std::string PathElement(const std::string& key) {
    std::string element = key.substr(key.find_last_of('/') + 1);
    for (char& c : element) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            c = '_';
        }
    }
    return element.empty() ? std::string("pad") : element;
}

std::string ProgramOf(std::uint32_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

Service::Service(sdbus::IConnection& bus, EventLoop& loop, PadSessionFactory& factory,
                 PictureDecoder decoder, ServiceOptions options, std::function<void()> onIdle)
    : m_bus(bus),
      m_loop(loop),
      m_factory(factory),
      m_decoder(std::move(decoder)),
      m_options(options),
      m_onIdle(std::move(onIdle)) {
    m_daemon = sdbus::createProxy(m_bus, kDaemonName, kDaemonPath);
    m_manager = sdbus::createObject(m_bus, kManagerPath);
    m_manager->registerProperty(kManagerInterface, manager::kPads, "ao",
                                [this](sdbus::PropertyGetReply& reply) {
                                    RearmIdle();
                                    std::vector<sdbus::ObjectPath> paths;
                                    for (const std::string& path : PadPaths()) {
                                        paths.emplace_back(path);
                                    }
                                    reply << paths;
                                });
    m_manager->registerSignal(kManagerInterface, manager::kPadAdded, "o", {"pad"});
    m_manager->registerSignal(kManagerInterface, manager::kPadRemoved, "o", {"pad"});
    m_manager->finishRegistration();
    RearmIdle();
}

Service::~Service() {
    if (m_idleTimer != 0) {
        m_loop.Cancel(m_idleTimer);
    }
    m_pads.clear();
    m_manager.reset();
}

void Service::CandidateAppeared(const Candidate& candidate) {
    const auto it = m_pads.find(candidate.key);
    if (it != m_pads.end()) {
        it->second->SetPresent(true);
        return;
    }
    auto pad =
        std::make_shared<PadObject>(static_cast<PadHost&>(*this), candidate, PathFor(candidate));
    pad->Register();
    const std::string path = pad->Path();
    m_pads.emplace(candidate.key, std::move(pad));
    m_order.push_back(candidate.key);
    PadsChanged(manager::kPadAdded, path);
}

void Service::CandidateVanished(const std::string& key) {
    const auto it = m_pads.find(key);
    if (it == m_pads.end()) {
        return;
    }
    it->second->SetPresent(false);
    // A claimed pad stays, lost, until it returns or its claim ends.
    if (!it->second->Claimed()) {
        Remove(key);
    }
}

void Service::PadFreed(const std::string& key) {
    // Removed after the current task: the pad is still on the stack.
    m_loop.Post([this, key] {
        const auto it = m_pads.find(key);
        if (it != m_pads.end() && !it->second->Present() && !it->second->Claimed()) {
            Remove(key);
        }
    });
}

void Service::Remove(const std::string& key) {
    const auto it = m_pads.find(key);
    const std::string path = it->second->Path();
    m_pads.erase(it);
    std::erase(m_order, key);
    PadsChanged(manager::kPadRemoved, path);
}

void Service::PadsChanged(const char* signal, const std::string& path) {
    sdbus::Signal s = m_manager->createSignal(kManagerInterface, signal);
    s << sdbus::ObjectPath(path);
    m_manager->emitSignal(s);
    m_manager->emitPropertiesChangedSignal(kManagerInterface, {manager::kPads});
}

std::string Service::PathFor(const Candidate& candidate) const {
    const std::string base = std::string(kPadPathPrefix) + PathElement(candidate.key);
    std::string path = base;
    for (int n = 2;; ++n) {
        const bool taken = std::any_of(m_pads.begin(), m_pads.end(),
                                       [&](const auto& p) { return p.second->Path() == path; });
        if (!taken) {
            return path;
        }
        path = base + "_" + std::to_string(n);
    }
}

std::vector<std::string> Service::PadPaths() const {
    std::vector<std::string> paths;
    for (const std::string& key : m_order) {
        paths.push_back(m_pads.at(key)->Path());
    }
    return paths;
}

const PadObject* Service::FindPad(const std::string& path) const {
    for (const auto& [key, pad] : m_pads) {
        if (pad->Path() == path) {
            return pad.get();
        }
    }
    return nullptr;
}

bool Service::AnyClaimed() const {
    return std::any_of(m_pads.begin(), m_pads.end(),
                       [](const auto& p) { return p.second->Claimed(); });
}

void Service::RearmIdle() {
    if (m_idleTimer != 0) {
        m_loop.Cancel(m_idleTimer);
        m_idleTimer = 0;
    }
    if (m_options.idleExit.count() <= 0 || AnyClaimed()) {
        return;
    }
    m_idleTimer = m_loop.After(m_options.idleExit, [this] {
        m_idleTimer = 0;
        if (!AnyClaimed() && m_onIdle) {
            m_onIdle();
        }
    });
}

bool Service::PeerPresent(const std::string& name) {
    bool present = true;
    try {
        m_daemon->callMethod(kNameHasOwner)
            .onInterface(kDaemonInterface)
            .withArguments(name)
            .storeResultsTo(present);
    } catch (const sdbus::Error&) {
        // The daemon would not say: the watch on the name still ends the
        // claim when the holder goes.
    }
    return present;
}

std::string Service::DescribePeer(const std::string& name) {
    std::uint32_t pid = 0;
    try {
        m_daemon->callMethod(kGetPid)
            .onInterface(kDaemonInterface)
            .withArguments(name)
            .storeResultsTo(pid);
    } catch (const sdbus::Error&) {
        return name;
    }
    const std::string program = ProgramOf(pid);
    if (program.empty()) {
        return name;
    }
    return cli::Printf(text::kHolder, name, program, pid);
}

}  // namespace vellumix::padservice
