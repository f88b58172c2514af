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
    setCurrent(site ? site->current : std::nullopt);
    keepSite(m_id, m_name);
    openOnThread();
    emit siteChanged(m_name);
}

void SiteWork::openOnThread()
{
    const qint64 id = m_id;
    const QString name = m_name;
    QMetaObject::invokeMethod(m_worker, [this, id, name] {
        m_recorder.reset();
        if (id == 0 && name.isEmpty())
            return;
        m_recorder = id != 0 ? std::make_unique<SiteRecorder>(m_url, id, name) : std::make_unique<SiteRecorder>(m_url, name);
        if (!m_recorder->open().isEmpty())
            return; // tried again by the next recording; its note says why
        const Site site = m_recorder->site();
        QMetaObject::invokeMethod(this, [this, id, name, site] {
            if (id != m_id || (id == 0 && name != m_name))
                return; // another site was chosen meanwhile
            const bool converted = m_id == 0; // found by the name older settings kept
            m_id = site.id;
            m_details = site.details;
            // A set put into the site since is newer than what the book said.
            if (!m_pcBytes)
                setCurrent(site.current);
            if (site.details.name != m_name || converted) {
                m_name = site.details.name;
                keepSite(m_id, m_name);
                emit siteChanged(m_name);
            }
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void SiteWork::setCurrent(const std::optional<ImageBytes> &current)
{
    m_pcBytes.reset();
    if (!current)
        return;
    PcBytes bytes;
    std::copy(current->begin() + EEAddr::ModuleBytes, current->end(), bytes.begin());
    m_pcBytes = bytes;
}

void SiteWork::keepPcBytes(ImageBytes &image) const
{
    if (m_pcBytes)
        std::copy(m_pcBytes->begin(), m_pcBytes->end(), image.begin() + EEAddr::ModuleBytes);
}

void SiteWork::recordAll(const QList<NewExchange> &exchanges, Done done)
{
    QMetaObject::invokeMethod(m_worker, [this, exchanges, done] {
        const QString note = m_recorder ? m_recorder->record(exchanges) : QString();
        QMetaObject::invokeMethod(this, [this, note, done] {
            if (done)
                done(note);
            emit recorded();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void SiteWork::waitRecorded()
{
    QSemaphore finished;
    QMetaObject::invokeMethod(m_worker, [&finished] { finished.release(); }, Qt::QueuedConnection);
    finished.acquire();
    QCoreApplication::sendPostedEvents(this);
}

void SiteWork::record(const ExchangeRecord &record, Done done)
{
    recordAll({exchangeOf(record)}, std::move(done));
}

void SiteWork::file(const ImageBytes &image, const QString &outcome, Done done)
{
    setCurrent(image);
    recordAll({fileExchange(image, outcome)}, std::move(done));
}

} // namespace Sites
