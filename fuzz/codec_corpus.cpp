// Writes the seed corpus of the codec fuzz target: line bytes with valid
// frames of every message kind the module sends, alone, in sequences and
// mixed with noise.
//   fuzz_codec_corpus <directory>

#include "LinkFakes.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <random>

namespace {

QByteArray frames(const std::vector<ModuleMessage> &messages)
{
    QByteArray line;
    for (const ModuleMessage &m : messages)
        line += frameOf(m);
    return line;
}

QByteArray noise(std::mt19937 &rng, int count)
{
    QByteArray bytes;
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < count; ++i)
        bytes.append(static_cast<char>(byte(rng)));
    return bytes;
}

ModuleMessage withByte(ModuleMessage m, int at, std::uint8_t value)
{
    m[static_cast<std::size_t>(at)] = value;
    return m;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    std::mt19937 rng(1250);

    ParameterBlock block{};
    for (std::size_t n = 0; n < block.size(); ++n)
        block[n] = static_cast<std::uint8_t>(n * 37 + 5);
    const auto goodBlock = blockMessages(7, block, blockChecksum(block));
    const auto badBlock = blockMessages(2, block, blockChecksum(block) + 1);

    const std::vector<std::pair<const char *, QByteArray>> seeds = {
        {"short-texts", frames({makeMessage(0x21, QByteArray(9, '\0') + "RING"),
                                makeMessage(0x22, QByteArray(9, '\0') + QByteArray("A\0B\0", 4)),
                                makeMessage(0x23, QByteArray(9, '\0') + "\xDB\xDC\xD5\xFB"),
                                makeMessage(0x25, QByteArray(9, '\0') + "123#")})},
        {"long-texts", frames({makeMessage(0x31, "GSM READY\r\n"), makeMessage(0x32, "SMS SENT TO 1"),
                               makeMessage(0x33, "LINE OK"), makeMessage(0x35, "*1234#"),
                               makeMessage(0x73, "IGNORED")})},
        {"status", frames({makeMessage(0x24, QByteArray(9, '\0') + "\x1F\x17\x05\x00")})},
        {"block", frames(goodBlock)},
        {"block-bad-checksum", frames(badBlock)},
        {"acknowledgement", frames({withByte(makeMessage(0x1D), 14, 0x40), withByte(makeMessage(0x5D), 14, 0x41)})},
        {"bad-brackets", frames({withByte(makeMessage(0x31, "X"), 0, 0x5C), withByte(makeMessage(0x31, "Y"), 15, 0)})},
        {"noise-and-frames", noise(rng, 40) + frames({makeMessage(0x31, "FIRST")}) + noise(rng, 23)
                                 + "??\r" + frames(goodBlock) + noise(rng, 7)},
        {"noise", noise(rng, 512)},
    };

    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (const auto &[name, bytes] : seeds) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    std::printf("%zu files in %s\n", seeds.size(), argv[1]);
    return 0;
}
