// The application object: the profile, the empty document and the main
// frame with its connection view. main() builds the process-wide objects
// around it in their order (serial port, then the application, then the HID
// port) and hands it the pad's link made of the two transports.
//
// Thread safety: a GUI-thread object.
#pragma once

#include <QSettings>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>

#include "app/MainFrame.h"
#include "app/VellumixDemoDoc.h"
#include "padlink/PadLink.h"

namespace vellumix::pages {
class IPrompts;
}

namespace vellumix::app {

// The profile keeps the list of recently used files, this long, and the
// pad's USB ids when the user has set them there.
inline constexpr int kRecentFileCount = 4;

class CVellumixDemoApp {
public:
    CVellumixDemoApp() = default;
    // Destroys the frame (ExitInstance) if that has not happened yet.
    ~CVellumixDemoApp();
    CVellumixDemoApp(const CVellumixDemoApp&) = delete;
    CVellumixDemoApp& operator=(const CVellumixDemoApp&) = delete;

    // Start-up: loads the profile, makes the document and the frame, starts
    // discovery and shows the window. The link (and prompts, when not null)
    // must outlive the frame. False when the document cannot be made.
    bool InitInstance(padlink::PadLink& link, pages::IPrompts* prompts = nullptr,
                      FrameOptions options = {});
    // Destroys the frame: its destroy sequence deletes the channel and closes
    // the serial port. Call before the transports go.
    void ExitInstance();

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }

    // The pad's USB ids as the profile names them ("VID:PID" under
    // Pad/UsbId, unchecked); nothing when it names none. Read before the
    // pad's link is made, so --usb-id and VELLUMIX_USB_ID can win over it.
    static std::optional<std::string> ProfileUsbId();

private:
    void LoadStdProfileSettings();

    QStringList m_recentFiles;
    CVellumixDemoDoc m_document;
    std::unique_ptr<CMainFrame> m_pMainFrame;
};

}  // namespace vellumix::app
