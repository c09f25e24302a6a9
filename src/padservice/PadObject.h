// One candidate pad on the bus: the object /org/vellumix/Pad1/<name> with its
// properties, the claim, the calls queued on the pad's worker, the capture
// and the Points owed to the holder, a lost pad and its return.
//
// The claim: one holder at a time; every method but Claim needs it. Claim
// opens and probes the port on the worker (NoAnswer when no pad answers,
// Busy when another program has the port); a claim ends with Release, or
// when the holder's bus name goes away (exit, crash, kill -9): the calls it
// left queued are dropped, capture stops, the port closes and the pad is
// free once the command in progress on the line has ended. The port is open
// only while the pad is claimed.
//
// A lost pad (the session reports its link down) stays claimed: Connected
// goes false, the open stroke ends with a pen lift, PadLost goes out and
// every call but StopCapture and Release fails with PadLost. The worker
// tries to open it again every returnRetry and whenever its device shows up
// again; once it answers, a capture that was running starts again.
//
// Thread safety: everything here runs on the loop thread. The worker's jobs
// and the session's events come back through the loop's Post, tagged with
// the claim they belong to, so nothing from an ended claim reaches the next.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <sdbus-c++/Error.h>
#include <sdbus-c++/Message.h>
#include <sdbus-c++/TypeTraits.h>

#include "padservice/CaptureRecord.h"
#include "padservice/PadSession.h"
#include "padservice/PointsFlow.h"

namespace sdbus {
class IConnection;
class IObject;
class IProxy;
}  // namespace sdbus

namespace vellumix::padservice {

class EventLoop;
class PadWorker;

// The pad's image data from a picture file's bytes, or why not.
struct PixelsResult {
    std::vector<std::uint8_t> pixels;
    std::string error;  // empty: success
};
using PictureDecoder = std::function<PixelsResult(std::span<const std::uint8_t> file)>;

// Calls of one client that may wait for one pad.
inline constexpr std::size_t kMaxQueuedCalls = 16;
// While claimed and idle: how often the line is looked at for a hang-up (the
// app's own check runs as often).
inline constexpr std::chrono::milliseconds kLinkCheckInterval{500};
// While lost: how often the pad is looked for, besides whenever its device
// shows up again.
inline constexpr std::chrono::milliseconds kReturnRetryInterval{1000};

struct PadLimits {
    std::size_t queuedCalls = kMaxQueuedCalls;
    std::chrono::milliseconds linkCheck = kLinkCheckInterval;
    std::chrono::milliseconds returnRetry = kReturnRetryInterval;
};

// What a pad needs of the service around it.
class PadHost {
public:
    virtual ~PadHost() = default;
    virtual sdbus::IConnection& Bus() = 0;
    virtual EventLoop& Loop() = 0;
    virtual PadSessionFactory& Factory() = 0;
    virtual const PictureDecoder& Decoder() const = 0;
    virtual const PadLimits& Limits() const = 0;
    // A method call came in: the service is not idle.
    virtual void Touched() = 0;
    // A claim began or ended.
    virtual void ClaimsChanged() = 0;
    // A claim ended on a pad whose device had gone.
    virtual void PadFreed(const std::string& key) = 0;
    // Whether a bus name has an owner, and who it is in words (":1.42
    // (vellumix-padctl, pid 4242)"), asked of the bus daemon.
    virtual bool PeerPresent(const std::string& name) = 0;
    virtual std::string DescribePeer(const std::string& name) = 0;
};

class PadObject : public std::enable_shared_from_this<PadObject> {
public:
    PadObject(PadHost& host, Candidate candidate, std::string path);
    // Waits for the job in progress on the pad, if any (program exit).
    ~PadObject();
    PadObject(const PadObject&) = delete;
    PadObject& operator=(const PadObject&) = delete;

    // Puts the object on the bus; after construction, since its handlers
    // hold a weak reference to it.
    void Register();

    const std::string& Path() const { return m_path; }
    const Candidate& Device() const { return m_candidate; }
    bool Claimed() const { return m_phase != Phase::kFree; }
    // The device is there (a watcher saw it) or has gone.
    void SetPresent(bool present);
    bool Present() const { return m_present; }

    // Points signals sent to the holder and not yet proven read; for tests
    // and benchmarks.
    std::uint64_t UnreadSignals() const { return m_flow.Unread(); }

private:
    enum class Phase { kFree, kClaiming, kHeld, kReleasing };
    class Inbox;
    using CallId = std::uint64_t;
    // A call's end: an error's name (null for success) and message.
    struct CallResult {
        const char* error = nullptr;
        std::string message;
    };
    // Runs f on the loop thread if this object and its claim still exist;
    // safe from any thread.
    using Poster = std::function<void(std::function<void(PadObject&)>)>;
    // Runs on the worker; its result goes back to the caller.
    using Work = std::function<CallResult(PadSession&, const Poster&)>;
    // Runs on the loop thread once the work is done and replies to the call;
    // without it the reply is empty or the error.
    using Done = std::function<void(PadObject&, const CallResult&, sdbus::MethodCall&)>;
    using Job = std::function<void(PadSession&, const Poster&)>;

    void OnClaim(sdbus::MethodCall call);
    void OnRelease(sdbus::MethodCall call);
    void OnStartCapture(sdbus::MethodCall call);
    void OnStopCapture(sdbus::MethodCall call);
    void OnClear(sdbus::MethodCall call);
    void OnShowText(sdbus::MethodCall call);
    void OnShowImage(sdbus::MethodCall call);
    void OnSetLeds(sdbus::MethodCall call);

    // Throws NotClaimed unless the caller holds the pad, and PadLost while
    // the pad is lost unless allowLost.
    void RequireHolder(const sdbus::MethodCall& call, bool allowLost = false) const;
    // Queues work for the caller (LimitsExceeded when too many wait);
    // replies when it is done.
    void Queue(sdbus::MethodCall call, Work work, Done done = {});
    // A step of the service's own, queued whatever waits.
    void Internal(Job job);
    void Finish(CallId id, const CallResult& result);
    Poster PosterFor(std::uint64_t claim);

    void Opened(const OpenResult& result);
    void BeginRelease(std::optional<sdbus::MethodCall> releaseCall, bool holderGone);
    void Closed();
    void HolderGone(const std::string& name);

    void Lost();
    void LookForReturn();
    void Returned(const OpenResult& result);
    void ScheduleLinkCheck();
    void ScheduleReturnRetry();
    void CancelTimers();

    void CaptureStarting(sigformats::PointTime start);
    void DrainInbox();
    void SendPoints(bool ignoreFlow = false);
    void Ping();
    void PingAnswered(bool proved);

    void EmitChanged(std::vector<std::string> properties);
    void SetConnected(bool connected);
    // The text with the pad's port put in for %s.
    std::string Say(const char* format) const;

    PadHost& m_host;
    Candidate m_candidate;
    std::string m_path;
    bool m_present = true;
    std::unique_ptr<sdbus::IObject> m_object;

    Phase m_phase = Phase::kFree;
    // Counts claims: events and results carry the claim they belong to.
    std::uint64_t m_claim = 0;
    std::string m_holder;
    std::string m_holderWords;  // the holder as Busy names it
    std::string m_claimedBy;    // what ClaimedBy shows
    sdbus::Slot m_holderWatch;
    std::vector<sdbus::MethodCall> m_claimCalls;
    std::vector<sdbus::MethodCall> m_releaseCalls;
    // Claims the pad refused, answered once it is free again.
    std::vector<std::pair<sdbus::MethodCall, sdbus::Error>> m_failedClaims;
    bool m_connected = false;
    bool m_lost = false;
    bool m_lookingForReturn = false;
    std::uint64_t m_linkTimer = 0;
    std::uint64_t m_returnTimer = 0;

    std::unique_ptr<PadSession> m_session;
    std::shared_ptr<Inbox> m_inbox;
    // Destroyed before the session: its jobs use it.
    std::unique_ptr<PadWorker> m_worker;
    CallId m_nextCall = 1;
    std::map<CallId, std::pair<sdbus::MethodCall, Done>> m_calls;

    bool m_capturing = false;
    bool m_captureStarted = false;  // the pad was told to start this capture
    CaptureSetup m_setup;
    CaptureRecord m_record;
    std::size_t m_sentPoints = 0;
    PointsFlow m_flow;
    std::unique_ptr<sdbus::IProxy> m_holderPeer;
};

}  // namespace vellumix::padservice
