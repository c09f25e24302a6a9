// The one road by which the program asks the user something: every message
// box and every file dialog goes through an IPrompts. The program uses
// QtPrompts; tests hand the windows a scripted fake, so that no modal dialog
// ever blocks a test.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace vellumix::pages {

enum class PromptIcon {
    Information,  // information boxes, under res::kInfoCaption
    Exclamation,  // refusals such as "No Data Available!"
    Stop,         // unsupported formats and unreadable files
};

class IPrompts {
public:
    virtual ~IPrompts() = default;

    // A modal box with one OK button.
    virtual void ShowMessage(const QString& text, const QString& caption, PromptIcon icon) = 0;

    // A modal box with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& caption, PromptIcon icon) = 0;

    // nameFilters are Qt name filters such as "Signature(*.sig)", the first one
    // selected. An empty caption leaves the platform's own title. Both return
    // the chosen path, or an empty string when the user cancels.
    virtual QString AskOpenFileName(const QString& caption, const QStringList& nameFilters) = 0;
    // A name typed without an extension gets the chosen filter's
    // (SuffixOfNameFilter), defaultSuffix (no dot) when the filter names
    // none; confirmOverwrite asks before an existing file is replaced.
    virtual QString AskSaveFileName(const QString& caption, const QStringList& nameFilters,
                                    const QString& defaultSuffix, bool confirmOverwrite) = 0;
};

// The extension a save dialog adds to a name typed without one while
// nameFilter is chosen: the filter's own when its first pattern names one
// ("Signature(*.cmp)" gives "cmp"), otherwise fallback ("All files (*)").
// So choosing a filter and typing "mine" saves "mine.cmp", as the platform's
// own save dialogs do.
QString SuffixOfNameFilter(const QString& nameFilter, const QString& fallback);

// The boxes of the program's conventions: the error caption with the
// exclamation icon (a refusal) or the stop icon (a file that cannot be used),
// and the plain caption with the information icon.
void ShowRefusal(IPrompts& prompts, const QString& text);
void ShowFileError(IPrompts& prompts, const QString& text);
void ShowInformation(IPrompts& prompts, const QString& text);

// Real dialogs: QMessageBox and QFileDialog, modal to the given parent window.
class QtPrompts final : public IPrompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : m_pParent(parent) {}

    void ShowMessage(const QString& text, const QString& caption, PromptIcon icon) override;
    bool AskYesNo(const QString& text, const QString& caption, PromptIcon icon) override;
    QString AskOpenFileName(const QString& caption, const QStringList& nameFilters) override;
    QString AskSaveFileName(const QString& caption, const QStringList& nameFilters,
                            const QString& defaultSuffix, bool confirmOverwrite) override;

private:
    QWidget* m_pParent;  // not owned; may be null
    // File dialogs start in the folder the user last chose a file in, as the
    // common dialogs of the original platform do.
    QString m_strLastFolder;
};

}  // namespace vellumix::pages
