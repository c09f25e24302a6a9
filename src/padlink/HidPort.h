// The USB link to the pad, a HID-class device. Frames go out as output
// reports of 63 frame bytes behind a chunk byte; replies come back as input
// reports joined by the chunk byte's continuation bit 0x80.
//
// The device stays open between exchanges so that pen input the pad queued
// meanwhile is not thrown away; it is reopened only after a failed write or
// read (the pad was unplugged) or when other ids are asked for.
//
// What it opens is its target: the devices with the pad's ids (the default
// 1209:0001 or the ids the user gave), or one device by its path, so that
// two pads with the same ids can be told apart.
//
// Two kinds of read: Read takes a command's reply straight off the device;
// ReadPenStream takes pen data, first what Exchange set aside (input already
// waiting when a command went out, see PendingInput.h), then the device.
//
// Thread safety: none of its own. Discovery uses it alone; afterwards every
// call runs under the command channel's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "padlink/HidDevice.h"
#include "padlink/LinkResult.h"
#include "padlink/OwedAnswers.h"
#include "padlink/PadTransport.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PendingInput.h"

namespace vellumix::padlink {

// The device a HidPort opens: the first of those with the ids that opens,
// or, when path is set, the device listed at that path whatever its ids.
struct HidTarget {
    UsbIds ids;
    std::string path;
};

class HidPort : public PadTransport {
public:
    // The backend finds and opens devices: hidapi in the app, an in-memory
    // device in tests and in the virtual pad's USB host.
    explicit HidPort(std::unique_ptr<HidBackend> backend, HidTarget target = {});
    ~HidPort() override;
    HidPort(const HidPort&) = delete;
    HidPort& operator=(const HidPort&) = delete;

    // Closes any open device, then tries the target's devices in the order
    // the backend lists them. One that cannot be opened is skipped; the
    // first one that opens decides: if its report lengths cannot carry the
    // 65-byte report layout (below 65 or above the 68-byte report buffer),
    // Open fails without trying further devices.
    bool Open();
    // Open with the devices of these ids as the target from now on.
    bool Open(std::uint16_t vendorId, std::uint16_t productId);
    // Open with the device at path as the target from now on.
    bool OpenPath(std::string path);
    const HidTarget& Target() const { return m_target; }
    // Why the last Open failed although a device of the target was listed:
    // permission denied (the udev rule is missing), busy (another program,
    // or another HidPort, holds it) or the device refused; no such port for
    // a path that lists no device; kNone otherwise.
    OpenFailure LastOpenFailure() const override { return m_openFailure; }
    std::string OpenFailureReason() const override;
    // Closes the device; pen data set aside from it goes with it.
    void Close() override;
    bool IsOpen() const override;
    // Open, and the backend still lists a device with the target's ids (or
    // the device at its path).
    bool DevicePresent() const;
    // The line check between commands: the device is still there.
    bool CheckLine() override { return DevicePresent(); }
    // Sends the frame as ceil(length / 63) output reports. False when no
    // device is open, length is 0, or any report fails or stays pending for
    // more than 100 ms; reports already written are not recalled.
    bool Write(const std::uint8_t* frame, std::size_t length);
    // out[0] = chunk byte, out[1..63] = data; out[0] = 0 when nothing arrived.
    // Bytes the device did not deliver are 0. False when the read failed (the
    // device is then closed for reopening) or no device is open.
    bool ReadReport(std::uint8_t out[64], int waitMs);
    // Joins input reports into out, never more than capacity bytes; waits up
    // to waitMs for each report. Reports of an over-long reply are still
    // consumed so they cannot pose as the next reply. A failed read ends the
    // reply and closes the device for reopening. Returns the bytes stored; 0
    // at once when no device is open.
    int Read(std::uint8_t* out, std::size_t capacity, int waitMs);
    // Pen data: when Exchange set input aside, returns the oldest of it at
    // once (as much as fits) without touching the device; otherwise reads
    // one reply's worth of input reports like Read, except that bytes beyond
    // capacity are kept for the next call instead of dropped.
    int ReadPenStream(std::uint8_t* out, std::size_t capacity, int waitMs);
    // ReadPenStream on an open device; -1 when none is open or the read
    // closed it (the pad went away).
    int ReadPen(std::uint8_t* buffer, std::size_t size, int waitMs) override;
    bool WaitsOutsideReads() const override { return false; }
    // Keeps the device open across exchanges; reopens only when none is open,
    // after a failed write or read, or when the ids change (which makes them
    // the target). Before writing a
    // frame, sets aside the input already waiting (pen data, not the reply);
    // a reply read that yields data not starting with STX is pen data that
    // crossed the command on the wire and is set aside too. A frame whose
    // wait ends without an answer (or one sent with a null reply) leaves it
    // owed: the next exchange first waits up to kLateAnswerGrace for it
    // (see OwedAnswers.h). Returns the reply bytes stored; 0 when reply is
    // null or nothing came back; -1 when the device is missing, the write
    // failed or the device failed meanwhile.
    int Exchange(std::uint16_t vendorId, std::uint16_t productId, const std::uint8_t* frame,
                 std::size_t length, std::uint8_t* reply, std::size_t replyCapacity, int waitMs);
    // Exchange with the target, opened when no device is open.
    int Exchange(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                 std::size_t replySize, int timeoutMs) override;

    // Bytes set aside and not yet read, and bytes dropped for want of room.
    std::size_t PendingBytes() const { return m_pending.Size(); }
    std::size_t DroppedPendingBytes() const { return m_pending.DroppedBytes(); }

private:
    // Exchange's work on the open device.
    int ExchangeOpen(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                     std::size_t replyCapacity, int waitMs);
    // The target's devices as the backend lists them now.
    std::vector<HidDeviceInfo> ListTarget() const;
    // Read's work; bytes of the reply beyond capacity go to overflow, or are
    // dropped when it is null.
    int ReadJoined(std::uint8_t* out, std::size_t capacity, int waitMs, PendingInput* overflow);
    // Moves the input reports into m_pending, waiting up to firstWaitMs for
    // the first and not at all for the rest; owed answers among them are
    // dropped (see OwedAnswers.h).
    void SetAsideInput(int firstWaitMs);
    // Report bytes to m_pending, through m_owed's filter while answers are owed.
    void SetAsideFromDevice(std::span<const std::uint8_t> bytes);
    // Bytes m_owed kept back, once nothing is owed any more.
    void ReleaseHeldBack();
    // Reads reports until every owed answer has come or been written off.
    void SettleOwedAnswers();
    // Reads one input report into out as ReadReport does. Returns the data
    // bytes the report really holds after its chunk byte (0..63), or -1 on
    // failure.
    int ReadOneReport(std::uint8_t out[64], int waitMs);

    std::unique_ptr<HidBackend> m_backend;
    std::unique_ptr<HidDevice> m_device;
    HidTarget m_target;
    OpenFailure m_openFailure = OpenFailure::kNone;
    std::string m_openFailureReason;
    PendingInput m_pending;
    OwedAnswers m_owed;
};

}  // namespace vellumix::padlink
