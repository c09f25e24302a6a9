#include "padlink/PadLink.h"

namespace vellumix::padlink {

std::atomic<bool> g_usbConnected{false};

}  // namespace vellumix::padlink
