#include "Operation.h"

QString operationName(Operation operation)
{
    switch (operation) {
    case Operation::Read: return QStringLiteral("Read");
    case Operation::Compare: return QStringLiteral("Compare");
    case Operation::Write: return QStringLiteral("Write");
    case Operation::Backup: return QStringLiteral("Backup");
    case Operation::Verify: return QStringLiteral("Verify");
    case Operation::File: return QStringLiteral("File");
    }
    return {};
}

QString operationWord(Operation operation)
{
    return operationName(operation).toLower();
}

std::optional<Operation> operationFromWord(const QString &word)
{
    for (Operation op : {Operation::Read, Operation::Compare, Operation::Write, Operation::Backup, Operation::Verify,
                         Operation::File})
        if (operationWord(op) == word)
            return op;
    return std::nullopt;
}
