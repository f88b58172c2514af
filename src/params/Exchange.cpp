#include "Exchange.h"

#include <algorithm>

FieldModel::ImageDifferences arrivedDifferences(const TransferResult &result, std::span<const std::uint8_t> module,
                                                std::span<const std::uint8_t> reference, ImageBytes &seen)
{
    seen.fill(0);
    std::copy_n(reference.begin(), EEAddr::ModuleBytes, seen.begin());
    if (result.outcome == TransferOutcome::NotConnected)
        return {};
    const Transfer::BlockSet reached = result.reached();
    for (int b = 0; b < EEAddr::BlockCount; ++b)
        if (reached.test(std::size_t(b)))
            std::copy_n(module.begin() + b * EEAddr::BlockSize, EEAddr::BlockSize, seen.begin() + b * EEAddr::BlockSize);
    return FieldModel::DiffImages(seen, reference, {0, EEAddr::ModuleBytes - 1});
}
