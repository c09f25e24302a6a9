#include "sigformats/vbc/Des.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace vellumix::sigformats::vbc {
namespace {

std::array<std::uint8_t, kDesKeySize> KeyBytes(std::uint64_t key) {
    std::array<std::uint8_t, kDesKeySize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(key >> (56 - 8 * i));
    }
    return bytes;
}

struct Vector {
    std::uint64_t key;
    std::uint64_t plain;
    std::uint64_t cipher;
};

// Published validation triples: the worked example of the standard's
// tutorials, the NBS validation set, and rows of the NBS variable-plaintext
// and variable-key tables (key or plaintext with a single bit set).
constexpr Vector kVectors[] = {
    {0x133457799BBCDFF1, 0x0123456789ABCDEF, 0x85E813540F0AB405},
    {0x0000000000000000, 0x0000000000000000, 0x8CA64DE9C1B123A7},
    {0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0x7359B2163E4EDC58},
    {0x3000000000000000, 0x1000000000000001, 0x958E6E627A05557B},
    {0x1111111111111111, 0x1111111111111111, 0xF40379AB9E0EC533},
    {0x0123456789ABCDEF, 0x1111111111111111, 0x17668DFC7292532D},
    {0xFEDCBA9876543210, 0x0123456789ABCDEF, 0xED39D950FA74BCC4},
    {0x7CA110454A1A6E57, 0x01A1D6D039776742, 0x690F5B0D9A26939B},
    {0x0131D9619DC1376E, 0x5CD54CA83DEF57DA, 0x7A389D10354BD271},
    {0x0101010101010101, 0x8000000000000000, 0x95F8A5E5DD31D900},
    {0x0101010101010101, 0x4000000000000000, 0xDD7F121CA5015619},
    {0x0101010101010101, 0x0000000000000001, 0x166B40B44ABA4BD6},
    {0x8001010101010101, 0x0000000000000000, 0x95A8D72813DAA94D},
    {0x4001010101010101, 0x0000000000000000, 0x0EEC1487DD8C26D5},
};

TEST(DesTest, MatchesPublishedVectorsBothWays) {
    for (const Vector& v : kVectors) {
        const Des des(KeyBytes(v.key));
        EXPECT_EQ(des.EncryptBlock(v.plain), v.cipher) << std::hex << v.key << " " << v.plain;
        EXPECT_EQ(des.DecryptBlock(v.cipher), v.plain) << std::hex << v.key << " " << v.cipher;
    }
}

TEST(DesTest, IgnoresKeyParityBits) {
    const Des withParity(KeyBytes(0x133457799BBCDFF1));
    const Des withoutParity(KeyBytes(0x133457799BBCDFF1 & 0xFEFEFEFEFEFEFEFE));
    EXPECT_EQ(withoutParity.EncryptBlock(0x0123456789ABCDEF), 0x85E813540F0AB405U);
    EXPECT_EQ(withParity.EncryptBlock(0x42), withoutParity.EncryptBlock(0x42));
}

TEST(DesTest, EcbWorksBlockByBlockBigEndian) {
    const Des des(KeyBytes(0x133457799BBCDFF1));
    std::vector<std::uint8_t> data = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01,
                                      0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x77};
    des.EncryptEcb(data);
    const std::vector<std::uint8_t> expected = {
        0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05, 0x85,
        0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05, 0x77};  // a partial block is left alone
    EXPECT_EQ(data, expected);
    des.DecryptEcb(data);
    EXPECT_EQ(data[0], 0x01);
    EXPECT_EQ(data[15], 0xEF);
}

}  // namespace
}  // namespace vellumix::sigformats::vbc
