// How many Points signals the holder may have unread. A signal the holder
// does not read waits in the bus daemon, which on a session bus keeps up to
// 1 GB for one connection: a holder that stops reading (hung, stopped in a
// debugger, or never dispatching) would make the daemon grow with every pen
// report, about 135 MB per 200,000 small signals measured here. So every
// kPingEvery signals the service calls org.freedesktop.DBus.Peer.Ping on the
// holder's connection, which every D-Bus library answers as it reads its
// queue: the answer, or any error answer, proves that the signals before it
// were read. With kMaxUnread signals unproven the service sends no more; the
// points wait in the capture record (nothing is dropped) and go out in
// larger signals once the holder answers. Only a time-out or a vanished
// holder (NoReply) proves nothing.
//
// Thread safety: none; the loop thread owns it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vellumix::padservice {

inline constexpr std::uint64_t kPingEvery = 16;
// A second or two of pen reports, a few kilobytes in the daemon at most.
inline constexpr std::uint64_t kMaxUnread = 256;
// The most points in one signal when a backlog goes out: about 20 s of
// writing, some 40 KB.
inline constexpr std::size_t kMaxPointsPerSignal = 4096;
// A holder that does not answer for this long gets another ping, so one
// that wakes later is found even if its answer to the first came too late.
inline constexpr std::chrono::seconds kPingTimeout{60};

class PointsFlow {
public:
    // A new holder: nothing sent, nothing owed.
    void Reset() { *this = PointsFlow{}; }

    bool MaySend() const { return m_sent - m_confirmed < kMaxUnread; }
    void Sent() { ++m_sent; }

    // A ping is due: none is out and kPingEvery signals are unproven.
    bool PingDue() const { return !m_pingOut && m_sent - m_confirmed >= kPingEvery; }
    void PingSent() {
        m_pingOut = true;
        m_pingAt = m_sent;
    }
    // proved: the holder answered (or refused) the ping.
    void PingAnswered(bool proved) {
        m_pingOut = false;
        if (proved) {
            m_confirmed = m_pingAt;
        }
    }
    std::uint64_t Unread() const { return m_sent - m_confirmed; }

private:
    std::uint64_t m_sent = 0;
    std::uint64_t m_confirmed = 0;
    std::uint64_t m_pingAt = 0;
    bool m_pingOut = false;
};

}  // namespace vellumix::padservice
