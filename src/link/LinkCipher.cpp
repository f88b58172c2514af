#include "LinkCipher.h"

#include "common/QuelmarError.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

struct LinkCipher::Context
{
    EVP_CIPHER_CTX *ctx = nullptr;
};

LinkCipher::LinkCipher(Direction direction, const Block16 &key)
    : m_ctx(new Context)
{
    m_ctx->ctx = EVP_CIPHER_CTX_new();
    const int enc = direction == Direction::Encrypt ? 1 : 0;
    if (!m_ctx->ctx
        || EVP_CipherInit_ex(m_ctx->ctx, EVP_aes_128_ecb(), nullptr, key.data(), nullptr, enc) != 1
        || EVP_CIPHER_CTX_set_padding(m_ctx->ctx, 0) != 1) {
        EVP_CIPHER_CTX_free(m_ctx->ctx);
        delete m_ctx;
        throw QuelmarError(QStringLiteral("AES-128 is not available"));
    }
}

LinkCipher::~LinkCipher()
{
    EVP_CIPHER_CTX_free(m_ctx->ctx);
    delete m_ctx;
}

Block16 LinkCipher::apply(const Block16 &in)
{
    Block16 out{};
    int len = 0;
    // With padding off and one whole block in, ECB yields exactly one block
    // here and nothing at finalisation; the context stays reusable.
    EVP_CipherUpdate(m_ctx->ctx, out.data(), &len, in.data(), static_cast<int>(in.size()));
    return out;
}

void releaseCipherThreadState()
{
    OPENSSL_thread_stop();
}
