#include "padservice/PadObject.h"

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IObject.h>
#include <sdbus-c++/IProxy.h>
#include <sdbus-c++/Types.h>
#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "capture/ReportClock.h"
#include "cli/Printf.h"
#include "padlink/PadProtocol.h"
#include "padservice/EventLoop.h"
#include "padservice/Interface.h"
#include "padservice/PadWorker.h"
#include "padservice/ServiceTexts.h"
#include "sigfiles/FileAccess.h"

namespace vellumix::padservice {

namespace {

using PointStruct = sdbus::Struct<double, std::uint16_t, std::uint16_t, bool>;

constexpr const char* kPeerInterface = "org.freedesktop.DBus.Peer";
constexpr const char* kPingMethod = "Ping";
// The error of a call whose answer never came (time-out, or the callee left).
constexpr std::string_view kNoReplyError = "org.freedesktop.DBus.Error.NoReply";
constexpr const char* kHolderRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='%s'";

const char* ErrorName(StepError error) {
    switch (error) {
        case StepError::kNone:
            return nullptr;
        case StepError::kRefused:
            return error::kRefused;
        case StepError::kNoAnswer:
            return error::kNoAnswer;
        case StepError::kPadLost:
            break;
    }
    return error::kPadLost;
}

sdbus::Error BadArgument(std::string message) {
    return sdbus::Error(error::kBadArgument, std::move(message));
}

void CheckOnLcd(const char* method, int x, int y) {
    if (x < 0 || x > padlink::kLcdMaxX) {
        throw BadArgument(cli::Printf(text::kOffLcd, method, "x", x, padlink::kLcdMaxX));
    }
    if (y < 0 || y > padlink::kLcdMaxY) {
        throw BadArgument(cli::Printf(text::kOffLcd, method, "y", y, padlink::kLcdMaxY));
    }
}

void CheckText(const char* method, const std::string& text) {
    if (text.empty()) {
        throw BadArgument(cli::Printf(text::kNoText, method));
    }
    if (text.size() > padlink::kMaxTextBytes) {
        throw BadArgument(cli::Printf(text::kTextTooLong, method, padlink::kMaxTextBytes));
    }
}

}  // namespace

// Points on their way from the session's reader thread to the loop thread.
// One drain is posted for however many reads arrive before it runs.
class PadObject::Inbox {
public:
    // True when the inbox was empty: the caller posts a drain.
    bool Add(std::span<const sigformats::SignaturePoint> points,
             std::span<const sigformats::PointTime> times) {
        std::lock_guard lock(m_lock);
        const bool wasEmpty = m_points.empty();
        m_points.insert(m_points.end(), points.begin(), points.end());
        m_times.insert(m_times.end(), times.begin(), times.end());
        return wasEmpty;
    }
    void Take(std::vector<sigformats::SignaturePoint>& points, sigformats::PointTimes& times) {
        std::lock_guard lock(m_lock);
        points.swap(m_points);
        times.swap(m_times);
        m_points.clear();
        m_times.clear();
    }

private:
    std::mutex m_lock;
    std::vector<sigformats::SignaturePoint> m_points;
    sigformats::PointTimes m_times;
};

PadObject::PadObject(PadHost& host, Candidate candidate, std::string path)
    : m_host(host), m_candidate(std::move(candidate)), m_path(std::move(path)) {}

PadObject::~PadObject() {
    m_holderPeer.reset();
    m_holderWatch.reset();
    m_worker.reset();
    if (m_session) {
        m_session->Close();
        m_session.reset();
    }
    m_object.reset();
}

std::string PadObject::Say(const char* format) const {
    return cli::Printf(format, m_candidate.port.c_str());
}

void PadObject::Register() {
    m_object = sdbus::createObject(m_host.Bus(), m_path);
    const std::weak_ptr<PadObject> weak = weak_from_this();
    const auto method = [weak](void (PadObject::*handler)(sdbus::MethodCall)) {
        return [weak, handler](sdbus::MethodCall call) {
            if (const auto self = weak.lock()) {
                self->m_host.Touched();
                ((*self).*handler)(std::move(call));
            }
        };
    };
    sdbus::IObject& o = *m_object;
    o.registerMethod(kPadInterface, pad::kClaim, "", {}, "", {}, method(&PadObject::OnClaim));
    o.registerMethod(kPadInterface, pad::kRelease, "", {}, "", {}, method(&PadObject::OnRelease));
    o.registerMethod(kPadInterface, pad::kStartCapture, signature::kCaptureOptions, {"options"}, "",
                     {}, method(&PadObject::OnStartCapture));
    o.registerMethod(kPadInterface, pad::kStopCapture, "", {}, "s", {"inkml"},
                     method(&PadObject::OnStopCapture));
    o.registerMethod(kPadInterface, pad::kClear, "", {}, "", {}, method(&PadObject::OnClear));
    o.registerMethod(kPadInterface, pad::kShowText, signature::kShowText, {"x", "y", "text"}, "",
                     {}, method(&PadObject::OnShowText));
    o.registerMethod(kPadInterface, pad::kShowImage, "h", {"picture"}, "", {},
                     method(&PadObject::OnShowImage));
    o.registerMethod(kPadInterface, pad::kSetLeds, "s", {"leds"}, "", {},
                     method(&PadObject::OnSetLeds));
    o.registerSignal(kPadInterface, pad::kPoints, signature::kPoints, {"points"});
    o.registerSignal(kPadInterface, pad::kPadLost, "");

    const auto property = [this](auto value) {
        return [this, value](sdbus::PropertyGetReply& reply) {
            m_host.Touched();
            reply << value(*this);
        };
    };
    o.registerProperty(kPadInterface, pad::kPort, "s",
                       property([](const PadObject& p) { return p.m_candidate.port; }));
    o.registerProperty(kPadInterface, pad::kTransport, "s", property([](const PadObject& p) {
                           return std::string(p.m_candidate.transport == Transport::kUsb
                                                  ? kTransportUsb
                                                  : kTransportSerial);
                       }));
    o.registerProperty(kPadInterface, pad::kConnected, "b",
                       property([](const PadObject& p) { return p.m_connected; }));
    o.registerProperty(kPadInterface, pad::kClaimedBy, "s",
                       property([](const PadObject& p) { return p.m_claimedBy; }));
    o.registerProperty(kPadInterface, pad::kLcdSize, signature::kLcdSize,
                       property([](const PadObject&) {
                           return sdbus::Struct<std::uint32_t, std::uint32_t>(padlink::kLcdWidth,
                                                                              padlink::kLcdHeight);
                       }));
    o.finishRegistration();
}

void PadObject::SetPresent(bool present) {
    m_present = present;
    if (m_phase != Phase::kHeld) {
        return;
    }
    if (present && m_lost) {
        LookForReturn();
    } else if (!present && !m_lost && m_worker->Idle()) {
        // Gone from the system: the line check finds out now rather than
        // at its next turn.
        Internal([](PadSession& s, const Poster&) { s.CheckLink(); });
    }
}

PadObject::Poster PadObject::PosterFor(std::uint64_t claim) {
    EventLoop& loop = m_host.Loop();
    std::weak_ptr<PadObject> weak = weak_from_this();
    return [&loop, weak = std::move(weak), claim](std::function<void(PadObject&)> f) {
        loop.Post([weak, claim, f = std::move(f)] {
            if (const auto self = weak.lock(); self && self->m_claim == claim) {
                f(*self);
            }
        });
    };
}

void PadObject::Internal(Job job) {
    m_worker->Push([session = m_session.get(), post = PosterFor(m_claim), job = std::move(job)] {
        job(*session, post);
    });
}

void PadObject::Queue(sdbus::MethodCall call, Work work, Done done) {
    const CallId id = m_nextCall++;
    const bool queued = m_worker->TryPush(
        [session = m_session.get(), post = PosterFor(m_claim), work = std::move(work), id] {
            CallResult result = work(*session, post);
            post([id, result = std::move(result)](PadObject& p) { p.Finish(id, result); });
        });
    if (!queued) {
        throw sdbus::Error(
            error::kLimitsExceeded,
            cli::Printf(text::kQueueFull, m_host.Limits().queuedCalls, m_candidate.port.c_str()));
    }
    m_calls.emplace(id, std::make_pair(std::move(call), std::move(done)));
}

void PadObject::Finish(CallId id, const CallResult& result) {
    auto node = m_calls.extract(id);
    if (node.empty()) {
        return;  // dropped with its holder
    }
    auto& [call, done] = node.mapped();
    if (done) {
        done(*this, result, call);
        return;
    }
    if (result.error != nullptr) {
        call.createErrorReply(sdbus::Error(result.error, result.message)).send();
    } else {
        call.createReply().send();
    }
}

void PadObject::RequireHolder(const sdbus::MethodCall& call, bool allowLost) const {
    if (m_phase != Phase::kHeld || call.getSender() != m_holder) {
        if (m_phase == Phase::kHeld) {
            throw sdbus::Error(
                error::kNotClaimed,
                cli::Printf(text::kClaimedBy, m_candidate.port.c_str(), m_holderWords.c_str()));
        }
        throw sdbus::Error(error::kNotClaimed, Say(text::kNotClaimed));
    }
    if (m_lost && !allowLost) {
        throw sdbus::Error(error::kPadLost, Say(text::kLost));
    }
}

// ---- Claim and release ----------------------------------------------------

void PadObject::OnClaim(sdbus::MethodCall call) {
    const std::string sender = call.getSender();
    switch (m_phase) {
        case Phase::kFree:
            break;
        case Phase::kClaiming:
            if (sender == m_holder) {
                m_claimCalls.push_back(std::move(call));
                return;
            }
            [[fallthrough]];
        case Phase::kHeld:
            if (sender == m_holder) {
                call.createReply().send();
                return;
            }
            throw sdbus::Error(error::kBusy, cli::Printf(text::kClaimedBy, m_candidate.port.c_str(),
                                                         m_holderWords.c_str()));
        case Phase::kReleasing:
            throw sdbus::Error(error::kBusy, Say(text::kBeingReleased));
    }

    // Watched before it is looked up, so a holder that goes in between is
    // seen by one or the other.
    const std::weak_ptr<PadObject> weak = weak_from_this();
    m_holderWatch = m_host.Bus().addMatch(
        cli::Printf(kHolderRule, sender.c_str()), [weak](sdbus::Message& message) {
            std::string name;
            std::string oldOwner;
            std::string newOwner;
            message >> name >> oldOwner >> newOwner;
            if (const auto self = weak.lock(); self && newOwner.empty()) {
                self->HolderGone(name);
            }
        });
    if (!m_host.PeerPresent(sender)) {
        m_holderWatch.reset();
        return;  // nobody left to answer
    }
    m_phase = Phase::kClaiming;
    ++m_claim;
    m_holder = sender;
    m_holderWords = m_host.DescribePeer(sender);
    m_claimCalls.clear();
    m_claimCalls.push_back(std::move(call));
    m_flow.Reset();
    m_lost = false;
    m_capturing = false;

    m_inbox = std::make_shared<Inbox>();
    const Poster post = PosterFor(m_claim);
    PadSession::Events events;
    events.points = [inbox = m_inbox, post](std::span<const sigformats::SignaturePoint> points,
                                            std::span<const sigformats::PointTime> times) {
        if (inbox->Add(points, times)) {
            post([](PadObject& p) { p.DrainInbox(); });
        }
    };
    events.lost = [post] { post([](PadObject& p) { p.Lost(); }); };
    m_session = m_host.Factory().Create(m_candidate, std::move(events));
    m_worker = std::make_unique<PadWorker>(m_host.Limits().queuedCalls);
    m_host.ClaimsChanged();
    Internal([](PadSession& s, const Poster& p) {
        OpenResult r = s.Open();
        p([r = std::move(r)](PadObject& o) { o.Opened(r); });
    });
}

void PadObject::Opened(const OpenResult& result) {
    if (m_phase != Phase::kClaiming) {
        return;  // released meanwhile; the close is queued
    }
    if (!result.Ok()) {
        // Answered once the pad is free again, so a caller that tries again
        // at once is not told it is being released.
        const char* name = result.error == OpenError::kBusy ? error::kBusy : error::kNoAnswer;
        for (sdbus::MethodCall& call : m_claimCalls) {
            m_failedClaims.emplace_back(std::move(call), sdbus::Error(name, result.message));
        }
        m_claimCalls.clear();
        BeginRelease(std::nullopt, false);
        return;
    }
    m_phase = Phase::kHeld;
    for (sdbus::MethodCall& call : m_claimCalls) {
        call.createReply().send();
    }
    m_claimCalls.clear();
    m_claimedBy = m_holder;
    m_connected = true;
    EmitChanged({pad::kClaimedBy, pad::kConnected});
    ScheduleLinkCheck();
}

void PadObject::OnRelease(sdbus::MethodCall call) {
    if ((m_phase != Phase::kHeld && m_phase != Phase::kClaiming) || call.getSender() != m_holder) {
        throw sdbus::Error(error::kNotClaimed, Say(text::kNotClaimed));
    }
    BeginRelease(std::move(call), false);
}

void PadObject::HolderGone(const std::string& name) {
    if (name == m_holder && (m_phase == Phase::kClaiming || m_phase == Phase::kHeld)) {
        BeginRelease(std::nullopt, true);
    }
}

void PadObject::BeginRelease(std::optional<sdbus::MethodCall> releaseCall, bool holderGone) {
    if (m_phase == Phase::kFree) {
        return;
    }
    if (releaseCall) {
        m_releaseCalls.push_back(std::move(*releaseCall));
    }
    if (m_phase == Phase::kReleasing) {
        return;
    }
    m_phase = Phase::kReleasing;
    CancelTimers();
    m_holderWatch.reset();
    m_holderPeer.reset();
    for (sdbus::MethodCall& call : m_claimCalls) {
        call.createErrorReply(sdbus::Error(error::kNotClaimed, Say(text::kReleasedFirst))).send();
    }
    m_claimCalls.clear();
    if (holderGone) {
        // Nobody is left to answer, and a dead client's picture must not
        // hold the pad for a minute.
        m_worker->DropQueued();
        m_calls.clear();
    }
    // Calls queued before a Release run first, as the bus delivered them.
    Internal([](PadSession& s, const Poster& p) {
        s.Close();
        p([](PadObject& o) { o.Closed(); });
    });
}

void PadObject::Closed() {
    m_worker.reset();
    m_session.reset();
    m_inbox.reset();
    m_calls.clear();
    m_phase = Phase::kFree;
    m_holder.clear();
    m_holderWords.clear();
    m_lost = false;
    m_lookingForReturn = false;
    m_capturing = false;
    m_captureStarted = false;
    m_record = CaptureRecord{};
    // Events of the ended claim that are still on their way are ignored.
    ++m_claim;
    std::vector<std::string> changed;
    if (!m_claimedBy.empty()) {
        m_claimedBy.clear();
        changed.emplace_back(pad::kClaimedBy);
    }
    if (m_connected) {
        m_connected = false;
        changed.emplace_back(pad::kConnected);
    }
    EmitChanged(std::move(changed));
    for (auto& [call, why] : m_failedClaims) {
        call.createErrorReply(why).send();
    }
    m_failedClaims.clear();
    for (sdbus::MethodCall& call : m_releaseCalls) {
        call.createReply().send();
    }
    m_releaseCalls.clear();
    m_host.ClaimsChanged();
    if (!m_present) {
        m_host.PadFreed(m_candidate.key);  // may end this object: nothing after it
    }
}

// ---- A lost pad and its return -------------------------------------------

void PadObject::Lost() {
    if (m_phase != Phase::kHeld || m_lost) {
        return;
    }
    m_lost = true;
    CancelTimers();
    SetConnected(false);
    if (m_capturing && m_captureStarted) {
        DrainInbox();
        m_record.EndStroke();
        m_record.MarkIncomplete();
        SendPoints();
    }
    sdbus::Signal lost = m_object->createSignal(kPadInterface, pad::kPadLost);
    m_object->emitSignal(lost);
    LookForReturn();
    ScheduleReturnRetry();
}

void PadObject::LookForReturn() {
    if (m_phase != Phase::kHeld || !m_lost || m_lookingForReturn) {
        return;
    }
    m_lookingForReturn = true;
    Internal([](PadSession& s, const Poster& p) {
        s.Close();
        OpenResult r = s.Open();
        p([r = std::move(r)](PadObject& o) { o.Returned(r); });
    });
}

void PadObject::Returned(const OpenResult& result) {
    m_lookingForReturn = false;
    if (m_phase != Phase::kHeld || !m_lost || !result.Ok()) {
        return;
    }
    m_lost = false;
    CancelTimers();
    SetConnected(true);
    if (m_capturing) {
        // As the Signature page does: the pad is set up again and ink flows
        // on, a new stroke after the lift the loss put in.
        Internal([setup = m_setup](PadSession& s, const Poster&) { s.StartCapture(setup); });
    }
    ScheduleLinkCheck();
}

void PadObject::ScheduleLinkCheck() {
    const std::weak_ptr<PadObject> weak = weak_from_this();
    m_linkTimer = m_host.Loop().After(m_host.Limits().linkCheck, [weak, claim = m_claim] {
        const auto self = weak.lock();
        if (!self || self->m_claim != claim) {
            return;
        }
        self->m_linkTimer = 0;
        if (self->m_phase != Phase::kHeld || self->m_lost) {
            return;
        }
        // A capture's reader finds a failed line itself; so does a command.
        if (!self->m_capturing && self->m_worker->Idle()) {
            self->Internal([](PadSession& s, const Poster&) { s.CheckLink(); });
        }
        self->ScheduleLinkCheck();
    });
}

void PadObject::ScheduleReturnRetry() {
    const std::weak_ptr<PadObject> weak = weak_from_this();
    m_returnTimer = m_host.Loop().After(m_host.Limits().returnRetry, [weak, claim = m_claim] {
        const auto self = weak.lock();
        if (!self || self->m_claim != claim) {
            return;
        }
        self->m_returnTimer = 0;
        if (self->m_phase == Phase::kHeld && self->m_lost) {
            self->LookForReturn();
            self->ScheduleReturnRetry();
        }
    });
}

void PadObject::CancelTimers() {
    for (std::uint64_t* timer : {&m_linkTimer, &m_returnTimer}) {
        if (*timer != 0) {
            m_host.Loop().Cancel(*timer);
            *timer = 0;
        }
    }
}

// ---- Capture --------------------------------------------------------------

void PadObject::OnStartCapture(sdbus::MethodCall call) {
    RequireHolder(call);
    std::map<std::string, sdbus::Variant> options;
    call >> options;
    CaptureSetup setup;
    for (const auto& entry : options) {
        // Named, not bound: lambdas may not capture structured bindings in
        // C++20 as clang 14 reads it.
        const std::string& key = entry.first;
        const sdbus::Variant& value = entry.second;
        const std::string type = value.peekValueType();
        const auto want = [&](const char* expected) {
            if (type != expected) {
                throw BadArgument(
                    cli::Printf(text::kOptionType, key.c_str(), expected, type.c_str()));
            }
        };
        if (key == option::kPrompt) {
            want("s");
            setup.prompt = value.get<std::string>();
            if (!setup.prompt.empty()) {
                CheckText(pad::kStartCapture, setup.prompt);
            }
        } else if (key == option::kClear) {
            want("b");
            setup.clear = value.get<bool>();
        } else {
            throw BadArgument(cli::Printf(text::kUnknownOption, key.c_str()));
        }
    }
    if (m_capturing) {
        throw BadArgument(text::kCapturing);
    }
    Queue(
        std::move(call),
        [setup](PadSession& s, const Poster& post) -> CallResult {
            // Posted before the reader starts, so it reaches the loop ahead
            // of every point.
            const sigformats::PointTime start =
                capture::ToPointTime(std::chrono::steady_clock::now());
            post([start](PadObject& p) { p.CaptureStarting(start); });
            const StepResult r = s.StartCapture(setup);
            return {ErrorName(r.error), r.message};
        },
        [](PadObject& p, const CallResult& r, sdbus::MethodCall& call) {
            if (r.error != nullptr) {
                p.m_capturing = false;
                call.createErrorReply(sdbus::Error(r.error, r.message)).send();
                return;
            }
            call.createReply().send();
        });
    m_capturing = true;
    m_captureStarted = false;
    m_setup = std::move(setup);
}

void PadObject::CaptureStarting(sigformats::PointTime start) {
    m_record.Start(start);
    m_sentPoints = 0;
    m_captureStarted = true;
}

void PadObject::OnStopCapture(sdbus::MethodCall call) {
    RequireHolder(call, true);
    if (!m_capturing) {
        throw BadArgument(text::kNotCapturing);
    }
    Queue(
        std::move(call),
        [](PadSession& s, const Poster&) -> CallResult {
            // The signature is answered whatever the pad says to the stop:
            // it is already here.
            s.StopCapture();
            return {};
        },
        [](PadObject& p, const CallResult&, sdbus::MethodCall& call) {
            p.DrainInbox();
            // Every point goes out before the answer, whatever the holder
            // has left unread: it is reading now, it is waiting for this.
            p.SendPoints(true);
            p.m_capturing = false;
            p.m_captureStarted = false;
            sdbus::MethodReply reply = call.createReply();
            reply << p.m_record.Inkml();
            reply.send();
            // A long capture is megabytes: not kept once it is answered.
            p.m_record = CaptureRecord{};
        });
}

void PadObject::DrainInbox() {
    if (!m_inbox) {
        return;
    }
    std::vector<sigformats::SignaturePoint> points;
    sigformats::PointTimes times;
    m_inbox->Take(points, times);
    if (!m_capturing || !m_captureStarted || points.empty()) {
        return;
    }
    m_record.Append(points, times);
    SendPoints();
}

void PadObject::SendPoints(bool ignoreFlow) {
    const auto points = m_record.Points();
    const auto times = m_record.Times();
    while (m_sentPoints < points.size() && (ignoreFlow || m_flow.MaySend())) {
        const std::size_t n = std::min(points.size() - m_sentPoints, kMaxPointsPerSignal);
        std::vector<PointStruct> batch;
        batch.reserve(n);
        for (std::size_t i = m_sentPoints; i < m_sentPoints + n; ++i) {
            const sigformats::SignaturePoint p = points[i];
            const bool down = !sigformats::IsPenUp(p);
            // A lift has no position.
            batch.emplace_back(static_cast<double>(times[i]) / 1000.0,
                               static_cast<std::uint16_t>(down ? p.x : 0),
                               static_cast<std::uint16_t>(down ? p.y : 0), down);
        }
        sdbus::Signal signal = m_object->createSignal(kPadInterface, pad::kPoints);
        signal << batch;
        // A signature is the holder's alone: not broadcast to the bus.
        signal.setDestination(m_holder);
        m_object->emitSignal(signal);
        m_flow.Sent();
        m_sentPoints += n;
    }
    if (m_flow.PingDue()) {
        Ping();
    }
}

void PadObject::Ping() {
    if (!m_holderPeer) {
        m_holderPeer = sdbus::createProxy(m_host.Bus(), m_holder, "/");
    }
    m_flow.PingSent();
    const std::weak_ptr<PadObject> weak = weak_from_this();
    (void)m_holderPeer->callMethodAsync(kPingMethod)
        .onInterface(kPeerInterface)
        .withTimeout(kPingTimeout)
        .uponReplyInvoke([weak, claim = m_claim](const sdbus::Error* e) {
            const auto self = weak.lock();
            if (self && self->m_claim == claim) {
                self->PingAnswered(e == nullptr || e->getName() != kNoReplyError);
            }
        });
}

void PadObject::PingAnswered(bool proved) {
    m_flow.PingAnswered(proved);
    if (m_phase == Phase::kHeld || m_phase == Phase::kReleasing) {
        SendPoints();
    }
}

// ---- Drawing --------------------------------------------------------------

void PadObject::OnClear(sdbus::MethodCall call) {
    RequireHolder(call);
    Queue(std::move(call), [](PadSession& s, const Poster&) -> CallResult {
        const StepResult r = s.Clear();
        return {ErrorName(r.error), r.message};
    });
}

void PadObject::OnShowText(sdbus::MethodCall call) {
    RequireHolder(call);
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::string text;
    call >> x >> y >> text;
    CheckOnLcd(pad::kShowText, x, y);
    CheckText(pad::kShowText, text);
    Queue(std::move(call), [x, y, text](PadSession& s, const Poster&) -> CallResult {
        const StepResult r = s.ShowText(x, y, text);
        return {ErrorName(r.error), r.message};
    });
}

void PadObject::OnShowImage(sdbus::MethodCall call) {
    RequireHolder(call);
    sdbus::UnixFd picture;
    call >> picture;
    if (!m_host.Decoder()) {
        throw BadArgument(text::kNoPictures);
    }
    // Read and decoded on the worker: a large file must not hold up the bus.
    auto fd = std::make_shared<sdbus::UnixFd>(std::move(picture));
    Queue(
        std::move(call),
        [fd, decode = m_host.Decoder()](PadSession& s, const Poster&) -> CallResult {
            const sigfiles::ReadResult file = sigfiles::ReadWholeDescriptor(fd->get());
            if (!file.error.empty()) {
                return {error::kBadArgument, cli::Printf(text::kBadPicture, file.error.c_str())};
            }
            const PixelsResult pixels = decode(file.bytes);
            if (!pixels.error.empty()) {
                return {error::kBadArgument, cli::Printf(text::kBadPicture, pixels.error.c_str())};
            }
            const StepResult r = s.ShowPixels(pixels.pixels);
            return {ErrorName(r.error), r.message};
        });
}

void PadObject::OnSetLeds(sdbus::MethodCall call) {
    RequireHolder(call);
    std::string words;
    call >> words;
    const std::optional<padlink::LedWord> word = padlink::ParseLedWord(words);
    if (!word) {
        throw BadArgument(cli::Printf(text::kBadLeds, words.c_str()));
    }
    Queue(std::move(call), [w = *word](PadSession& s, const Poster&) -> CallResult {
        const StepResult r = s.SetLeds(w);
        return {ErrorName(r.error), r.message};
    });
}

// ---- Properties -----------------------------------------------------------

void PadObject::SetConnected(bool connected) {
    if (m_connected != connected) {
        m_connected = connected;
        EmitChanged({pad::kConnected});
    }
}

void PadObject::EmitChanged(std::vector<std::string> properties) {
    if (!properties.empty()) {
        m_object->emitPropertiesChangedSignal(kPadInterface, properties);
    }
}

}  // namespace vellumix::padservice
