#pragma once
// The Sites window: the customer sites of the site book, found as one types,
// with the selected site's exchanges below (the history window's list and
// buttons). A site can be added, edited, and taken into work, its current
// set then becoming the image; every exchange of the transfer window is
// recorded to the site in work (SiteWork).

#include "SiteBook.h"

#include <QDialog>
#include <QHash>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
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
    // The book is this window's, on this thread.
    TFormSites(std::unique_ptr<Sites::SiteBook> book, Sites::SiteWork &work, QWidget *parent = nullptr);
    ~TFormSites() override;

    // Lists the sites matching the search again, keeping the selection.
    void Refresh();
    // The site of the selected row, as the book holds it now.
    std::optional<Sites::Site> selectedSite();

    QLineEdit *edSiteSearch;
    // Archived sites are listed only when it is checked.
    QCheckBox *cbArchived;
    // The sites that need a visit come first, marked.
    QTreeWidget *lvSites;
    QPushButton *btNewSite;
    QPushButton *btEditSite;
    QPushButton *btWorkOnSite;
    QPushButton *btNoSite;
    QPushButton *btClose;
    // The selected site's exchanges.
    TFormHistory *History;

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
    void enableButtons();
    // Every column in sight: the widest give way, their texts elided.
    void fitSiteColumns();
    // Lists the sites matching the search, with the visits last read.
    void listSites();
    void openDialog(const std::optional<Sites::Site> &site);
    QString selectedName() const;
    void select(const QString &name);

    std::unique_ptr<Sites::SiteBook> m_book;
    Sites::SiteWork &m_work;
    QList<Sites::SiteSummary> m_sites;
    // Each site that needs a visit, with the exchange that says so.
    QHash<qint64, Sites::Exchange> m_visits;
    bool m_running = false;
};

// "Sites...": makes the window over the site in work's book on first use and
// shows it; without a book, message says why and nothing opens.
void showSitesWindow(TFormSites *&window, Sites::SiteWork &work, QWidget *parent,
                     const std::function<void(const QString &)> &message);
