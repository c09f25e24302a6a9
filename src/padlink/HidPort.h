// The USB link to the pad, a HID-class device. Frames go out as output
// reports of 63 frame bytes behind a chunk byte; replies come back as input
// reports joined by the chunk byte's continuation bit 0x80.
//
// Thread safety: none of its own. Discovery uses it alone; afterwards every
// call runs under the command channel's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "padlink/HidDevice.h"

namespace vellumix::padlink {

class HidPort {
public:
    // The backend finds and opens devices: hidapi in the app, an in-memory
    // device in tests and in the virtual pad's USB host.
    explicit HidPort(std::unique_ptr<HidBackend> backend);
    ~HidPort();
    HidPort(const HidPort&) = delete;
    HidPort& operator=(const HidPort&) = delete;

    bool Open(std::uint16_t vendorId, std::uint16_t productId);
    void Close();
    bool IsOpen() const;
    bool Write(const std::uint8_t* frame, std::size_t length);
    // out[0] = chunk byte, out[1..63] = data; out[0] = 0 when nothing arrived.
    bool ReadReport(std::uint8_t out[64], int waitMs);
    // Joins input reports into out, never more than capacity bytes.
    int Read(std::uint8_t* out, std::size_t capacity, int waitMs);
    // Keeps the device open across exchanges; reopens only after a failed
    // write or read, or when the ids change.
    int Exchange(std::uint16_t vendorId, std::uint16_t productId, const std::uint8_t* frame,
                 std::size_t length, std::uint8_t* reply, std::size_t replyCapacity, int waitMs);

private:
    std::unique_ptr<HidBackend> m_backend;
    std::unique_ptr<HidDevice> m_device;
    std::uint16_t m_vendorId = 0;
    std::uint16_t m_productId = 0;
};

}  // namespace vellumix::padlink
