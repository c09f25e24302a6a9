// The file side of the Signature page's file commands: format by name, safe
// replacement of the target.
#include "pages/SignatureFileCommands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "sigformats/SignatureCodec.h"

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

TEST(SignatureFileCommands, SaveReplacesOnlyWhenTheNewFileIsComplete) {
    QTemporaryDir dir;
    sigformats::SignatureCodec codec;
    const std::vector<capture::SignaturePoint> points = {{1, 2}, {3, 4}, capture::PEN_UP_POINT};
    const QString target = dir.filePath("a.sig");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    // No points to draw: the .vbc encoder yields nothing.
    EXPECT_EQ(SaveSignatureFile(Kind::kVbc, std::vector{capture::PEN_UP_POINT}, {320, 240}, target),
              SaveResult::kCannotEncode);
    // A folder where the file should go cannot be replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.sig"));
    EXPECT_EQ(SaveSignatureFile(Kind::kSig, points, {320, 240}, dir.filePath("folder.sig")),
              SaveResult::kCannotCreate);
    EXPECT_EQ(SaveSignatureFile(Kind::kSig, points, {320, 240}, dir.filePath("no/such.sig")),
              SaveResult::kCannotCreate);
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("old"));
    check.close();

    EXPECT_EQ(SaveSignatureFile(Kind::kSig, points, {320, 240}, target), SaveResult::kSaved);
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), codec.EncodeSigFile(points));
    // Nothing is left behind beside the target.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.sig"});

    // InkML the same way: a point the format cannot hold fails before the
    // old file is touched.
    EXPECT_EQ(SaveInkmlFile(std::vector<capture::SignaturePoint>{{2000, 1}}, {}, target),
              SaveResult::kCannotEncode);
    EXPECT_EQ(SaveInkmlFile(points, std::vector<capture::PointTime>{1}, target),
              SaveResult::kCannotEncode);  // one time for three points
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), bytes);
}

}  // namespace
}  // namespace vellumix::pages
