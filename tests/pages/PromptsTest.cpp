#include "pages/Prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "res/Strings.h"

namespace vellumix::pages {
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

TEST(SuffixOfNameFilterTest, TakesTheFirstPlainPatternsExtension) {
    const struct {
        const char* filter;
        const char* suffix;
    } kCases[] = {
        // (The pages' own three filters are the save dialog test's.)
        {"Pictures (*.png *.bmp)", "png"},
        {"*.nlc", "nlc"},
        {"Notes (draft) (*.vbc)", "vbc"},  // the last parentheses hold the patterns
        {"All files (*)", "fallback"},
        {"Any (*.*)", "fallback"},
        {"Odd (*.b?k)", "fallback"},
        {"Named (readme)", "fallback"},
        {"", "fallback"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(SuffixOfNameFilter(QString::fromLatin1(c.filter), QStringLiteral("fallback")),
                  QString::fromLatin1(c.suffix))
            << c.filter;
    }
}

// The real dialog, driven as a user would: choose a filter in the type box,
// type a name, accept. The overwrite question is about the name the chosen
// filter makes (taken.cmp exists, taken.sig does not).
TEST(QtPromptsTest, SaveDialogTakesTheExtensionFromTheChosenFilter) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile taken(QDir(dir.path()).filePath(QStringLiteral("taken.cmp")));
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.close();
    const QStringList filters = {QStringLiteral("Signature(*.sig)"),
                                 QStringLiteral("Signature(*.cmp)"),
                                 QStringLiteral("Signature(*.bmp)")};
    const struct {
        int filter;  // -1: the first one, as the dialog opens
        const char* typed;
        const char* saved;
    } kCases[] = {
        {-1, "smith", "smith.sig"},  {1, "mine", "mine.cmp"},
        {2, "mine", "mine.bmp"},     {1, "mine.vbc", "mine.vbc"},  // a typed extension stays
        {1, "Mine.SIG", "Mine.SIG"}, {1, "taken", "taken.cmp"},
    };
    for (const auto& c : kCases) {
        const QString saved = QDir(dir.path()).filePath(QString::fromLatin1(c.saved));
        QtPrompts prompts;
        bool seen = false;
        bool asked = false;
        WhenModal<QFileDialog>(
            [&](QFileDialog* dialog) {
                EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
                EXPECT_EQ(dialog->nameFilters(), filters);
                EXPECT_EQ(dialog->selectedNameFilter(), filters.front());
                EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
                dialog->setDirectory(dir.path());
                if (c.filter >= 0) {
                    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                    ASSERT_NE(types, nullptr);
                    for (int i = 0; i < c.filter; ++i) {
                        QTest::keyClick(types, Qt::Key_Down);  // as a user picks it
                    }
                }
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                ASSERT_NE(name, nullptr);
                name->setText(QString::fromLatin1(c.typed));
                if (saved == taken.fileName()) {
                    WhenModal<QMessageBox>(
                        [&](QMessageBox* box) {
                            EXPECT_TRUE(box->text().contains(QLatin1StringView(c.saved)))
                                << box->text().toStdString();
                            box->button(QMessageBox::Yes)->click();
                        },
                        &asked);
                }
                static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, through QDialog
            },
            &seen);
        const QString chosen =
            prompts.AskSaveFileName(QString(), filters, QStringLiteral("sig"), true);
        EXPECT_TRUE(seen);
        EXPECT_EQ(asked, saved == taken.fileName()) << "asked before replacing " << c.typed;
        EXPECT_EQ(chosen, saved) << c.typed;
    }
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
}  // namespace vellumix::pages
