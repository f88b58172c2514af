#include "MemoLines.h"

MemoAppend assembleMemoText(bool &lineEnded, QStringView text)
{
    MemoAppend out;
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\r')) {
            if (lineEnded)
                out.newLines.append(QStringLiteral(" "));
            lineEnded = true;
        } else if (ch == QLatin1Char('\n')) {
            continue;
        } else if (lineEnded) {
            out.newLines.append(QString(ch));
            lineEnded = false;
        } else {
            (out.newLines.isEmpty() ? out.toLastLine : out.newLines.last()).append(ch);
        }
    }
    return out;
}
