#pragma once
// The Sites window: the customer sites of the site book, found as one types,
// with the selected site's exchanges below (the history window's list and
// buttons). A site can be added, edited, and taken into work, its current
// set then becoming the image; every exchange of the transfer window is
// recorded to the site in work (SiteWork). The list and the exchanges are
// read off the window's thread (BookReader), the list a page at a time as it
// is scrolled; what the user does to a site waits for the book.

#include "BookReader.h"
#include "SiteBook.h"

#include <QDialog>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class TFormHistory;

namespace Sites {
class SiteWork;
}

// "New site" and "Edit": a site's details. OK saves through the book; what
// the book refuses (a name in use, a change made meanwhile) is said here and
// the dialog stays open with everything typed.
class TFormSite : public QDialog
{
    Q_OBJECT

public:
    // A new site without one to edit.
    TFormSite(Sites::SiteBook &book, const std::optional<Sites::Site> &site, QWidget *parent = nullptr);

    // The site as saved; nullopt until OK saved it.
    const std::optional<Sites::Site> &saved() const { return m_saved; }

    QLineEdit *edName;
    QLineEdit *edAddress;
    QLineEdit *edContact;
    QLineEdit *edPhone;
    QPlainTextEdit *meNotes;
    // Who changed the details last, and when; empty for a new site.
    QLabel *lbChanged;
    QLabel *lbError;
    QDialogButtonBox *Buttons;

    void accept() override;

private:
    Sites::SiteBook &m_book;
    std::optional<Sites::Site> m_site;
    std::optional<Sites::Site> m_saved;
};

class TFormSites : public QWidget
{
    Q_OBJECT

public:
    // Nothing waits for the book at URL: the list says "Opening the site
    // book..." until its first page comes.
    TFormSites(const QString &url, Sites::SiteWork &work, QWidget *parent = nullptr);
    ~TFormSites() override;

    // Lists the sites matching the search again, keeping the selection.
    void Refresh();
    // Sites listed per page.
    static constexpr int PageSize = 100;
    // A site's exchanges listed, the newest; the command line's site history has them all.
    static constexpr int ExchangesShown = 200;
    // The site of the selected row, as the book holds it now.
    std::optional<Sites::Site> selectedSite();

    QLineEdit *edSiteSearch;
    // While the book is opened or searched, and why it cannot be; hidden otherwise.
    QLabel *lbBook;
    // Archived sites are listed only when it is checked.
    QCheckBox *cbArchived;
    // The sites that need a visit come first, marked.
    QTreeWidget *lvSites;
    QPushButton *btNewSite;
    QPushButton *btEditSite;
    QPushButton *btWorkOnSite;
    QPushButton *btNoSite;
    QPushButton *btClose;
    // The selected site's exchanges, and whether older ones are left out.
    TFormHistory *History;
    QLabel *lbExchanges;

    // After a site's set became the image: the transfer window fills its bar.
    std::function<void()> Loaded;
    // The Yes/No question and the error box; tests put recorders here.
    std::function<bool(const QString &)> Ask;
    std::function<void(const QString &)> ErrorBox;
    // Runs the site dialog; true when it saved. Tests fill it in themselves.
    std::function<bool(TFormSite &)> RunDialog;

public slots:
    void btNewSiteClick();
    void btEditSiteClick();
    void btWorkOnSiteClick();
    void btNoSiteClick();
    // While a module operation runs, nothing here changes the image or the site.
    void operationRunning(bool running);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The window's own connection, for what the user does to a site; opened
    // on first use, null (and said) when it cannot be.
    Sites::SiteBook *book();
    void enableButtons();
    // Every column in sight: the widest give way, their texts elided.
    void fitSiteColumns();
    // Asks for the first page of the search, keeping the selection.
    void listSites();
    void askPage();
    void listed(const Sites::BookReader::Page &page);
    void addRow(const Sites::SiteSummary &s, bool visit);
    // The next page, when the list is scrolled to its end.
    void pageIfAtEnd();
    void readExchanges();
    void openDialog(const std::optional<Sites::Site> &site);
    QString selectedName() const;
    qint64 selectedId() const;
    void select(const QString &name);
    void saySearching(const QString &why, bool opening);

    QString m_url;
    Sites::BookReader m_reader;
    std::unique_ptr<Sites::SiteBook> m_book;
    Sites::SiteWork &m_work;
    QTimer *m_searchDelay;
    QList<Sites::SiteSummary> m_sites;
    // The list is read in two runs of pages: the sites that need a visit,
    // then the others, without those.
    enum class Run { Visits, Others } m_run = Run::Visits;
    QSet<qint64> m_visits;
    QString m_keepSelected; // until the site is listed again, or the list is in
    qint64 m_reload = 0;    // rows to read again at once, so a refresh keeps the place
    qint64 m_nextOffset = 0;
    bool m_more = false;
    bool m_pageAsked = false;
    bool m_filling = false;
    bool m_opened = false;
    // The exchanges last read, and of which site.
    QList<Sites::BookReader::ExchangeRow> m_exchanges;
    qint64 m_exchangesOf = 0;
    bool m_running = false;
};

// "Sites...": makes the window over the site in work's book on first use and shows it.
void showSitesWindow(TFormSites *&window, Sites::SiteWork &work, QWidget *parent);
