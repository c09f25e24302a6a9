// DES (FIPS 46-3), one 64-bit block at a time. Locked .vbc streams are
// enciphered with it in ECB mode, each 8-byte block on its own.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vellumix::sigformats::vbc {

inline constexpr std::size_t kDesBlockSize = 8;
inline constexpr std::size_t kDesKeySize = 8;

class Des {
public:
    // The low bit of every key byte is a parity bit; the key schedule drops
    // it, so keys differing only in parity encipher alike.
    explicit Des(std::span<const std::uint8_t, kDesKeySize> key);

    // Blocks are big-endian: the first byte holds bits 1-8 of the standard.
    std::uint64_t EncryptBlock(std::uint64_t block) const;
    std::uint64_t DecryptBlock(std::uint64_t block) const;

    // ECB over whole blocks, in place; a trailing partial block is left alone
    // (callers pad to a multiple of kDesBlockSize first).
    void EncryptEcb(std::span<std::uint8_t> data) const;
    void DecryptEcb(std::span<std::uint8_t> data) const;

private:
    std::uint64_t Crypt(std::uint64_t block, bool decrypt) const;

    std::array<std::uint64_t, 16> m_subkeys{};  // 48-bit round keys
};

}  // namespace vellumix::sigformats::vbc
