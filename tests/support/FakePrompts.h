// Scripted prompts for widget tests: answers are queued before the code under
// test runs, and every question it asks is recorded. A question with no
// answer queued fails the test and is answered "No" or "cancelled".
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "pages/Prompts.h"
#include "res/Strings.h"

namespace vellumix::testsupport {

class FakePrompts final : public pages::IPrompts {
public:
    enum class Kind { Message, YesNo, OpenFile, SaveFile };

    struct Asked {
        Kind kind;
        QString text;  // message text; empty for file dialogs
        QString caption;
        pages::PromptIcon icon = pages::PromptIcon::Information;
        QStringList nameFilters;
        QString defaultSuffix;
        bool confirmOverwrite = false;
    };

    std::deque<bool> yesNoAnswers;
    // An empty string answers as a cancelled dialog.
    std::deque<QString> fileAnswers;
    std::vector<Asked> asked;
    // Runs while a message box is open, as a user acting on the pad would.
    std::function<void()> onMessage;

    void ShowMessage(const QString& text, const QString& caption, pages::PromptIcon icon) override {
        asked.push_back({Kind::Message, text, caption, icon, {}, {}, false});
        if (onMessage) {
            onMessage();
        }
    }

    bool AskYesNo(const QString& text, const QString& caption, pages::PromptIcon icon) override {
        asked.push_back({Kind::YesNo, text, caption, icon, {}, {}, false});
        if (yesNoAnswers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return false;
        }
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }

    // The message boxes shown since the last call, as "text|icon"; each must
    // carry the error caption. Refusal and FileError are the boxes the pages'
    // ShowRefusal and ShowFileError put up.
    std::vector<std::string> TakeErrors() {
        std::vector<std::string> out;
        for (const Asked& a : asked) {
            if (a.kind == Kind::Message) {
                EXPECT_EQ(a.caption, QString(res::kErrorCaption));
                out.push_back(Box(a.text, a.icon));
            }
        }
        asked.clear();
        return out;
    }
    static std::string Refusal(QLatin1StringView text) {
        return Box(text, pages::PromptIcon::Exclamation);
    }
    static std::string FileError(QLatin1StringView text) {
        return Box(text, pages::PromptIcon::Stop);
    }

    QString AskOpenFileName(const QString& caption, const QStringList& nameFilters) override {
        asked.push_back({Kind::OpenFile, {}, caption, {}, nameFilters, {}, false});
        return NextFile();
    }

    QString AskSaveFileName(const QString& caption, const QStringList& nameFilters,
                            const QString& defaultSuffix, bool confirmOverwrite) override {
        asked.push_back(
            {Kind::SaveFile, {}, caption, {}, nameFilters, defaultSuffix, confirmOverwrite});
        return NextFile();
    }

private:
    static std::string Box(const QString& text, pages::PromptIcon icon) {
        return text.toStdString() + "|" + std::to_string(static_cast<int>(icon));
    }
    QString NextFile() {
        if (fileAnswers.empty()) {
            ADD_FAILURE() << "unexpected file dialog";
            return {};
        }
        QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

}  // namespace vellumix::testsupport
