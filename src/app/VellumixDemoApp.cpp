#include "app/VellumixDemoApp.h"

#include "res/Strings.h"

namespace vellumix::app {

namespace {

// The framework's layout of the list in the profile: "File1" .. "File4"
// under "Recent File List".
constexpr char kRecentFileSection[] = "Recent File List";
constexpr char kRecentFileEntry[] = "File%1";
// The pad's USB ids, "VID:PID", when its maker's differ from the default.
constexpr char kPadUsbIdKey[] = "Pad/UsbId";

}  // namespace

CVellumixDemoApp::~CVellumixDemoApp() {
    ExitInstance();
}

bool CVellumixDemoApp::InitInstance(padlink::PadLink& link, pages::IPrompts* prompts,
                                    FrameOptions options) {
    LoadStdProfileSettings();
    if (!m_document.OnNewDocument()) {
        return false;
    }
    m_pMainFrame = std::make_unique<CMainFrame>(link, prompts, options);
    m_pMainFrame->InitialUpdateFrame();
    m_pMainFrame->show();
    return true;
}

void CVellumixDemoApp::ExitInstance() {
    m_pMainFrame.reset();
}

std::optional<std::string> CVellumixDemoApp::ProfileUsbId() {
    const QSettings profile(res::kProfileKey, res::kAppTitle);
    const QString ids = profile.value(QLatin1StringView(kPadUsbIdKey)).toString();
    if (ids.isEmpty()) {
        return std::nullopt;
    }
    return ids.toStdString();
}

void CVellumixDemoApp::LoadStdProfileSettings() {
    QSettings profile(res::kProfileKey, res::kAppTitle);
    profile.beginGroup(QLatin1StringView(kRecentFileSection));
    m_recentFiles.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file = profile.value(QString::fromLatin1(kRecentFileEntry).arg(i)).toString();
        if (!file.isEmpty()) {
            m_recentFiles.append(file);
        }
    }
    profile.endGroup();
}

}  // namespace vellumix::app
