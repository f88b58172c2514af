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
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <QStyle>
#include <QTimer>

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

// "The site book cannot be opened: ...", unless the book's own words say so already.
QString cannotOpen(const QString &why)
{
    return why.contains(QLatin1String(" cannot be opened: "))
               ? sentence(why)
               : QStringLiteral("The site book cannot be opened: %1").arg(sentence(why));
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

QString shortTime(const QDateTime &utc)
{
    return QLocale().toString(utc.toLocalTime(), QLocale::ShortFormat);
}

// The exchanges as read, without their images: an image is read from the
// book when it is loaded, compared or copied.
QList<HistoryItem> exchangeItems(const std::function<SiteBook *()> &book, const QString &site,
                                 const QList<BookReader::ExchangeRow> &rows)
{
    QList<HistoryItem> items;
    for (const auto &[e, summary] : rows) {
        const QString name = QStringLiteral("%1, exchange %2").arg(site).arg(e.number);
        const qint64 number = e.number;
        const bool held = !e.sha256.isEmpty();
        items << HistoryItem{e.time.toLocalTime(),
                             operationName(e.operation),
                             e.port,
                             summary,
                             e.outcome,
                             name,
                             [book, number, held, name](ImageBytes &into) {
                                 SiteBook *from = held ? book() : nullptr;
                                 std::optional<Exchange> read;
                                 try {
                                     if (from)
                                         read = from->exchange(number);
                                 } catch (const SiteBookError &error) {
                                     return ParameterFile::Result{false, sentence(error.message()), 0};
                                 }
                                 if (read && read->image) {
                                     into = *read->image;
                                     return ParameterFile::Result{};
                                 }
                                 return ParameterFile::Result{false, name + QStringLiteral(" holds no parameter set."), 0};
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

TFormSites::TFormSites(const QString &url, SiteWork &work, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_url(url)
    , m_reader(url)
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
    lbBook = new QLabel(this);
    lbBook->setObjectName(QStringLiteral("lbBook"));
    lbBook->setWordWrap(true);
    lbBook->hide();
    lvSites = new QTreeWidget(this);
    lvSites->setObjectName(QStringLiteral("lvSites"));
    lvSites->setAccessibleName(QStringLiteral("Sites"));
    lvSites->setRootIsDecorated(false);
    lvSites->setUniformRowHeights(true);
    lvSites->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Address"), QStringLiteral("Last exchange"),
                              QStringLiteral("Outcome")});
    btNewSite = button(this, "btNewSite", QStringLiteral("&New site"));
    btEditSite = button(this, "btEditSite", QStringLiteral("&Edit"));
    btWorkOnSite = button(this, "btWorkOnSite", QStringLiteral("&Work on this site"));
    btNoSite = button(this, "btNoSite", QStringLiteral("N&o site"));
    btClose = button(this, "btClose", QStringLiteral("&Close"));
    History = new TFormHistory(this, Qt::Widget);
    lbExchanges = new QLabel(this);
    lbExchanges->setObjectName(QStringLiteral("lbExchanges"));
    lbExchanges->hide();
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
    layout->addWidget(lbBook);
    layout->addWidget(lvSites, 1);
    layout->addLayout(buttons);
    layout->addWidget(lbExchanges);
    layout->addWidget(History, 1);
    History->layout()->setContentsMargins(0, 0, 0, 0);

    History->Items = [this]() -> QList<HistoryItem> {
        const int row = lvSites->indexOfTopLevelItem(lvSites->currentItem());
        if (row < 0 || row >= m_sites.size() || m_sites.at(row).site.id != m_exchangesOf)
            return {};
        return exchangeItems([this] { return book(); }, m_sites.at(row).site.details.name, m_exchanges);
    };
    History->EntriesFromSiteBook = true;
    History->Loaded = [this] {
        if (Loaded)
            Loaded();
    };

    // A moment after the last keystroke: typing a name asks the book once.
    m_searchDelay = new QTimer(this);
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(150);
    connect(m_searchDelay, &QTimer::timeout, this, &TFormSites::listSites);
    connect(edSiteSearch, &QLineEdit::textChanged, m_searchDelay, qOverload<>(&QTimer::start));
    connect(cbArchived, &QCheckBox::toggled, this, &TFormSites::listSites);
    connect(lvSites->verticalScrollBar(), &QScrollBar::valueChanged, this, &TFormSites::pageIfAtEnd);
    connect(lvSites, &QTreeWidget::currentItemChanged, this, &TFormSites::readExchanges);
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

SiteBook *TFormSites::book()
{
    if (!m_book) {
        try {
            m_book = openSiteBook(m_url);
        } catch (const SiteBookError &error) {
            ErrorBox(cannotOpen(error.message()));
        }
    }
    return m_book.get();
}

QString TFormSites::selectedName() const
{
    const int row = lvSites->indexOfTopLevelItem(lvSites->currentItem());
    return row >= 0 && row < m_sites.size() ? m_sites.at(row).site.details.name : QString();
}

qint64 TFormSites::selectedId() const
{
    const int row = lvSites->indexOfTopLevelItem(lvSites->currentItem());
    return row >= 0 && row < m_sites.size() ? m_sites.at(row).site.id : 0;
}

void TFormSites::Refresh()
{
    // The list, its visits and the selected site's exchanges: the book may have
    // changed. As many rows as were read, at once, so the place is kept.
    m_exchangesOf = 0;
    m_reload = m_sites.size();
    listSites();
}

void TFormSites::saySearching(const QString &why, bool opening)
{
    lbBook->setText(opening ? cannotOpen(why) : sentence(why));
    lbBook->show();
}

void TFormSites::listSites()
{
    m_searchDelay->stop();
    if (m_keepSelected.isEmpty())
        m_keepSelected = selectedName();
    if (!m_opened) {
        lbBook->setText(QStringLiteral("Opening the site book..."));
        lbBook->show();
    }
    m_run = Run::Visits;
    m_nextOffset = 0;
    askPage();
}

void TFormSites::askPage()
{
    SiteQuery query;
    query.text = edSiteSearch->text();
    query.archived = cbArchived->isChecked();
    query.attention = m_run == Run::Visits;
    query.offset = m_nextOffset;
    // A new list starts empty: what it has is the old one's.
    const qint64 have = m_run == Run::Visits && m_nextOffset == 0 ? 0 : m_sites.size();
    query.limit = std::max<qint64>(PageSize, m_reload - have);
    m_pageAsked = true;
    m_reader.list(
        query, [this](const BookReader::Page &page) { listed(page); },
        [this](const QString &why, bool opening) {
            m_pageAsked = false;
            saySearching(why, opening);
        });
}

void TFormSites::listed(const BookReader::Page &page)
{
    m_pageAsked = false;
    m_opened = true;
    lbBook->hide();
    const Run run = m_run;
    const bool fresh = run == Run::Visits && page.offset == 0;
    const bool othersFirst = run == Run::Others && page.offset == 0;
    const QSignalBlocker quiet(lvSites);
    // The scroll bar moves as rows come and go; asked once they are all there.
    m_filling = true;
    if (fresh) {
        m_sites.clear();
        m_visits.clear();
        lvSites->clear();
    }
    for (const SiteSummary &s : page.sites) {
        if (run == Run::Visits) {
            m_visits.insert(s.site.id);
            addRow(s, true);
        } else if (!m_visits.contains(s.site.id)) {
            addRow(s, false);
        }
    }
    m_nextOffset = page.offset + page.sites.size();
    // After the visits' last page the others' first.
    m_more = page.more || run == Run::Visits;
    if (run == Run::Visits && !page.more) {
        m_run = Run::Others;
        m_nextOffset = 0;
    }
    // Laid out now, so that where the list ends is known.
    lvSites->doItemsLayout();
    // Fitted to the rows at the list's start: the visits (maybe none), then the others.
    if (fresh || othersFirst)
        fitSiteColumns();
    // A new list is read from its top, or from the site kept selected.
    if (fresh)
        lvSites->scrollToTop();
    const auto kept = std::find_if(m_sites.cbegin(), m_sites.cend(), [&](const SiteSummary &s) {
        return s.site.details.name == (m_keepSelected.isEmpty() ? m_work.siteName() : m_keepSelected);
    });
    if (kept != m_sites.cend() || fresh || (othersFirst && selectedId() == 0))
        select(kept != m_sites.cend() ? kept->site.details.name : QString());
    // Looked for until the others' first page has come.
    if (kept != m_sites.cend() || othersFirst)
        m_keepSelected.clear();
    if (othersFirst)
        m_reload = 0;
    m_filling = false;
    // A list shorter than the window asks for the rest itself.
    pageIfAtEnd();
}

void TFormSites::addRow(const SiteSummary &s, bool visit)
{
    m_sites << s;
    // A visit's exchange is its last with the module, the others' their last of any kind.
    const QString last =
        s.last ? shortTime(s.last->time) + QLatin1Char(' ') + operationWord(s.last->operation) : QString();
    using ShownText::shown;
    auto *item = new QTreeWidgetItem(lvSites, {shown(s.site.details.name), shown(s.site.details.address), last,
                                               s.last ? shown(s.last->outcome) : QString()});
    if (visit) {
        const QString why = QStringLiteral("Needs a visit: %1 %2, %3")
                                .arg(operationName(s.last->operation), shortTime(s.last->time), shown(s.last->outcome));
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

void TFormSites::pageIfAtEnd()
{
    if (!m_more || m_pageAsked || m_filling)
        return;
    // The row at the list's foot, with the rows just added laid out; none
    // there: the rows end above it.
    const QModelIndex foot = lvSites->indexAt(QPoint(1, lvSites->viewport()->height() - 1));
    if (!foot.isValid() || foot.row() >= m_sites.size() - PageSize / 4)
        askPage();
}

void TFormSites::readExchanges()
{
    History->Refresh();
    const qint64 id = selectedId();
    if (id != m_exchangesOf)
        lbExchanges->hide();
    if (id == 0 || id == m_exchangesOf)
        return;
    // One more than is shown tells whether older ones are left out.
    m_reader.exchanges(
        id, ExchangesShown + 1,
        [this, id](QList<BookReader::ExchangeRow> rows) {
            const bool more = rows.size() > ExchangesShown;
            if (more)
                rows.removeLast();
            m_exchanges = rows;
            m_exchangesOf = id;
            if (selectedId() != id)
                return;
            lbExchanges->setText(
                more ? QStringLiteral("The newest %1 exchanges of this site are listed.").arg(QLocale().toString(ExchangesShown))
                     : QString());
            lbExchanges->setVisible(more);
            History->Refresh();
        },
        [this](const QString &why, bool opening) { saySearching(why, opening); });
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
    // Once the list has its new size; a taller list may show its end.
    QMetaObject::invokeMethod(this, &TFormSites::fitSiteColumns, Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, &TFormSites::pageIfAtEnd, Qt::QueuedConnection);
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
    readExchanges();
}

std::optional<Site> TFormSites::selectedSite()
{
    const qint64 id = selectedId();
    SiteBook *held = id ? book() : nullptr;
    if (!held)
        return std::nullopt;
    try {
        // By id: a colleague may have renamed it since the list was read.
        return held->findSiteById(id);
    } catch (const SiteBookError &error) {
        ErrorBox(sentence(error.message()));
        return std::nullopt;
    }
}

void TFormSites::openDialog(const std::optional<Site> &site)
{
    SiteBook *held = book();
    if (!held)
        return;
    TFormSite dialog(*held, site, this);
    if (!RunDialog(dialog) || !dialog.saved())
        return;
    // The site in work follows its new name.
    if (site && site->id == m_work.siteId())
        m_work.workOn(dialog.saved());
    m_keepSelected = dialog.saved()->details.name;
    Refresh();
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

void showSitesWindow(TFormSites *&window, SiteWork &work, QWidget *parent)
{
    if (!window) {
        window = new TFormSites(work.url(), work, parent);
        // Clear of the window it was opened from, so that one stays in sight.
        centreOnScreen(window);
        if (parent && parent->isVisible())
            placeBeside(window, parent);
    }
    window->Refresh();
    window->show();
    bringForward(window);
}
