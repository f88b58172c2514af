#include "SiteRecorder.h"

#include "params/TransferTexts.h"

#include <algorithm>

namespace Sites {

QString completeOutcome()
{
    return QStringLiteral("complete");
}

QString stoppedOutcome(const TransferResult &r)
{
    return QStringLiteral("stopped at block %1: %2").arg(r.stoppedAt).arg(stopReason(r));
}

QString differOutcome(int fields)
{
    if (fields == 0)
        return QStringLiteral("no difference");
    return fields == 1 ? QStringLiteral("1 field differs") : QStringLiteral("%1 fields differ").arg(fields);
}

QString verifyOutcome(int fields)
{
    return fields == 0 ? QStringLiteral("verified")
                       : QStringLiteral("verify differed: %1 field%2").arg(fields).arg(fields == 1 ? "" : "s");
}

QList<NewExchange> writeExchanges(const WriteOutcome &r, bool backup, const ImageBytes &image, const QString &port)
{
    QList<NewExchange> list;
    if (backup) {
        if (r.ending == WriteEnding::BackupStopped)
            list << NewExchange(Operation::Backup, port, stoppedOutcome(r.result), std::nullopt);
        else if (r.ending == WriteEnding::BackupNotKept)
            list << NewExchange(Operation::Backup, port, QStringLiteral("not kept: ") + r.backupError, r.backup);
        else
            list << NewExchange(Operation::Backup, port, completeOutcome(), r.backup);
    } else if (r.changedOnly) {
        // The read a changed-only write starts with: what the module held.
        list << (r.ending == WriteEnding::ReadStopped
                     ? NewExchange(Operation::Read, port, stoppedOutcome(r.result), std::nullopt)
                     : NewExchange(Operation::Read, port, completeOutcome(), r.backup));
    }
    if (r.ending == WriteEnding::AlreadyHeld)
        list << NewExchange(Operation::Write, port, QStringLiteral("nothing to write: the module holds it"), image);
    if (r.nothingWritten())
        return list;
    QString written = r.acknowledged() ? completeOutcome() : stoppedOutcome(r.result);
    if (r.changedOnly)
        written += QStringLiteral(", %1 of %2 blocks changed").arg(r.sent.count()).arg(EEAddr::BlockCount);
    list << NewExchange(Operation::Write, port, written, image);
    if (r.ending == WriteEnding::VerifyStopped)
        list << NewExchange(Operation::Verify, port, stoppedOutcome(r.result), std::nullopt);
    else if (r.ending == WriteEnding::Verified || r.ending == WriteEnding::VerifyDiffered)
        list << NewExchange(Operation::Verify, port, verifyOutcome(r.differences.count()), r.readBack);
    return list;
}

NewExchange readExchange(const TransferResult &r, const ImageBytes &image, const QString &port)
{
    if (r.outcome == TransferOutcome::Succeeded)
        return {Operation::Read, port, completeOutcome(), image, QDateTime::currentDateTimeUtc(), true};
    return {Operation::Read, port, stoppedOutcome(r), std::nullopt};
}

NewExchange compareExchange(const TransferResult &r, std::span<const std::uint8_t> module, int fields,
                            const QString &port)
{
    if (r.stop != TransferStop::None)
        return {Operation::Compare, port, stoppedOutcome(r), std::nullopt};
    ImageBytes image{};
    std::copy_n(module.begin(), std::min<std::size_t>(module.size(), EEAddr::ModuleBytes), image.begin());
    return {Operation::Compare, port, differOutcome(fields), image};
}

NewExchange fileExchange(const ImageBytes &image, const QString &outcome)
{
    return {Operation::File, {}, outcome, image, QDateTime::currentDateTimeUtc(), true};
}

SiteRecorder::SiteRecorder(QString url, QString site)
    : m_url(std::move(url))
    , m_name(std::move(site))
{
}

SiteRecorder::~SiteRecorder() = default;

QString SiteRecorder::open()
{
    try {
        m_book = openSiteBook(m_url);
        m_site = m_book->site(m_name);
        m_error.clear();
    } catch (const SiteBookError &error) {
        m_book.reset();
        m_error = error.message();
    }
    return m_error;
}

QString SiteRecorder::record(const QList<NewExchange> &exchanges)
{
    if (!m_book && !open().isEmpty())
        return notUpdatedNote(m_error);
    try {
        m_book->recordAll(m_site.id, exchanges);
    } catch (const SiteBookError &error) {
        return notUpdatedNote(error.message());
    }
    return {};
}

} // namespace Sites
