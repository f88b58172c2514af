#pragma once
// The base of every error the core raises. It carries the text to show the
// user; what() holds the same text in UTF-8, so a handler that only sees a
// std::exception shows it unchanged.

#include <QString>
#include <stdexcept>

class QuelmarError : public std::runtime_error
{
public:
    explicit QuelmarError(const QString &message);

    QString message() const { return m_message; }

private:
    QString m_message;
};
