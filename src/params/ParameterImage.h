#pragma once
// The parameter set as the PC holds it, and the transfer's block buffer. Both
// are program-wide: the transfer, the file and the editor address them by
// offset.

#include "EEAddr.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

using ImageBytes = std::array<std::uint8_t, EEAddr::ImageSize>;
using TransferBytes = std::array<std::uint8_t, EEAddr::ModuleBytes>;

// 0xFF at start, like the module's erased memory.
extern ImageBytes ParameterImage;
// Zero at start; holds the blocks of the last read or write.
extern TransferBytes TransferBuffer;

void fillImage(std::uint8_t value);

// Bytes 960 to 1087, which the module never holds, taken from `from`: what a
// read leaves there is not the site's or the file's.
inline void keepPcBytes(ImageBytes &image, const ImageBytes &from)
{
    std::copy(from.begin() + EEAddr::ModuleBytes, from.end(), image.begin() + EEAddr::ModuleBytes);
}

// The bytes of one field of an image.
std::span<std::uint8_t> fieldBytes(ImageBytes &image, const EEAddr::Field &field);
std::span<const std::uint8_t> fieldBytes(const ImageBytes &image, const EEAddr::Field &field);
std::span<std::uint8_t> fieldBytes(ImageBytes &image, int offset, int length);
std::span<const std::uint8_t> fieldBytes(const ImageBytes &image, int offset, int length);
