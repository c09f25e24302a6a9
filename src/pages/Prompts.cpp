#include "pages/Prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "res/Strings.h"

namespace vellumix::pages {

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

QString SuffixOfNameFilter(const QString& nameFilter, const QString& fallback) {
    // The patterns are the text between the last parentheses, or the whole
    // filter when it has none ("*.sig *.cmp").
    QString patterns = nameFilter;
    const qsizetype open = nameFilter.lastIndexOf(u'(');
    const qsizetype close = nameFilter.lastIndexOf(u')');
    if (open >= 0 && close > open) {
        patterns = nameFilter.mid(open + 1, close - open - 1);
    }
    const QString first = patterns.split(u' ', Qt::SkipEmptyParts).value(0);
    if (!first.startsWith(QLatin1StringView("*."))) {
        return fallback;
    }
    const QString suffix = first.mid(2);
    const bool plain = !suffix.isEmpty() && !suffix.contains(u'*') && !suffix.contains(u'?') &&
                       !suffix.contains(u'[');
    return plain ? suffix : fallback;
}

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
    // Qt's dialog keeps one default suffix whatever filter is chosen; follow
    // the choice, so the overwrite question also asks about the name that
    // will really be written.
    dialog.setDefaultSuffix(SuffixOfNameFilter(dialog.selectedNameFilter(), defaultSuffix));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, defaultSuffix](const QString& filter) {
                         dialog.setDefaultSuffix(SuffixOfNameFilter(filter, defaultSuffix));
                     });
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    return RunFileDialog(dialog, m_strLastFolder);
}

}  // namespace vellumix::pages
