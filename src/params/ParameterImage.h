#pragma once
// The parameter set as the PC holds it, and the transfer's block buffer. Both
// are program-wide: the transfer, the file and the editor address them by
// offset.

#include "EEAddr.h"

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

// The bytes of one field of an image.
std::span<std::uint8_t> fieldBytes(ImageBytes &image, const EEAddr::Field &field);
std::span<const std::uint8_t> fieldBytes(const ImageBytes &image, const EEAddr::Field &field);
std::span<std::uint8_t> fieldBytes(ImageBytes &image, int offset, int length);
std::span<const std::uint8_t> fieldBytes(const ImageBytes &image, int offset, int length);
