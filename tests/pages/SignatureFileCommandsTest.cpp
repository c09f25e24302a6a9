// The file side of the Signature page's file commands: format by name, and
// what InkML cannot hold.
#include "pages/SignatureFileCommands.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace vellumix::pages {
namespace {

using Kind = sigfiles::FileKind;
constexpr std::optional<Kind> kUnsupported;

TEST(SignatureFileCommands, TypeComesFromTheLowerCasedLastExtensionOfTheName) {
    const struct {
        const char* path;
        std::optional<Kind> kind;
    } kCases[] = {
        {"/a/b.sig", Kind::kSig},
        {"/a/B.CMP", Kind::kCmp},
        {"x.Vbc", Kind::kVbc},
        {"x.nlc", Kind::kNlc},
        {"x.old.bmp", Kind::kBmp},
        {"x.bmp.txt", kUnsupported},  // the converter's text form is not the pages'
        {"x.svg", kUnsupported},
        {"/a.sig/name", kUnsupported},  // a dot in the folder does not count
        {"name", kUnsupported},
        {"name.", kUnsupported},
        {"x.inkml", kUnsupported},  // chosen by IsInkmlName, before the kinds
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(PageFileKindOf(QString::fromLatin1(c.path)), c.kind) << c.path;
    }
    for (const char* ink : {"a.inkml", "/b/A.InkML"}) {
        EXPECT_TRUE(IsInkmlName(QString::fromLatin1(ink))) << ink;
    }
    for (const char* other : {"a.inkml.sig", "/a.inkml/name", "inkml", "a.ink"}) {
        EXPECT_FALSE(IsInkmlName(QString::fromLatin1(other))) << other;
    }
}

// What InkML cannot hold is refused before the file is touched; the
// stored kinds' refusals and the replacing itself are the Signature page's
// FailedSavesReportAndLeaveTheOldFile and sigfiles' WriteFileReplacing tests.
TEST(SignatureFileCommands, AnInkmlSaveThatCannotEncodeLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString target = dir.filePath("a.inkml");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const std::vector<sigformats::SignaturePoint> points = {
        {1, 2}, {3, 4}, sigformats::PEN_UP_POINT};
    EXPECT_EQ(SaveInkmlFile(std::vector<sigformats::SignaturePoint>{{2000, 1}}, {}, target),
              SaveResult::kCannotEncode);
    EXPECT_EQ(SaveInkmlFile(points, std::vector<sigformats::PointTime>{1}, target),
              SaveResult::kCannotEncode);  // one time for three points
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old"));
}

}  // namespace
}  // namespace vellumix::pages
