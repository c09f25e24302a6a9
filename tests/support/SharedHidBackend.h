// The in-memory HID devices of one test machine, shared by every backend
// handed out for them: a test's virtual pads sit on one MemoryHidBackend,
// and each link the console or the capture service opens gets a backend of
// its own that lists and opens those devices, by ids or by path, as hidapi
// lists one machine's devices to every program.
//
// Thread safety: as MemoryHidBackend's (any thread).
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "padlink/hid/MemoryHidDevice.h"

namespace vellumix::testsupport {

class SharedHidBackend final : public padlink::HidBackend {
public:
    explicit SharedHidBackend(std::shared_ptr<padlink::hid::MemoryHidBackend> machine)
        : m_machine(std::move(machine)) {}
    std::vector<padlink::HidDeviceInfo> Enumerate(std::uint16_t vendorId,
                                                  std::uint16_t productId) override {
        return m_machine->Enumerate(vendorId, productId);
    }
    std::vector<padlink::HidDeviceInfo> EnumerateAll() override {
        return m_machine->EnumerateAll();
    }
    padlink::HidOpenResult Open(const padlink::HidDeviceInfo& info) override {
        return m_machine->Open(info);
    }

private:
    std::shared_ptr<padlink::hid::MemoryHidBackend> m_machine;
};

}  // namespace vellumix::testsupport
