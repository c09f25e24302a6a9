// A pad the tests script, behind the service's session seam: what Open and
// the calls answer, how long a call takes, and points pushed as if read from
// the pen. Every call is logged. (A pad lost and found again is the real pad
// side's, in ServicePadTest.)
//
// Thread safety: FakePad is locked inside; the test thread scripts and
// pushes while the pad's worker calls the session. Points and losses are
// delivered under a second lock that Close also takes, so no event reaches
// the service after its session closed.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/ReportClock.h"
#include "padservice/PadSession.h"

namespace vellumix::padservice::test {

class FakePad {
public:
    // What the next Open answers; every call succeeds.
    void SetOpen(OpenResult open) {
        std::lock_guard lock(m_lock);
        m_open = std::move(open);
    }
    void SetCallTime(std::chrono::milliseconds time) {
        std::lock_guard lock(m_lock);
        m_callTime = time;
    }

    // As if one read of the pen brought these; nothing unless capturing.
    void Push(std::vector<sigformats::SignaturePoint> points) {
        const sigformats::PointTimes times(points.size(),
                                           capture::ToPointTime(std::chrono::steady_clock::now()));
        std::lock_guard delivering(m_emit);
        if (Capturing() && m_events.points) {
            m_events.points(points, times);
        }
    }
    std::vector<std::string> Log() const {
        std::lock_guard lock(m_lock);
        return m_log;
    }
    bool Capturing() const {
        std::lock_guard lock(m_lock);
        return m_capturing;
    }
    bool Open() const {
        std::lock_guard lock(m_lock);
        return m_isOpen;
    }

private:
    friend class FakeSession;

    StepResult Call(const std::string& what) {
        std::chrono::milliseconds time{};
        {
            std::lock_guard lock(m_lock);
            m_log.push_back(what);
            time = m_callTime;
        }
        std::this_thread::sleep_for(time);
        return {};
    }

    mutable std::mutex m_lock;
    std::mutex m_emit;
    OpenResult m_open;
    std::chrono::milliseconds m_callTime{0};
    bool m_capturing = false;
    bool m_isOpen = false;
    std::vector<std::string> m_log;
    PadSession::Events m_events;
};

class FakeSession : public PadSession {
public:
    FakeSession(std::shared_ptr<FakePad> pad, Events events) : m_pad(std::move(pad)) {
        std::lock_guard delivering(m_pad->m_emit);
        m_pad->m_events = std::move(events);
    }
    ~FakeSession() override {
        std::lock_guard delivering(m_pad->m_emit);
        m_pad->m_events = {};
    }

    OpenResult Open() override {
        std::lock_guard lock(m_pad->m_lock);
        m_pad->m_log.push_back("Open");
        m_pad->m_isOpen = m_pad->m_open.Ok();
        return m_pad->m_open;
    }
    void Close() override {
        std::lock_guard delivering(m_pad->m_emit);
        std::lock_guard lock(m_pad->m_lock);
        m_pad->m_log.push_back("Close");
        m_pad->m_capturing = false;
        m_pad->m_isOpen = false;
    }
    bool CheckLink() override { return true; }
    StepResult Clear() override { return m_pad->Call("Clear"); }
    StepResult ShowText(int, int, std::string_view) override { return m_pad->Call("ShowText"); }
    StepResult ShowPixels(std::span<const std::uint8_t>) override {
        return m_pad->Call("ShowPixels");
    }
    StepResult SetLeds(padlink::LedWord) override { return m_pad->Call("SetLeds"); }
    StepResult StartCapture(const CaptureSetup& setup) override {
        StepResult r =
            m_pad->Call("StartCapture '" + setup.prompt + "'" + (setup.clear ? " clear" : ""));
        if (r.Ok()) {
            std::lock_guard lock(m_pad->m_lock);
            m_pad->m_capturing = true;
        }
        return r;
    }
    StepResult StopCapture() override {
        std::lock_guard delivering(m_pad->m_emit);
        {
            std::lock_guard lock(m_pad->m_lock);
            m_pad->m_capturing = false;
        }
        return m_pad->Call("StopCapture");
    }

private:
    std::shared_ptr<FakePad> m_pad;
};

// Hands out one FakePad per candidate key, made on first use.
class FakeFactory : public PadSessionFactory {
public:
    std::shared_ptr<FakePad> Pad(const std::string& key) {
        std::lock_guard lock(m_lock);
        auto& pad = m_pads[key];
        if (!pad) {
            pad = std::make_shared<FakePad>();
        }
        return pad;
    }
    std::unique_ptr<PadSession> Create(const Candidate& candidate,
                                       PadSession::Events events) override {
        return std::make_unique<FakeSession>(Pad(candidate.key), std::move(events));
    }

private:
    std::mutex m_lock;
    std::map<std::string, std::shared_ptr<FakePad>> m_pads;
};

}  // namespace vellumix::padservice::test
