#pragma once
// The site in work in the windows: which customer site every exchange of the
// transfer window is recorded to, kept by its id across restarts as siteId=
// under [SiteBook] in QuelmarSetup.conf, with site= its name as last known
// (older settings with only the name are converted once), and shown by the
// name the book gives it now: a site renamed meanwhile keeps recording. Recording runs on a thread of its own with
// its own connection to the book, in the order the operations ended, so a
// slow or unreachable book never holds up the windows or the port.

#include "SiteBook.h"

#include "params/ExchangeLog.h"

#include <QObject>
#include <QThread>

#include <optional>

namespace Sites {

class SiteRecorder;

class SiteWork : public QObject, public ExchangeLog
{
    Q_OBJECT

public:
    // The book at url; the site in work as QuelmarSetup.conf left it.
    explicit SiteWork(QString url = configuredBookUrl(), QObject *parent = nullptr);
    // Records everything queued before it ends its thread.
    ~SiteWork() override;

    const QString &url() const { return m_url; }

    // Starts work on a site as the caller read it from the book, or ends it
    // (nullopt); kept in QuelmarSetup.conf.
    void workOn(const std::optional<Site> &site);
    // The site's details as last read; nullopt without a site in work or
    // before the book answered.
    const std::optional<SiteDetails> &details() const { return m_details; }
    // Blocks until everything queued so far is recorded (tests).
    void waitRecorded();

    // The site in work's id; 0 when none.
    qint64 siteId() const { return m_id; }

    // ExchangeLog
    QString siteName() const override { return m_name; }
    Target target() const override { return {m_id, m_name}; }
    std::optional<ImageBytes> siteSet() const override { return m_current; }
    void refresh() override;
    void record(const Target &site, const ExchangeRecord &record, Done done) override;
    void file(const ImageBytes &image, const QString &outcome, Done done) override;

signals:
    void siteChanged(const QString &name);
    // Exchanges were recorded (or failed): lists of the site may have changed.
    void recorded();

private:
    void openOnThread();
    void recordAll(const Target &site, const QList<NewExchange> &exchanges, Done done);
    // The site as the book gave it, looked for as `asked` after `queued`
    // recordings: ignored when another site was chosen meanwhile, its set
    // when a set was put into the site since.
    void takeFromBook(const Target &asked, int queued, const Site &site);
    bool inWork(const Target &site) const;

    QString m_url;
    qint64 m_id = 0;
    QString m_name; // as the book last named it
    std::optional<SiteDetails> m_details;
    std::optional<ImageBytes> m_current;
    int m_queued = 0; // recordings asked for so far
    QThread m_thread;
    QObject *m_worker; // lives on m_thread
    // Used on m_thread only.
    std::unique_ptr<SiteRecorder> m_recorder;
};

} // namespace Sites
