#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "app/AboutDialog.h"
#include "app/CommandLine.h"
#include "app/HelpDialog.h"
#include "pages/SignatureFileCommands.h"
#include "res/Strings.h"
#include "sigfiles/FileKind.h"

namespace vellumix::app {
namespace {

TEST(HelpDialogTest, WindowTextBoxAndItsReadOnlyText) {
    CHelpDialog help;
    help.show();
    EXPECT_EQ(help.windowTitle(), QStringLiteral("Help"));
    EXPECT_EQ(help.size(), QSize(760, 496));
    EXPECT_EQ(help.TextBox()->geometry(), QRect(14, 14, 730, 468));
    // Longer than the box: it scrolls vertically only, and opens at the top.
    EXPECT_TRUE(help.TextBox()->verticalScrollBar()->isVisible());
    EXPECT_GT(help.TextBox()->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(help.TextBox()->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(help.TextBox()->horizontalScrollBar()->isVisible());
    // One line break in the box per CR LF of the passages.
    qsizetype crlf = 0;
    for (const QLatin1StringView passage :
         {res::kHelpGeneral, res::kHelpButtons, res::kHelpImage, res::kHelpLinux}) {
        crlf += QString(passage).count(QStringLiteral("\r\n"));
    }
    EXPECT_EQ(help.TextBox()->document()->blockCount(), crlf + 1);

    EXPECT_TRUE(help.TextBox()->isReadOnly());
}

// Each place that lists what "File the Signature" writes names every kind it
// takes: the program's --help, its manual page and the Help window.
TEST(HelpDialogTest, EveryKindTheSignatureIsFiledAsIsNamed) {
    std::ifstream in(VELLUMIX_DEMO_MANUAL_PAGE);
    std::stringstream manual;
    manual << in.rdbuf();
    ASSERT_FALSE(manual.str().empty()) << VELLUMIX_DEMO_MANUAL_PAGE;
    const std::string_view helpOption[] = {"--help"};
    const std::string usage = ParseCommandLine(helpOption).text;
    const QString helpWindow = res::kHelpButtons;

    int filed = 0;
    for (std::string_view kind : sigfiles::KindNames([](sigfiles::FileKind) { return true; })) {
        const std::string dotted = "." + std::string(kind);
        const QString name = QStringLiteral("signature") + QString::fromStdString(dotted);
        if (!pages::PageFileKindOf(name) && !pages::IsInkmlName(name)) {
            continue;
        }
        ++filed;
        EXPECT_NE(usage.find(dotted), std::string::npos) << dotted;
        EXPECT_NE(manual.str().find(dotted), std::string::npos) << dotted;
        EXPECT_TRUE(helpWindow.contains(QString::fromStdString(dotted))) << dotted;
    }
    EXPECT_GE(filed, 6);
}

TEST(AboutDialogTest, TitleSizeAndTextsOnWhite) {
    CAboutDialog about;
    about.show();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Brindle Application"));
    EXPECT_EQ(about.size(), QSize(330, 172));
    EXPECT_FALSE(about.NoticeLabel()->text().contains(u'\n'));
    const QImage image = about.grab().toImage();
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
    for (QLabel* label : {about.ProductLabel(), about.VersionLabel(), about.NoticeLabel()}) {
        EXPECT_EQ(image.pixelColor(label->geometry().topLeft()), QColor(Qt::white));
        // Each text fits its place inside the box.
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        EXPECT_TRUE(about.rect().contains(label->geometry()));
    }
}

TEST(AboutDialogTest, OkAndEnterCloseTheBox) {
    for (bool byKey : {false, true}) {
        CAboutDialog about;
        about.show();
        EXPECT_TRUE(about.OkButton()->isDefault());
        if (byKey) {
            QTest::keyClick(&about, Qt::Key_Return);
        } else {
            QTest::mouseClick(about.OkButton(), Qt::LeftButton);
        }
        EXPECT_FALSE(about.isVisible()) << byKey;
        EXPECT_EQ(about.result(), QDialog::Accepted) << byKey;
    }
}

}  // namespace
}  // namespace vellumix::app
