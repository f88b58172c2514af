#pragma once
// Where the transfer window records its exchanges besides the history: the
// customer site in work, kept in the site book (whose folder sits above this
// one, so the window knows it only through this interface). Recording never
// stops or delays an operation: each call returns at once, and `done` gets,
// later and on the caller's thread, "" or " Site book not updated: REASON.".

#include "Exchange.h"
#include "ParameterImage.h"

#include <QString>

#include <functional>

class ExchangeLog
{
public:
    using Done = std::function<void(const QString &note)>;

    virtual ~ExchangeLog() = default;

    // The site in work; empty when none.
    virtual QString siteName() const = 0;
    // A read clears bytes 960 to 1087; the site's current set holds them.
    virtual void keepPcBytes(ImageBytes &image) const = 0;

    // A stage of a read, write or compare, as it ended.
    virtual void record(const ExchangeRecord &record, Done done) = 0;
    // A set loaded from a file or stored in the editor; outcome says which.
    virtual void file(const ImageBytes &image, const QString &outcome, Done done) = 0;
};
