// Finding the pad again after its link failed: discovery passes (the same
// order and probe as at start, see PadProbe.h) on a worker thread until a
// pad answers. Each probe runs under the command channel's lock and the
// pauses outside it, so the GUI thread's commands (answered "link down" at
// once meanwhile) never wait for a whole pass.
//
// Thread safety: Start and Stop belong to the owner's thread; the found
// callback runs on the worker and must not call Stop.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "padlink/PadProbe.h"

namespace vellumix::padlink {

class PadCommandChannel;

class PadReconnector {
public:
    // Runs on the worker once a pad answered and the channel is up again.
    using Found = std::function<void(DiscoveryResult)>;

    // The channel must outlive the reconnector. options.cancel is replaced
    // by the reconnector's own stop flag.
    PadReconnector(PadCommandChannel& channel, DiscoveryOptions options,
                   std::chrono::milliseconds passPause, Found found);
    ~PadReconnector();
    PadReconnector(const PadReconnector&) = delete;
    PadReconnector& operator=(const PadReconnector&) = delete;

    // Starts a search unless one runs.
    void Start();
    // Ends the search and joins the worker: at most one probe and one pause.
    void Stop();
    bool IsSearching() const { return m_searching.load(); }

private:
    void Run(std::stop_token stop);

    PadCommandChannel& m_channel;
    DiscoveryOptions m_options;
    std::chrono::milliseconds m_passPause;
    Found m_found;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_searching{false};
    std::mutex m_control;
    std::jthread m_thread;
};

}  // namespace vellumix::padlink
