#include "sigformats/vbc/VbcHeader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sigformats/vbc/Des.h"

namespace vellumix::sigformats::vbc {
namespace {

VbcHeader Header(std::string_view text) {
    std::optional<VbcHeader> header = VbcHeader::Parse(text);
    EXPECT_TRUE(header.has_value()) << text;
    return header.value_or(VbcHeader(VbcVersion::k12));
}

TEST(VbcHeaderParseTest, NeedsOneOfTheThreeTags) {
    EXPECT_EQ(VbcHeader::Parse("VBC1.0")->Version(), VbcVersion::k10);
    EXPECT_EQ(VbcHeader::Parse("VBC1.1;a=b")->Version(), VbcVersion::k11);
    EXPECT_EQ(VbcHeader::Parse("VBC1.2")->Version(), VbcVersion::k12);
    for (std::string_view bad : {"", "VBC1", "VBC1.3", "vbc1.2", "XVBC1.2"}) {
        EXPECT_FALSE(VbcHeader::Parse(bad).has_value()) << bad;
    }
    EXPECT_EQ(VbcHeader(VbcVersion::k11).Bytes(), std::string("VBC1.1\0", 7));
}

struct FindCase {
    std::string_view header;
    std::string_view name;
    VbcError error;
    std::string_view value;
};

TEST(VbcHeaderFindTest, ReadsBothEntryForms) {
    const FindCase cases[] = {
        {"VBC1.2;e1", "e", VbcError::kSuccess, "1"},
        {"VBC1.2;b1", "b", VbcError::kEntryNotFound, ""},  // b has no short form
        {"VBC1.2;k", "k", VbcError::kSuccess, ""},
        {"VBC1.2;name=val=ue", "name", VbcError::kSuccess, "val=ue"},
        {"VBC1.2;  spaced \t=x", "spaced", VbcError::kSuccess, "x"},
        {"VBC1.2;a=1;a=2", "a", VbcError::kSuccess, "1"},
        {"VBC1.2;;b1;x=9", "x", VbcError::kSuccess, "9"},
        {"VBC1.2", "x", VbcError::kEntryNotFound, ""},
        {"VBC1.2x=1", "x", VbcError::kEntryNotFound, ""},  // entries begin at ';'
        {"VBC1.2;x=1", " x ", VbcError::kSuccess, "1"},
        {"VBC1.2;x=1", "  ", VbcError::kEmptyArgument, ""},
    };
    for (const FindCase& c : cases) {
        std::string value = "untouched";
        EXPECT_EQ(Header(c.header).Find(c.name, value), c.error) << c.header << " " << c.name;
        if (c.error == VbcError::kSuccess) {
            EXPECT_EQ(value, c.value) << c.header;
        }
    }
}

TEST(VbcHeaderSetTest, AddsReplacesAndPicksTheForm) {
    VbcHeader header(VbcVersion::k12);
    EXPECT_EQ(header.Set("e", "1"), VbcError::kSuccess);
    EXPECT_EQ(header.Set("name", "v"), VbcError::kSuccess);
    EXPECT_EQ(header.Set("b", "2"), VbcError::kSuccess);
    EXPECT_EQ(header.Text(), "VBC1.2;e1;name=v;b=2");
    EXPECT_EQ(header.Set(" name ", "w"), VbcError::kSuccess);
    EXPECT_EQ(header.Text(), "VBC1.2;e1;b=2;name=w");
    // A value with '=' would read back under another name in the short form.
    EXPECT_EQ(header.Set("k", "a=b"), VbcError::kSuccess);
    std::string value;
    EXPECT_EQ(header.Find("k", value), VbcError::kSuccess);
    EXPECT_EQ(value, "a=b");
}

TEST(VbcHeaderSetTest, RefusesBadNamesAndValuesLeavingHeaderAlone) {
    VbcHeader header = Header("VBC1.2;a=1");
    EXPECT_EQ(header.Set("", "x"), VbcError::kEmptyArgument);
    EXPECT_EQ(header.Set(" \t", "x"), VbcError::kInvalidNameOrValue);
    EXPECT_EQ(header.Set("a;b", "x"), VbcError::kInvalidNameOrValue);
    EXPECT_EQ(header.Set("a=b", "x"), VbcError::kInvalidNameOrValue);
    EXPECT_EQ(header.Set("a", "x;y"), VbcError::kInvalidNameOrValue);
    EXPECT_EQ(header.Set("a", std::string_view("x\0y", 3)), VbcError::kInvalidNameOrValue);
    EXPECT_EQ(header.Text(), "VBC1.2;a=1");
}

TEST(VbcHeaderRemoveTest, RemovesEntryAndItsSeparator) {
    VbcHeader header = Header("VBC1.2;a=1;e1;b=2");
    EXPECT_EQ(header.Remove("e"), VbcError::kSuccess);
    EXPECT_EQ(header.Text(), "VBC1.2;a=1;b=2");
    EXPECT_EQ(header.Remove("e"), VbcError::kEntryNotFound);
    EXPECT_EQ(header.Remove("a"), VbcError::kSuccess);
    EXPECT_EQ(header.Text(), "VBC1.2;b=2");
}

TEST(VbcHeaderAddTest, SetsEveryEntryOfTheText) {
    VbcHeader header(VbcVersion::k12);
    EXPECT_EQ(header.AddFromText(";;x=1;b1;e1;x=2"), VbcError::kSuccess);
    using Entries = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(header.Entries(), (Entries{{"e", "1"}, {"x", "2"}}));
    EXPECT_EQ(header.AddFromText("b1;;"), VbcError::kInvalidNameOrValue);
    EXPECT_EQ(header.AddFromText(""), VbcError::kEmptyArgument);
}

TEST(VbcLockTest, UnlockRestoresStreamAndHiddenEntries) {
    const std::string key = "a key longer than eight bytes";
    VbcHeader header = Header("VBC1.2;note=hello;e1");
    const std::vector<std::uint8_t> plain = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    std::vector<std::uint8_t> stream = plain;
    ASSERT_EQ(Lock(key, header, stream), VbcError::kSuccess);
    EXPECT_EQ(header.Text(), "VBC1.2;k;e1");
    EXPECT_EQ(stream.size() % kDesBlockSize, 0U);
    EXPECT_EQ(Lock(key, header, stream), VbcError::kAlreadyLocked);

    VbcHeader opened = header;
    std::vector<std::uint8_t> unlocked = stream;
    ASSERT_EQ(Unlock(key, opened, unlocked), VbcError::kSuccess);
    EXPECT_EQ(opened.Text(), "VBC1.2;e1;note=hello");
    ASSERT_GE(unlocked.size(), plain.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), unlocked.begin()));
}

TEST(VbcLockTest, WholeKeyTextMustMatch) {
    VbcHeader header(VbcVersion::k12);
    std::vector<std::uint8_t> stream = {42};
    ASSERT_EQ(Lock("12345678-tail", header, stream), VbcError::kSuccess);
    const struct {
        std::optional<std::string_view> key;
        VbcError error;
    } cases[] = {
        {"12345678-TAIL", VbcError::kWrongKey},  // same cipher key, different text
        {"wrong key", VbcError::kWrongKey},
        {"", VbcError::kEmptyArgument},
        {std::nullopt, VbcError::kMissingArgument},
    };
    for (const auto& c : cases) {
        VbcHeader h = header;
        std::vector<std::uint8_t> s = stream;
        EXPECT_EQ(Unlock(c.key, h, s), c.error);
        EXPECT_EQ(h.Text(), header.Text());
        EXPECT_EQ(s, stream);
    }
}

TEST(VbcLockTest, RefusesVersion10AndUnknownMethods) {
    std::vector<std::uint8_t> stream = {1};
    VbcHeader v10 = Header("VBC1.0;k");
    EXPECT_EQ(Lock("key", v10, stream), VbcError::kAlreadyLocked);
    VbcHeader bare10(VbcVersion::k10);
    EXPECT_EQ(Lock("key", bare10, stream), VbcError::kNotPossible);
    EXPECT_EQ(Unlock("key", v10, stream), VbcError::kNotPossible);
    VbcHeader method2 = Header("VBC1.2;k;e2");
    EXPECT_EQ(Unlock("key", method2, stream), VbcError::kNotPossible);
    EXPECT_EQ(stream, std::vector<std::uint8_t>{1});
}

}  // namespace
}  // namespace vellumix::sigformats::vbc
