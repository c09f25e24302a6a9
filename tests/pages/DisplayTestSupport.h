// A Display page on the virtual pad, shown offscreen, whose waits are logged
// in line with the pad's commands instead of slept.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <string>
#include <vector>

#include "VirtualPadRig.h"
#include "pages/DisplayPage.h"
#include "support/FakePrompts.h"

namespace vellumix::pages::test {

inline const std::string kWhiteFill = "SetFillColor r=255 g=255 b=255";
inline const std::string kFullScreen = "FillRectangle x=0 y=0 x2=319 y2=239";

class DisplayPageFixture : public ::testing::Test {
protected:
    DisplayPageFixture() {
        page.SetSleepFunction([this](std::chrono::milliseconds time) {
            TakeCommands();
            events.push_back("wait " + std::to_string(time.count()));
        });
        page.resize(700, 420);
        page.show();
        QCoreApplication::processEvents();
        Events();  // the page's start-up commands
    }

    void TakeCommands() {
        for (std::string& line : rig.Commands()) {
            events.push_back(std::move(line));
        }
    }
    // Commands and waits since the last call, in order.
    std::vector<std::string> Events() {
        TakeCommands();
        return std::exchange(events, {});
    }

    void Click(int id) { static_cast<QPushButton*>(page.Control(id))->click(); }
    void SelectColor(int index) {
        static_cast<QComboBox*>(page.Control(CDisplayPage::IDC_COLOR_BOX))->setCurrentIndex(index);
    }
    // The mirror box as the screen shows it after pending repaints.
    QImage MirrorPixels() {
        QCoreApplication::processEvents();
        return page.Control(CDisplayPage::IDC_MIRROR_BOX)->grab().toImage();
    }

    VirtualPadRig rig;
    testsupport::FakePrompts prompts;
    CDisplayPage page{PageServices{prompts, rig.channel}, nullptr};
    std::vector<std::string> events;
};

}  // namespace vellumix::pages::test
