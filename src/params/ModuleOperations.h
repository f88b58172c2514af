#pragma once
// The one class that runs the operations on a module for the windows and the
// command line alike: read, write (the policy is CheckedWrite's) and compare,
// over one transfer. Each stage's record goes, the moment the stage ends, to
// the receivers the caller attached (the site book, the windows' image
// state); the history keeps what it keeps here. The front ends only render.

#include "CheckedWrite.h"
#include "Exchange.h"
#include "History.h"

#include <QList>
#include <QString>

#include <span>

// Gets every stage's record as it ends, on the operation's thread.
class ExchangeReceiver
{
public:
    virtual ~ExchangeReceiver() = default;
    virtual void received(const ExchangeRecord &record) = 0;
};

class ModuleOperations
{
public:
    // port names the records and the history entries; history keeps the
    // complete reads, the backups and the written sets.
    ModuleOperations(ParameterTransfer &transfer, QString port, History::Store history = History::Store());

    // Receivers are called in the order attached; none is owned.
    void attach(ExchangeReceiver *receiver);

    // All blocks into the transfer's image; a complete read is kept in the history.
    ExchangeRecord read();
    // The transfer's image, backed up, written and verified as `options`
    // say (their port, history and stageEnded are this runner's); the
    // written set's entry is kept once some block went in.
    WriteOutcome write(CheckedWriteOptions options);
    // Reads the module and finds what differs from `reference` (bytes 0 to
    // 959) in the blocks that arrived; a difference is a failure, in red.
    ExchangeRecord compare(std::span<const std::uint8_t> reference, CompareWith against);

    const QString &port() const { return m_port; }

private:
    void handOn(const ExchangeRecord &record);

    ParameterTransfer &m_transfer;
    QString m_port;
    History::Store m_history;
    QList<ExchangeReceiver *> m_receivers;
};
