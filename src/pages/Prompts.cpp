#include "pages/Prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "res/Strings.h"

namespace vellumix::app {

namespace {

QMessageBox::Icon ToBoxIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Exclamation:
            return QMessageBox::Warning;
        case PromptIcon::Stop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QString RunFileDialog(QFileDialog& dialog, QString& lastFolder) {
    if (!lastFolder.isEmpty()) {
        dialog.setDirectory(lastFolder);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    const QString chosen = dialog.selectedFiles().value(0);
    if (!chosen.isEmpty()) {
        lastFolder = QFileInfo(chosen).absolutePath();
    }
    return chosen;
}

void PrepareFileDialog(QFileDialog& dialog, const QString& caption,
                       const QStringList& nameFilters) {
    if (!caption.isEmpty()) {
        dialog.setWindowTitle(caption);
    }
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        dialog.selectNameFilter(nameFilters.front());
    }
}

}  // namespace

void ShowRefusal(IPrompts& prompts, const QString& text) {
    prompts.ShowMessage(text, res::kErrorCaption, PromptIcon::Exclamation);
}

void ShowFileError(IPrompts& prompts, const QString& text) {
    prompts.ShowMessage(text, res::kErrorCaption, PromptIcon::Stop);
}

void ShowInformation(IPrompts& prompts, const QString& text) {
    prompts.ShowMessage(text, res::kInfoCaption, PromptIcon::Information);
}

void QtPrompts::ShowMessage(const QString& text, const QString& caption, PromptIcon icon) {
    QMessageBox box(ToBoxIcon(icon), caption, text, QMessageBox::Ok, m_pParent);
    box.exec();
}

bool QtPrompts::AskYesNo(const QString& text, const QString& caption, PromptIcon icon) {
    QMessageBox box(ToBoxIcon(icon), caption, text, QMessageBox::Yes | QMessageBox::No, m_pParent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtPrompts::AskOpenFileName(const QString& caption, const QStringList& nameFilters) {
    QFileDialog dialog(m_pParent);
    PrepareFileDialog(dialog, caption, nameFilters);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return RunFileDialog(dialog, m_strLastFolder);
}

QString QtPrompts::AskSaveFileName(const QString& caption, const QStringList& nameFilters,
                                   const QString& defaultSuffix, bool confirmOverwrite) {
    QFileDialog dialog(m_pParent);
    PrepareFileDialog(dialog, caption, nameFilters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    return RunFileDialog(dialog, m_strLastFolder);
}

}  // namespace vellumix::app
