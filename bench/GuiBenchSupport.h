// What the GUI benchmarks share: prompts that ask the user nothing, a pump
// for the GUI thread's events, and a main() that makes the one QApplication
// on the offscreen platform before any benchmark runs.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QString>
#include <QStringList>
#include <chrono>
#include <utility>

#include "pages/Prompts.h"

namespace vellumix::bench {

// Shows nothing, answers "No", and answers every file dialog with one path
// (empty: the dialog was cancelled).
class QuietPrompts final : public pages::IPrompts {
public:
    explicit QuietPrompts(QString path = {}) : m_path(std::move(path)) {}
    void ShowMessage(const QString&, const QString&, pages::PromptIcon) override {}
    bool AskYesNo(const QString&, const QString&, pages::PromptIcon) override { return false; }
    QString AskOpenFileName(const QString&, const QStringList&) override { return m_path; }
    QString AskSaveFileName(const QString&, const QStringList&, const QString&, bool) override {
        return m_path;
    }

private:
    QString m_path;
};

// Pumps the GUI thread until `done` holds; false once `limit` passed without.
template <typename Done>
bool PumpUntil(Done done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        QCoreApplication::processEvents();
    }
    return true;
}

// The body of a GUI benchmark's main(). There is no display on the build
// machines, so the platform is offscreen unless the caller chose one.
inline int RunGuiBenchmarks(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace vellumix::bench
