#pragma once
// The checksum of one 64-byte parameter block, the same rule on both sides of
// the line: byte n is XORed with k + i, k = n / 12 + 1 being the data message
// that carries it and i = n % 12 its place there; the results are summed.

#include <array>
#include <cstdint>

using ParameterBlock = std::array<std::uint8_t, 64>;

inline constexpr std::uint32_t blockChecksumTerm(int messageNumber, int place, std::uint8_t byte)
{
    return static_cast<std::uint32_t>((messageNumber + place) ^ byte);
}

inline constexpr std::uint32_t blockChecksum(const ParameterBlock &block)
{
    std::uint32_t sum = 0;
    for (int n = 0; n < 64; ++n)
        sum += blockChecksumTerm(n / 12 + 1, n % 12, block[static_cast<std::size_t>(n)]);
    return sum;
}
