// The virtual pad behind a pseudo-terminal whose line it paces, and the
// program's serial link to it: a port folder of its own, so nothing looks
// at a real port. The channel opens the pad's COMn at its first command.
#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/PadEngine.h"
#include "hosts/SerialHost.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"

namespace vellumix::pages::test {

class PacedSerialPad {
public:
    // bytesPerSecond: the line's pace in both directions.
    explicit PacedSerialPad(int bytesPerSecond)
        : m_folder(std::filesystem::path(m_dir.path().toStdString()) / "ports"),
          host(engine, Options(m_folder, bytesPerSecond)),
          link(std::make_unique<padlink::SerialPort>(m_folder, std::vector<std::string>{})),
          channel(link) {
        m_bStarted = host.Start(&error);
    }
    ~PacedSerialPad() { host.Stop(); }
    PacedSerialPad(const PacedSerialPad&) = delete;
    PacedSerialPad& operator=(const PacedSerialPad&) = delete;

    // False, with the reason in error, when the pad could not be put up.
    bool Started() const { return m_bStarted; }

    std::string error;

private:
    static padsim::hosts::SerialHostOptions Options(const std::filesystem::path& folder, int pace) {
        padlink::CreatePortFolder(folder);
        padsim::hosts::SerialHostOptions options;
        options.portFolder = folder;
        options.paceBytesPerSecond = pace;
        return options;
    }

    QTemporaryDir m_dir;
    std::filesystem::path m_folder;
    bool m_bStarted = false;

public:
    padsim::engine::PadEngine engine;
    padsim::hosts::SerialHost host;
    padlink::PadLink link;  // serial only
    padlink::PadCommandChannel channel;
};

}  // namespace vellumix::pages::test
