#include "TextLineFile.h"

#include "common/Files.h"
#include "common/Windows1250.h"

#include <QFile>

namespace TextLineFile {

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch != u'\r' && ch != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}

std::optional<QStringList> Read(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return splitLines(Windows1250::toUnicode(bytes));
}

int Write(const QString &fileName, const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += Windows1250::fromUnicode(line);
        bytes += "\r\n";
    }
    return Files::save(fileName, bytes, Files::Access::Shared);
}

} // namespace TextLineFile
