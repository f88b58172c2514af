#include "ModuleOperations.h"

#include "TransferTexts.h"

ModuleOperations::ModuleOperations(ParameterTransfer &transfer, QString port, History::Store history)
    : m_transfer(transfer)
    , m_port(std::move(port))
    , m_history(std::move(history))
{
}

void ModuleOperations::attach(ExchangeReceiver *receiver)
{
    if (receiver)
        m_receivers << receiver;
}

void ModuleOperations::handOn(const ExchangeRecord &record)
{
    // Without a connection nothing happened that anyone keeps.
    if (!record.connected())
        return;
    for (ExchangeReceiver *receiver : std::as_const(m_receivers))
        receiver->received(record);
}

ExchangeRecord ModuleOperations::read()
{
    ExchangeRecord record;
    record.operation = Operation::Read;
    record.port = m_port;
    const TransferOutcome outcome = m_transfer.Read();
    record.when = QDateTime::currentDateTimeUtc();
    record.result = m_transfer.Result();
    if (outcome != TransferOutcome::Succeeded) {
        handOn(record);
        return record;
    }
    record.image = m_transfer.Image();
    // First: a receiver may give the image the site's bytes 960 to 1087,
    // which the history entry then keeps too.
    handOn(record);
    record.history = m_history.keep(m_transfer.Image(), Operation::Read, m_port);
    return record;
}

WriteOutcome ModuleOperations::write(CheckedWriteOptions options)
{
    options.port = m_port;
    options.history = m_history;
    options.stageEnded = [this](const ExchangeRecord &record) { handOn(record); };
    WriteOutcome r = checkedWrite(m_transfer, options);
    // The module may hold it whatever a verify found; after a stop, when
    // some blocks went in, the entry says it may be half-written.
    if (r.acknowledged() || (r.ending == WriteEnding::WriteStopped && r.result.blocksDone > 0))
        r.history = m_history.keep(m_transfer.Image(), Operation::Write, m_port, QDateTime::currentDateTime(),
                                   entryOutcomeText(r));
    return r;
}

ExchangeRecord ModuleOperations::compare(std::span<const std::uint8_t> reference, CompareWith against)
{
    ExchangeRecord record;
    record.operation = Operation::Compare;
    record.port = m_port;
    record.against = against;
    std::copy_n(reference.begin(), EEAddr::ModuleBytes, record.reference.begin());
    ImageBytes module{};
    const TransferOutcome outcome = m_transfer.readInto(module);
    record.when = QDateTime::currentDateTimeUtc();
    record.result = m_transfer.Result();
    ImageBytes seen{};
    record.differences = arrivedDifferences(record.result, module, record.reference, seen);
    if (outcome == TransferOutcome::Succeeded) {
        record.image = module;
        if (record.differs()) {
            record.result.differs = true;
            record.result.outcome = TransferOutcome::Failed;
            m_transfer.showFailure();
        }
    }
    handOn(record);
    return record;
}
