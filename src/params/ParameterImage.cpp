#include "ParameterImage.h"

#include <QtGlobal>

namespace {
constexpr ImageBytes erasedImage()
{
    ImageBytes image{};
    image.fill(0xFF);
    return image;
}
} // namespace

ImageBytes ParameterImage = erasedImage();
TransferBytes TransferBuffer{};

void fillImage(std::uint8_t value)
{
    ParameterImage.fill(value);
}

std::span<std::uint8_t> fieldBytes(ImageBytes &image, int offset, int length)
{
    Q_ASSERT(offset >= 0 && length >= 0 && offset + length <= EEAddr::ImageSize);
    return std::span<std::uint8_t>(image).subspan(static_cast<std::size_t>(offset),
                                                  static_cast<std::size_t>(length));
}

std::span<const std::uint8_t> fieldBytes(const ImageBytes &image, int offset, int length)
{
    Q_ASSERT(offset >= 0 && length >= 0 && offset + length <= EEAddr::ImageSize);
    return std::span<const std::uint8_t>(image).subspan(static_cast<std::size_t>(offset),
                                                        static_cast<std::size_t>(length));
}

std::span<std::uint8_t> fieldBytes(ImageBytes &image, const EEAddr::Field &field)
{
    return fieldBytes(image, field.offset, field.length);
}

std::span<const std::uint8_t> fieldBytes(const ImageBytes &image, const EEAddr::Field &field)
{
    return fieldBytes(image, field.offset, field.length);
}
