#include "SiteWork.h"

#include "SiteRecorder.h"

#include "params/WriteChecks.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QSettings>

#include <algorithm>

namespace Sites {

namespace {

// The site is the one of this id; its name, as last known, is what the
// window shows until the book answers. Older settings only named it: found
// by that name once, then kept by its id too.
const QString SiteIdKey = QStringLiteral("SiteBook/siteId");
const QString SiteNameKey = QStringLiteral("SiteBook/site");

void keepSite(qint64 id, const QString &name)
{
    QSettings settings(userSettingsPath(), QSettings::IniFormat);
    if (id == 0 && name.isEmpty()) {
        settings.remove(SiteIdKey);
        settings.remove(SiteNameKey);
        return;
    }
    settings.setValue(SiteIdKey, id);
    settings.setValue(SiteNameKey, name);
}

} // namespace

SiteWork::SiteWork(QString url, QObject *parent)
    : QObject(parent)
    , m_url(std::move(url))
    , m_worker(new QObject)
{
    m_worker->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("site book"));
    m_thread.start();
    const QSettings settings(userSettingsPath(), QSettings::IniFormat);
    m_id = settings.value(SiteIdKey).toLongLong();
    m_name = settings.value(SiteNameKey).toString();
    if (m_id != 0 || !m_name.isEmpty())
        openOnThread();
}

SiteWork::~SiteWork()
{
    // After every job queued before: the book's connection closes on its own thread.
    QMetaObject::invokeMethod(m_worker, [this] {
        m_recorder.reset();
        m_thread.quit();
    }, Qt::QueuedConnection);
    m_thread.wait();
    delete m_worker;
}

void SiteWork::workOn(const std::optional<Site> &site)
{
    m_id = site ? site->id : 0;
    m_name = site ? site->details.name : QString();
    m_details = site ? std::optional(site->details) : std::nullopt;
    m_current = site ? site->current : std::nullopt;
    keepSite(m_id, m_name);
    openOnThread();
    emit siteChanged(m_name);
}

bool SiteWork::inWork(const Target &site) const
{
    return site.id == m_id && (site.id != 0 || site.name == m_name);
}

void SiteWork::openOnThread()
{
    const Target asked = target();
    const int queued = m_queued;
    QMetaObject::invokeMethod(
        m_worker,
        [this, asked, queued] {
            m_recorder.reset();
            if (asked.isNone())
                return;
            m_recorder = asked.id != 0 ? std::make_unique<SiteRecorder>(m_url, asked.id, asked.name)
                                       : std::make_unique<SiteRecorder>(m_url, asked.name);
            if (!m_recorder->open().isEmpty())
                return; // tried again by the next recording; its note says why
            const Site site = m_recorder->site();
            QMetaObject::invokeMethod(
                this, [this, asked, queued, site] { takeFromBook(asked, queued, site); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void SiteWork::takeFromBook(const Target &asked, int queued, const Site &site)
{
    if (!inWork(asked))
        return;                       // another site was chosen meanwhile
    const bool converted = m_id == 0; // found by the name older settings kept
    m_id = site.id;
    m_details = site.details;
    // A set put into the site since is newer than what the book said.
    if (queued == m_queued)
        m_current = site.current;
    if (site.details.name != m_name || converted) {
        m_name = site.details.name;
        keepSite(m_id, m_name);
        emit siteChanged(m_name);
    }
}

void SiteWork::refresh()
{
    if (m_id == 0)
        return;
    const Target asked = target();
    const int queued = m_queued;
    QMetaObject::invokeMethod(
        m_worker,
        [this, asked, queued] {
            if (!m_recorder || !m_recorder->isFor(asked.id, asked.name))
                return;
            if (const std::optional<Site> now = m_recorder->reread())
                QMetaObject::invokeMethod(
                    this, [this, asked, queued, site = *now] { takeFromBook(asked, queued, site); },
                    Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void SiteWork::recordAll(const Target &site, const QList<NewExchange> &exchanges, Done done)
{
    const int queued = ++m_queued;
    QMetaObject::invokeMethod(
        m_worker,
        [this, site, exchanges, done, queued] {
            // The site of an operation that started before another was chosen
            // gets its exchanges all the same, through a connection of its own.
            const bool current = m_recorder && m_recorder->isFor(site.id, site.name);
            std::unique_ptr<SiteRecorder> other;
            if (!current)
                other = site.id != 0 ? std::make_unique<SiteRecorder>(m_url, site.id, site.name)
                                     : std::make_unique<SiteRecorder>(m_url, site.name);
            SiteRecorder &recorder = current ? *m_recorder : *other;
            const QString note = recorder.record(exchanges);
            // The name and set as the book has them now: renamed meanwhile, say.
            const std::optional<Site> now = current && note.isEmpty() ? recorder.reread() : std::nullopt;
            QMetaObject::invokeMethod(
                this,
                [this, site, queued, now, note, done] {
                    if (now)
                        takeFromBook(site, queued, *now);
                    if (done)
                        done(note);
                    emit recorded();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void SiteWork::waitRecorded()
{
    QSemaphore finished;
    QMetaObject::invokeMethod(m_worker, [&finished] { finished.release(); }, Qt::QueuedConnection);
    finished.acquire();
    QCoreApplication::sendPostedEvents(this);
}

void SiteWork::record(const Target &site, const ExchangeRecord &record, Done done)
{
    NewExchange exchange = exchangeOf(record);
    // A complete read is the site's set now, with its bytes 960 to 1087 kept.
    if (exchange.makeCurrent && exchange.image && inWork(site)) {
        ImageBytes current = *exchange.image;
        if (m_current)
            keepPcBytes(current, *m_current);
        m_current = current;
    }
    recordAll(site, {exchange}, std::move(done));
}

void SiteWork::file(const ImageBytes &image, const QString &outcome, Done done)
{
    m_current = image;
    recordAll(target(), {fileExchange(image, outcome)}, std::move(done));
}

} // namespace Sites
