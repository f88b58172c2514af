#include "Operation.h"

QString operationName(Operation operation)
{
    switch (operation) {
    case Operation::Read: return QStringLiteral("Read");
    case Operation::Compare: return QStringLiteral("Compare");
    case Operation::Write: return QStringLiteral("Write");
    case Operation::Backup: return QStringLiteral("Backup");
    case Operation::Verify: return QStringLiteral("Verify");
    }
    return {};
}
