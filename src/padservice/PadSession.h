// The one seam between the service's bus side and the pad: what the service
// does with one pad, whatever link reaches it. The bus side (objects, claims,
// queues, the Points flow) knows nothing of ports, frames or transports; a
// PadSession does the talking, and a PadSessionFactory makes one for a
// candidate device when a client claims it. ChannelSession is the real one
// (the command channel and the pen reader); the tests use a fake.
//
// Thread safety: every PadSession member runs on the pad's worker thread,
// one call at a time, from Open to Close; the session is destroyed on the
// loop thread once its worker has ended. The events may be called from any
// thread the session likes (its pen reader's, the worker's) and must not be
// called after Close has returned.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "padlink/LedWords.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::padservice {

enum class Transport { kUsb, kSerial };

// A device that may be a pad, seen without opening it.
struct Candidate {
    // Who it is, kept while it comes and goes: "COM1" for the port folder's
    // link, the device node for a tty or a hidraw device, "memory:N" for the
    // tests' in-memory HID devices.
    std::string key;
    Transport transport = Transport::kSerial;
    // What the Port property shows: "COM1", "/dev/ttyUSB0", "/dev/hidraw3".
    std::string port;

    friend bool operator==(const Candidate&, const Candidate&) = default;
};

// How a call to the pad ended; message says it in the words padctl uses.
enum class StepError { kNone, kRefused, kNoAnswer, kPadLost };
struct StepResult {
    StepError error = StepError::kNone;
    std::string message;
    bool Ok() const { return error == StepError::kNone; }
};

// Why a claim could not open the pad.
enum class OpenError { kNone, kNoAnswer, kBusy };
struct OpenResult {
    OpenError error = OpenError::kNone;
    std::string message;
    bool Ok() const { return error == OpenError::kNone; }
};

struct CaptureSetup {
    std::string prompt;  // drawn at the LCD's top before capture; empty: none
    bool clear = false;  // clear the LCD first
};

class PadSession {
public:
    struct Events {
        // Decoded pen points and the arrival time of each (steady clock,
        // microseconds), as one read of the pen stream brought them; both
        // are valid for the call only.
        std::function<void(std::span<const sigformats::SignaturePoint> points,
                           std::span<const sigformats::PointTime> times)>
            points;
        // The link failed (hang-up, device gone); once per loss.
        std::function<void()> lost;
    };

    virtual ~PadSession() = default;

    // Opens the candidate's port and probes it. Also used to find a lost pad
    // again, after Close.
    virtual OpenResult Open() = 0;
    // Stops capturing (telling the pad) and closes the port. Nothing when
    // closed.
    virtual void Close() = 0;
    // Looks for a failed line between commands; false (and the lost event)
    // when the link is down.
    virtual bool CheckLink() = 0;

    virtual StepResult Clear() = 0;
    // x, y on the LCD; text 1..65,535 bytes. Checked by the caller.
    virtual StepResult ShowText(int x, int y, std::string_view text) = 0;
    // The pad's image data: red, green, blue per pixel, 230,400 bytes.
    virtual StepResult ShowPixels(std::span<const std::uint8_t> pixels) = 0;
    virtual StepResult SetLeds(padlink::LedWord word) = 0;
    // Draws what setup asks, starts capture on the pad and reads the pen
    // stream into the points event until StopCapture or Close.
    virtual StepResult StartCapture(const CaptureSetup& setup) = 0;
    // Ends the reading (no points event after it returns) and tells the pad.
    virtual StepResult StopCapture() = 0;
};

class PadSessionFactory {
public:
    virtual ~PadSessionFactory() = default;
    // Called on the loop thread; opens nothing yet.
    virtual std::unique_ptr<PadSession> Create(const Candidate& candidate,
                                               PadSession::Events events) = 0;
};

}  // namespace vellumix::padservice
