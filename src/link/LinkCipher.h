#pragma once
// AES-128 on single 16-byte blocks under the module's fixed link key.

#include <array>
#include <cstdint>

using Block16 = std::array<std::uint8_t, 16>;

// Used raw as the cipher key in both directions.
inline constexpr Block16 LinkKey = {0x3c, 0xa1, 0x5e, 0x07, 0x92, 0xd4, 0x6b, 0x18,
                                    0xf0, 0x2e, 0x87, 0x49, 0xb5, 0x63, 0x0a, 0xdc};

// One direction of AES-128-ECB without padding. The key is expanded once at
// construction; every call transforms exactly one block.
class LinkCipher
{
public:
    enum class Direction { Encrypt, Decrypt };

    explicit LinkCipher(Direction direction, const Block16 &key = LinkKey);
    ~LinkCipher();
    LinkCipher(const LinkCipher &) = delete;
    LinkCipher &operator=(const LinkCipher &) = delete;

    Block16 apply(const Block16 &in);

private:
    struct Context;
    Context *m_ctx;
};

// Frees the cipher library's state of the calling thread (its error queue).
// A thread that used a LinkCipher calls it as its last act: the library's own
// clean-up runs when the thread's storage goes, which can be after the
// program has ended.
void releaseCipherThreadState();
