// The file side of the Signature page's file commands: format by name, safe
// replacement of the target, whole-file reads with their limits.
#include "pages/SignatureFileCommands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace vellumix::pages {
namespace {

using Type = SignatureFileType;

TEST(SignatureFileCommands, TypeComesFromTheLowerCasedLastExtensionOfTheName) {
    const struct {
        const char* path;
        Type type;
    } kCases[] = {
        {"/a/b.sig", Type::kSig},
        {"/a/B.CMP", Type::kCmp},
        {"x.Vbc", Type::kVbc},
        {"x.nlc", Type::kNlc},
        {"x.old.bmp", Type::kBmp},
        {"x.bmp.txt", Type::kUnsupported},
        {"/a.sig/name", Type::kUnsupported},  // a dot in the folder does not count
        {"name", Type::kUnsupported},
        {"name.", Type::kUnsupported},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FileTypeOf(QString::fromLatin1(c.path)), c.type) << c.path;
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
    EXPECT_EQ(SaveSignatureFile(codec, Type::kVbc, std::vector{capture::PEN_UP_POINT}, {320, 240},
                                target),
              SaveResult::kCannotEncode);
    // A folder where the file should go cannot be replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.sig"));
    EXPECT_EQ(SaveSignatureFile(codec, Type::kSig, points, {320, 240}, dir.filePath("folder.sig")),
              SaveResult::kCannotCreate);
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("old"));
    check.close();

    EXPECT_EQ(SaveSignatureFile(codec, Type::kSig, points, {320, 240}, target), SaveResult::kSaved);
    const auto bytes = ReadWholeFile(target, 1000);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, codec.EncodeSigFile(points));
    // Nothing is left behind beside the target.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.sig"});
}

}  // namespace
}  // namespace vellumix::pages
