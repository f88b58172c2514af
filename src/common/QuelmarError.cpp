#include "QuelmarError.h"

QuelmarError::QuelmarError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}
