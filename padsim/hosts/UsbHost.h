// Puts the virtual pad behind an in-memory HID device, so the program's USB
// path (HidPort over MemoryHidBackend) runs end to end without a USB bus.
// Output reports carry a chunk byte (0x80: more follows, bits 0-6: frame
// bytes in this report); their bytes go to the engine as they come, since
// its parser joins frames across any split. Answers go back as 65-byte input
// reports of up to 63 bytes chained by the continuation bit; pen reports in
// reports of their own, 12 whole reports (60 bytes) at most and no
// continuation, so one host read never mixes an answer with pen data.
//
// Thread safety: Start and Stop from the owner's thread; the host's own
// thread takes output reports and pushes input reports. The engine and the
// memory device lock themselves.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "engine/PadEngine.h"
#include "padlink/hid/MemoryHidDevice.h"

namespace vellumix::padsim::hosts {

// Pen reports per input report: as many whole 5-byte reports as 63 bytes hold.
inline constexpr std::size_t kPenReportsPerInputReport = 12;

class UsbHost {
public:
    // The engine and the device must outlive the host.
    UsbHost(engine::PadEngine& engine, std::shared_ptr<padlink::hid::MemoryHidDevice> device);
    ~UsbHost();
    UsbHost(const UsbHost&) = delete;
    UsbHost& operator=(const UsbHost&) = delete;

    void Start();
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

private:
    void Run();
    void PushPenOutput(std::chrono::steady_clock::time_point now);

    engine::PadEngine& m_engine;
    std::shared_ptr<padlink::hid::MemoryHidDevice> m_device;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

}  // namespace vellumix::padsim::hosts
