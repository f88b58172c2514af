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
#include <optional>

class ExchangeLog
{
public:
    using Done = std::function<void(const QString &note)>;

    // A site as an operation took it when it started: by its id, or by the
    // name older settings kept until the book gave the id.
    struct Target
    {
        qint64 id = 0;
        QString name;
        bool isNone() const { return id == 0 && name.isEmpty(); }
    };

    virtual ~ExchangeLog() = default;

    // The site in work; empty when none.
    virtual QString siteName() const = 0;
    virtual Target target() const = 0;
    // The site's current set as last known (a read clears bytes 960 to 1087,
    // which it holds); nullopt without one.
    virtual std::optional<ImageBytes> siteSet() const = 0;
    // Reads the site's name and set from the book again: a colleague may
    // have renamed it.
    virtual void refresh() = 0;

    // A stage of a read, write or compare, as it ended, to the site that
    // was in work when its operation started.
    virtual void record(const Target &site, const ExchangeRecord &record, Done done) = 0;
    // A set loaded from a file or stored in the editor; outcome says which.
    virtual void file(const ImageBytes &image, const QString &outcome, Done done) = 0;
};
