#include "pages/Prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "res/Strings.h"

namespace vellumix::app {
namespace {

// Runs act on the first modal dialog of type T that comes up while the code
// under test is blocked in exec(). A dialog that is not answered within a few
// seconds is rejected so the test fails instead of hanging.
template <class T>
void WhenModal(std::function<void(T*)> act, bool* seen) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<T*>(modal)) {
            *seen = true;
            timer->stop();
            act(dialog);
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            if (auto* other = qobject_cast<QDialog*>(modal)) {
                other->reject();
            }
        } else {
            return;
        }
        timer->deleteLater();
        delete clock;
    });
    timer->start(10);
}

TEST(QtPromptsTest, ConventionalBoxesCarryCaptionIconAndOk) {
    const struct {
        void (*show)(IPrompts&, const QString&);
        QLatin1StringView caption;
        QMessageBox::Icon icon;
    } kCases[] = {
        {ShowRefusal, res::kErrorCaption, QMessageBox::Warning},
        {ShowFileError, res::kErrorCaption, QMessageBox::Critical},
        {ShowInformation, res::kInfoCaption, QMessageBox::Information},
    };
    for (const auto& c : kCases) {
        QtPrompts prompts;
        bool seen = false;
        WhenModal<QMessageBox>(
            [&](QMessageBox* box) {
                EXPECT_EQ(box->text(), QStringLiteral("No Data Available!"));
                EXPECT_EQ(box->windowTitle(), QString(c.caption));
                EXPECT_EQ(box->icon(), c.icon);
                EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
                box->button(QMessageBox::Ok)->click();
            },
            &seen);
        c.show(prompts, QStringLiteral("No Data Available!"));
        EXPECT_TRUE(seen);
    }
}

TEST(QtPromptsTest, SaveDialogAddsTheDefaultSuffixAndAsksBeforeOverwriting) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList filters = {QStringLiteral("Signature(*.sig)"),
                                 QStringLiteral("Signature(*.cmp)")};
    QtPrompts prompts;
    bool seen = false;
    WhenModal<QFileDialog>(
        [&](QFileDialog* dialog) {
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
            EXPECT_EQ(dialog->nameFilters(), filters);
            EXPECT_EQ(dialog->selectedNameFilter(), filters.front());
            EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("sig"));
            EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
            dialog->setDirectory(dir.path());
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QStringLiteral("smith"));
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, through QDialog
        },
        &seen);
    const QString chosen = prompts.AskSaveFileName(QString(), filters, QStringLiteral("sig"), true);
    EXPECT_TRUE(seen);
    EXPECT_EQ(chosen, QDir(dir.path()).filePath(QStringLiteral("smith.sig")));
}

TEST(QtPromptsTest, CancelledOpenDialogReturnsNothing) {
    QtPrompts prompts;
    bool seen = false;
    WhenModal<QFileDialog>(
        [&](QFileDialog* dialog) {
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
            EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
            dialog->reject();
        },
        &seen);
    EXPECT_TRUE(prompts.AskOpenFileName(QString(), {QStringLiteral("Signature(*.sig)")}).isEmpty());
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace vellumix::app
