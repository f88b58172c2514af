#include "SitesWindow.h"

#include "SiteWork.h"

#include "params/HistoryWindow.h"
#include "params/ImageState.h"

#include "common/ShownText.h"
#include "ui/WindowHelpers.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <QHash>
#include <QStyle>

#include <algorithm>

using namespace Sites;

namespace {

// The book speaks in clauses ("site "X" is in the site book already"); a
// window shows sentences.
QString sentence(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLineEdit *field(QWidget *parent, QFormLayout *form, const char *name, const QString &label, const QString &text)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    // The label carries the mnemonic; the name is read without it.
    edit->setAccessibleName(QString(label).remove(QLatin1Char('&')));
    form->addRow(label, edit);
    return edit;
}

// The last thing that happened to a site: its last exchange or a change of its details.
QDateTime lastChange(const SiteSummary &s)
{
    return s.last ? std::max(s.last->time, s.site.changed) : s.site.changed;
}

QString shortTime(const QDateTime &utc)
{
    return QLocale().toString(utc.toLocalTime(), QLocale::ShortFormat);
}

QList<HistoryItem> exchangeItems(SiteBook &book, const Site &site)
{
    QList<HistoryItem> items;
    for (const Exchange &e : book.history(site.id, true)) {
        const QString name = QStringLiteral("%1, exchange %2").arg(site.details.name).arg(e.number);
        const std::optional<ImageBytes> image = e.image;
        items << HistoryItem{e.time.toLocalTime(),
                             operationName(e.operation),
                             e.port,
                             image ? History::summaryOf(*image) : QString(),
                             e.outcome,
                             name,
                             [image, name](ImageBytes &into) {
                                 if (image)
                                     into = *image;
                                 return image ? ParameterFile::Result{}
                                              : ParameterFile::Result{false, name + QStringLiteral(" holds no parameter set."), 0};
                             }};
    }
    return items;
}

} // namespace

// ------------------------------------------------------------ the site dialog

TFormSite::TFormSite(SiteBook &book, const std::optional<Site> &site, QWidget *parent)
    : QDialog(parent)
    , m_book(book)
    , m_site(site)
{
    setObjectName(QStringLiteral("FormSite"));
    setWindowTitle(QStringLiteral("Quelmar5 - Site"));
    const SiteDetails d = site ? site->details : SiteDetails();
    auto *form = new QFormLayout;
    edName = field(this, form, "edName", QStringLiteral("&Name"), d.name);
    edAddress = field(this, form, "edAddress", QStringLiteral("&Address"), d.address);
    edContact = field(this, form, "edContact", QStringLiteral("Con&tact"), d.contact);
    edPhone = field(this, form, "edPhone", QStringLiteral("&Phone"), d.phone);
    meNotes = new QPlainTextEdit(d.notes, this);
    meNotes->setObjectName(QStringLiteral("meNotes"));
    meNotes->setAccessibleName(QStringLiteral("Notes"));
    meNotes->setTabChangesFocus(true);
    form->addRow(QStringLiteral("Not&es"), meNotes);
    lbChanged = new QLabel(site ? changedByText(ShownText::shown(site->changedBy), site->changed) : QString(), this);
    lbChanged->setObjectName(QStringLiteral("lbChanged"));
    lbChanged->setVisible(site.has_value());
    form->addRow(QString(), lbChanged);
    lbError = new QLabel(this);
    lbError->setObjectName(QStringLiteral("lbError"));
    lbError->setWordWrap(true);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
    Buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancel"));
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lbError);
    layout->addWidget(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &TFormSite::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &TFormSite::reject);
    resize(420, sizeHint().height());
}

void TFormSite::accept()
{
    SiteDetails d;
    d.name = edName->text().trimmed();
    d.address = edAddress->text();
    d.contact = edContact->text();
    d.phone = edPhone->text();
    d.notes = meNotes->toPlainText();
    try {
        if (m_site) {
            Site changed = *m_site;
            changed.details = d;
            m_saved = m_book.editSite(changed);
        } else {
            m_saved = m_book.addSite(d);
        }
    } catch (const SiteBookError &error) {
        QString text = sentence(error.message());
        // Shown, not overwritten: a second OK is a decision to replace it.
        if (error.kind() == SiteBookError::Kind::Changed && m_site)
            if (const std::optional<Site> held = m_book.findSite(m_site->details.name)) {
                m_site->revision = held->revision;
                text += QStringLiteral(" OK saves yours over it.");
            }
        lbError->setText(text);
        return;
    }
    QDialog::accept();
}

// ------------------------------------------------------------ the Sites window

TFormSites::TFormSites(std::unique_ptr<SiteBook> book, SiteWork &work, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_book(std::move(book))
    , m_work(work)
{
    setObjectName(QStringLiteral("FormSites"));
    setWindowTitle(QStringLiteral("Quelmar5 - Sites"));
    resize(760, 560);

    edSiteSearch = new QLineEdit(this);
    edSiteSearch->setObjectName(QStringLiteral("edSiteSearch"));
    edSiteSearch->setAccessibleName(QStringLiteral("Search sites"));
    edSiteSearch->setPlaceholderText(QStringLiteral("Search sites"));
    edSiteSearch->setClearButtonEnabled(true);
    cbArchived = new QCheckBox(QStringLiteral("A&rchived sites"), this);
    cbArchived->setObjectName(QStringLiteral("cbArchived"));
    lvSites = new QTreeWidget(this);
    lvSites->setObjectName(QStringLiteral("lvSites"));
    lvSites->setAccessibleName(QStringLiteral("Sites"));
    lvSites->setRootIsDecorated(false);
    lvSites->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Address"), QStringLiteral("Last exchange"),
                              QStringLiteral("Outcome")});
    btNewSite = button(this, "btNewSite", QStringLiteral("&New site"));
    btEditSite = button(this, "btEditSite", QStringLiteral("&Edit"));
    btWorkOnSite = button(this, "btWorkOnSite", QStringLiteral("&Work on this site"));
    btNoSite = button(this, "btNoSite", QStringLiteral("N&o site"));
    btClose = button(this, "btClose", QStringLiteral("&Close"));
    History = new TFormHistory(this, Qt::Widget);
    History->lvHistory->setAccessibleName(QStringLiteral("Exchanges of the site"));

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {btNewSite, btEditSite, btWorkOnSite, btNoSite})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btClose);
    auto *layout = new QVBoxLayout(this);
    auto *search = new QHBoxLayout;
    search->addWidget(edSiteSearch, 1);
    search->addWidget(cbArchived);
    layout->addLayout(search);
    layout->addWidget(lvSites, 1);
    layout->addLayout(buttons);
    layout->addWidget(History, 1);
    History->layout()->setContentsMargins(0, 0, 0, 0);

    History->Items = [this]() -> QList<HistoryItem> {
        const int row = lvSites->indexOfTopLevelItem(lvSites->currentItem());
        if (row < 0 || row >= m_sites.size())
            return {};
        try {
            return exchangeItems(*m_book, m_sites.at(row).site);
        } catch (const SiteBookError &error) {
            ErrorBox(sentence(error.message()));
            return {};
        }
    };
    History->EntriesFromSiteBook = true;
    History->Loaded = [this] {
        if (Loaded)
            Loaded();
    };

    connect(edSiteSearch, &QLineEdit::textChanged, this, &TFormSites::listSites);
    connect(cbArchived, &QCheckBox::toggled, this, &TFormSites::listSites);
    connect(lvSites, &QTreeWidget::currentItemChanged, History, &TFormHistory::Refresh);
    connect(lvSites, &QTreeWidget::currentItemChanged, this, &TFormSites::enableButtons);
    connect(lvSites, &QTreeWidget::itemActivated, this, &TFormSites::btEditSiteClick);
    connect(btNewSite, &QPushButton::clicked, this, &TFormSites::btNewSiteClick);
    connect(btEditSite, &QPushButton::clicked, this, &TFormSites::btEditSiteClick);
    connect(btWorkOnSite, &QPushButton::clicked, this, &TFormSites::btWorkOnSiteClick);
    connect(btNoSite, &QPushButton::clicked, this, &TFormSites::btNoSiteClick);
    connect(btClose, &QPushButton::clicked, this, &QWidget::hide);
    // A recorded exchange changes the site's last exchange and its history.
    connect(&m_work, &SiteWork::recorded, this, [this] {
        if (isVisible())
            Refresh();
    });
    connect(&m_work, &SiteWork::siteChanged, this, &TFormSites::Refresh);

    Ask = [this](const QString &question) { return askYesNo(this, question); };
    ErrorBox = [](const QString &text) { showErrorBox(text); };
    RunDialog = [](TFormSite &dialog) { return dialog.exec() == QDialog::Accepted; };
    keyboardWindow(this, true);
    enableButtons();
}

TFormSites::~TFormSites() = default;

QString TFormSites::selectedName() const
{
    const int row = lvSites->indexOfTopLevelItem(lvSites->currentItem());
    return row >= 0 && row < m_sites.size() ? m_sites.at(row).site.details.name : QString();
}

void TFormSites::Refresh()
{
    // Judged over the whole book, so read when the book may have changed,
    // not at every keystroke of a search.
    m_visits.clear();
    try {
        for (const SiteSummary &s : m_book->needingVisit())
            m_visits.insert(s.site.id, *s.last);
    } catch (const SiteBookError &error) {
        ErrorBox(sentence(error.message()));
        m_sites.clear();
        lvSites->clear();
        return;
    }
    listSites();
}

void TFormSites::listSites()
{
    const QString selected = selectedName();
    const QHash<qint64, Exchange> &visits = m_visits;
    try {
        m_sites = m_book->sites(edSiteSearch->text(), cbArchived->isChecked());
    } catch (const SiteBookError &error) {
        m_sites.clear();
        ErrorBox(sentence(error.message()));
    }
    std::stable_sort(m_sites.begin(), m_sites.end(), [&](const SiteSummary &a, const SiteSummary &b) {
        const bool visitA = visits.contains(a.site.id), visitB = visits.contains(b.site.id);
        return visitA != visitB ? visitA : lastChange(a) > lastChange(b);
    });
    const QSignalBlocker quiet(lvSites);
    lvSites->clear();
    for (const SiteSummary &s : std::as_const(m_sites)) {
        const QString last = s.last ? shortTime(s.last->time) + QLatin1Char(' ') + operationWord(s.last->operation)
                                    : QString();
        using ShownText::shown;
        auto *item = new QTreeWidgetItem(lvSites,
                                         {shown(s.site.details.name), shown(s.site.details.address), last,
                                          s.last ? shown(s.last->outcome) : QString()});
        if (const auto visit = visits.constFind(s.site.id); visit != visits.constEnd()) {
            const QString why = QStringLiteral("Needs a visit: %1 %2, %3")
                                    .arg(operationName(visit->operation), shortTime(visit->time), shown(visit->outcome));
            item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
            item->setToolTip(0, why);
            item->setData(0, Qt::AccessibleDescriptionRole, why);
        }
        if (s.site.archived) {
            item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
            item->setToolTip(0, QStringLiteral("Archived"));
            item->setData(0, Qt::AccessibleDescriptionRole, QStringLiteral("Archived"));
        }
        // The site in work stands out.
        if (s.site.id == m_work.siteId()) {
            QFont font = item->font(0);
            font.setBold(true);
            item->setFont(0, font);
        }
    }
    fitSiteColumns();
    select(selected.isEmpty() ? m_work.siteName() : selected);
}

void TFormSites::fitSiteColumns()
{
    // Room for the bold name of the site in work, then narrowed to the list's width.
    for (int c = 0; c < lvSites->columnCount() - 1; ++c) {
        lvSites->resizeColumnToContents(c);
        lvSites->setColumnWidth(c, lvSites->columnWidth(c) + 12);
    }
    fitColumns(lvSites->header(), lvSites->viewport()->width());
}

void TFormSites::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Once the list has its new size.
    QMetaObject::invokeMethod(this, &TFormSites::fitSiteColumns, Qt::QueuedConnection);
}

void TFormSites::enableButtons()
{
    // Edit and work need a site; work also waits for the module operation.
    const bool selected = !selectedName().isEmpty();
    btEditSite->setEnabled(selected);
    btWorkOnSite->setEnabled(selected && !m_running);
}

void TFormSites::select(const QString &name)
{
    QTreeWidgetItem *item = lvSites->topLevelItem(0);
    for (int row = 0; row < m_sites.size(); ++row)
        if (m_sites.at(row).site.details.name == name)
            item = lvSites->topLevelItem(row);
    {
        const QSignalBlocker quiet(lvSites);
        lvSites->setCurrentItem(item);
    }
    enableButtons();
    History->Refresh();
}

std::optional<Site> TFormSites::selectedSite()
{
    const QString name = selectedName();
    if (name.isEmpty())
        return std::nullopt;
    try {
        return m_book->findSite(name);
    } catch (const SiteBookError &error) {
        ErrorBox(sentence(error.message()));
        return std::nullopt;
    }
}

void TFormSites::openDialog(const std::optional<Site> &site)
{
    TFormSite dialog(*m_book, site, this);
    if (!RunDialog(dialog) || !dialog.saved())
        return;
    // The site in work follows its new name.
    if (site && site->id == m_work.siteId())
        m_work.workOn(dialog.saved());
    Refresh();
    select(dialog.saved()->details.name);
}

void TFormSites::btNewSiteClick()
{
    openDialog(std::nullopt);
}

void TFormSites::btEditSiteClick()
{
    if (const std::optional<Site> site = selectedSite())
        openDialog(site);
}

void TFormSites::btWorkOnSiteClick()
{
    // Also when pressed through the accessibility interface while disabled.
    if (m_running)
        return;
    const std::optional<Site> site = selectedSite();
    if (!site)
        return;
    bool adopt = false;
    if (site->current) {
        if (workingImage().state().hasUnkeptChanges() && !Ask(QString::fromLatin1(UnkeptChangesLoadQuestion)))
            return;
        workingImage().loadFromSite(*site->current, site->details.name);
    } else {
        // Asked, not taken silently: the image may be the previous customer's.
        adopt = Ask(QStringLiteral("\"%1\" has no parameter set yet. Use the parameter set now in the tool for it?")
                        .arg(ShownText::shown(site->details.name)));
    }
    m_work.workOn(site);
    if (adopt)
        m_work.file(ParameterImage, QStringLiteral("from the tool"), [this](const QString &note) {
            if (!note.isEmpty())
                ErrorBox(sentence(note.trimmed()));
        });
    if (site->current && Loaded)
        Loaded();
}

void TFormSites::btNoSiteClick()
{
    if (m_running)
        return;
    m_work.workOn(std::nullopt);
}

void TFormSites::operationRunning(bool running)
{
    m_running = running;
    for (QPushButton *b : {btNoSite, History->btLoad})
        b->setDisabled(running);
    // Said where a disabled button is looked at, by mouse or screen reader.
    const QString why =
        running ? QStringLiteral("Not while the transfer window runs an operation or asks a question.") : QString();
    for (QPushButton *b : {btWorkOnSite, btNoSite}) {
        b->setToolTip(why);
        b->setAccessibleDescription(why);
    }
    enableButtons();
}

void showSitesWindow(TFormSites *&window, SiteWork &work, QWidget *parent,
                     const std::function<void(const QString &)> &message)
{
    if (!window) {
        std::unique_ptr<SiteBook> book;
        try {
            book = openSiteBook(work.url());
        } catch (const SiteBookError &error) {
            message(QStringLiteral("The site book cannot be opened: %1").arg(sentence(error.message())));
            return;
        }
        window = new TFormSites(std::move(book), work, parent);
        // Clear of the window it was opened from, so that one stays in sight.
        centreOnScreen(window);
        if (parent && parent->isVisible())
            placeBeside(window, parent);
    }
    window->Refresh();
    window->show();
    bringForward(window);
}
