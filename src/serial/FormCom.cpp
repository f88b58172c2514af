#include "FormCom.h"

#include "SorosKeres.h"
#include "ui/WindowHelpers.h"

#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

#include <algorithm>

using namespace SorosKeres;

namespace {

constexpr int ClientWidth = 373;
constexpr int ClientHeight = 257;
constexpr int RowHeight = 20;
constexpr int ColumnWidth = 364;

const QColor PresentText(0, 0, 0);
const QColor PresentTextHighlighted(255, 255, 255);
const QColor AbsentText(128, 32, 32);
const QColor AbsentTextHighlighted(255, 192, 96);
const QColor HighlightBackground(0, 0, 128);

// Rows are drawn by the window: colour by presence, " - " and the display
// name 5 pixels in, vertically centred on the height of a "W".
class PortRowDelegate : public QStyledItemDelegate
{
public:
    PortRowDelegate(const QFont &font, const QColor &face, QObject *parent)
        : QStyledItemDelegate(parent), m_font(font), m_face(face)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QString entry = index.data(TFormComPort::EntryRole).toString();
        if (entry.isEmpty())
            return;
        const bool highlighted = option.state & QStyle::State_Selected;
        const bool present = entry.startsWith(u'+');
        painter->save();
        painter->fillRect(option.rect, highlighted ? HighlightBackground : m_face);
        painter->setFont(m_font);
        if (present)
            painter->setPen(highlighted ? PresentTextHighlighted : PresentText);
        else
            painter->setPen(highlighted ? AbsentTextHighlighted : AbsentText);
        const QFontMetrics metrics(m_font);
        const int top = (option.rect.height() - metrics.height()) / 2;
        const QRect textRect(option.rect.left() + 5, option.rect.top() + top, option.rect.width() - 5,
                             metrics.height());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          QStringLiteral(" - ") + DisplayNameOf(entry));
        painter->restore();
    }

private:
    QFont m_font;
    QColor m_face;
};

} // namespace

// One entry per row. Rows are added or dropped at the end and changed in
// place, so the highlighted row keeps its index across refreshes.
class PortGridModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size())
            return {};
        const QString &entry = m_rows[index.row()];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return DisplayNameOf(entry);
        case Qt::AccessibleDescriptionRole:
        case Qt::ToolTipRole:
            return DetailOf(entry);
        case TFormComPort::EntryRole:
            return entry;
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    const QString &Row(int row) const { return m_rows[row]; }

    void setRows(const QStringList &rows)
    {
        const int before = int(m_rows.size());
        const int after = int(rows.size());
        if (after < before) {
            beginRemoveRows({}, after, before - 1);
            m_rows.resize(after);
            endRemoveRows();
        }
        const int common = std::min(before, after);
        for (int i = 0; i < common; ++i)
            m_rows[i] = rows[i];
        if (common > 0)
            emit dataChanged(index(0), index(common - 1));
        if (after > before) {
            beginInsertRows({}, before, after - 1);
            m_rows = rows;
            endInsertRows();
        }
    }

private:
    QStringList m_rows;
};

TFormComPort::TFormComPort(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormComPort"));
    setWindowTitle(QStringLiteral("Soros portok"));
    setFixedSize(ClientWidth, ClientHeight);
    buildControls();
    FormCreate();
}

void TFormComPort::buildControls()
{
    Label1 = new QLabel(QStringLiteral("Válassza ki a használni kívánt soros portot!"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont labelFont = font();
    labelFont.setPixelSize(16);
    Label1->setFont(labelFont);
    Label1->setGeometry(8, 6, ClientWidth - 16, 24);

    const QColor face = palette().color(QPalette::Window);
    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(2, 34, 369, 171);
    m_model = new PortGridModel(StringGrid1);
    StringGrid1->setModel(m_model);
    StringGrid1->setItemDelegate(new PortRowDelegate(font(), face, StringGrid1));
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setMinimumSectionSize(RowHeight);
    StringGrid1->verticalHeader()->setDefaultSectionSize(RowHeight);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->setColumnWidth(0, ColumnWidth);
    StringGrid1->setShowGrid(true);
    StringGrid1->setWordWrap(false);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setTabKeyNavigation(false);
    QPalette gridPalette = StringGrid1->palette();
    gridPalette.setColor(QPalette::Base, face);
    StringGrid1->setPalette(gridPalette);
    Label1->setBuddy(StringGrid1);
    StringGrid1->setAccessibleName(Label1->text());
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected) {
                if (!m_settingRow && !selected.indexes().isEmpty())
                    StringGrid1SelectCell(selected.indexes().first().row());
            });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    jporthozzadsa1 = PopupMenu1->addAction(QStringLiteral("Port hozzáadása"));
    jporthozzadsa1->setObjectName(QStringLiteral("jporthozzadsa1"));
    connect(jporthozzadsa1, &QAction::triggered, this, &TFormComPort::jporthozzadsa1Click);
    StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(StringGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(StringGrid1->viewport()->mapToGlobal(pos)); });

    QFont panelFont = font();
    panelFont.setBold(true);
    const auto makePanel = [&](const char *name, int top, const QString &meaning) {
        auto *panel = new QLabel(this);
        panel->setObjectName(QString::fromLatin1(name));
        panel->setAccessibleDescription(meaning);
        panel->setFont(panelFont);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(Qt::AlignCenter);
        panel->setGeometry(2, top, 241, 19);
        return panel;
    };
    Panel1 = makePanel("Panel1", 211, QStringLiteral("Chosen port"));
    Panel2 = makePanel("Panel2", 234, QStringLiteral("Port details"));

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(ClientWidth - 81 - 8, 216, 81, 34);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TFormComPort::Button1Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFormComPort::Timer1Timer);
}

void TFormComPort::FormCreate()
{
    m_marked.clear();
    m_user.clear();
    m_chosenNumber = 0;
    m_chosenName.clear();
    m_chosenDisplayName.clear();
    m_addPrompt = QStringLiteral("Adja meg a kívánt soros port sorszámát!");
    Timer1->start();
}

bool TFormComPort::event(QEvent *e)
{
    // Activation runs when the window opens and when it takes over from
    // another window of the program, such as the add-port box; coming back
    // from another application keeps the user's highlight.
    if (e->type() == QEvent::WindowDeactivate)
        m_activateOnReturn = QApplication::activeWindow() != nullptr;
    else if (e->type() == QEvent::WindowActivate && m_activateOnReturn)
        FormActivate();
    return QDialog::event(e);
}

void TFormComPort::showEvent(QShowEvent *e)
{
    if (!m_centred) {
        m_centred = true;
        centreOnScreen(this);
    }
    QDialog::showEvent(e);
}

void TFormComPort::FormActivate()
{
    RebuildDeviceList();
    Timer1Timer();
    Timer1->start();
    GridBeallit(m_defaultName);
    UpdatePanelHints();
}

void TFormComPort::FormClose()
{
    Timer1->stop();
}

void TFormComPort::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TFormComPort::Timer1Timer()
{
    if (!isVisible())
        return;
    ListSerialPorts(m_marked);
    StringgridInit();
}

void TFormComPort::StringgridInit()
{
    QStringList rows = m_user + m_marked;
    if (rows.isEmpty())
        rows.append(QString());
    m_model->setRows(rows);
}

QString TFormComPort::entryAt(int row) const
{
    return row >= 0 && row < m_model->rowCount() ? m_model->Row(row) : QString();
}

int TFormComPort::centredTopRow(int row, int rowCount, int visibleRows)
{
    int top = row - visibleRows / 2;
    top = std::min(top, rowCount - visibleRows);
    return std::max(top, 0);
}

void TFormComPort::GridBeallit(const QString &displayName)
{
    int found = -1;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (DisplayNameOf(m_model->Row(row)) == displayName) {
            found = row;
            break;
        }
    }
    QItemSelectionModel *selection = StringGrid1->selectionModel();
    m_settingRow = true;
    if (found < 0) {
        selection->clearSelection();
        selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        m_settingRow = false;
        Panel1->clear();
        Panel2->clear();
        return;
    }
    selection->setCurrentIndex(m_model->index(found), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_settingRow = false;
    StringGrid1SelectCell(found);
    const int visible = StringGrid1->height() / RowHeight;
    StringGrid1->verticalScrollBar()->setValue(centredTopRow(found, m_model->rowCount(), visible));
}

void TFormComPort::StringGrid1SelectCell(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QString entry = m_model->Row(row);
    Panel1->setText(DisplayNameOf(entry));
    Panel2->setText(DetailOf(entry));
    UpdatePanelHints();
    Kivalaszt(row);
}

void TFormComPort::Kivalaszt(int row)
{
    const QString entry = entryAt(row);
    m_chosenNumber = PortNumberOf(entry).value_or(0);
    if (m_chosenNumber <= 0)
        return;
    m_chosenName = QStringLiteral("COM%1").arg(m_chosenNumber);
    m_chosenDisplayName = SorosKeres::chosenDisplayName(entry);
}

void TFormComPort::UpdatePanelHints()
{
    for (QLabel *panel : {Panel1, Panel2}) {
        const bool clipped = panel->fontMetrics().horizontalAdvance(panel->text()) > panel->width();
        panel->setToolTip(clipped ? panel->text() : QString());
    }
}

void TFormComPort::Button1Click()
{
    Timer1->stop();
    done(m_chosenNumber > 0 ? QDialog::Accepted : QDialog::Rejected);
}

void TFormComPort::jporthozzadsa1Click()
{
    const QString answer = QInputDialog::getText(this, windowTitle(), m_addPrompt);
    addPort(answer);
}

void TFormComPort::addPort(const QString &answer)
{
    if (answer.isEmpty())
        return;
    const int number = readLeadingInteger(answer);
    if (number < FirstUserPort || number > LastUserPort)
        return;
    const QString entry = userPortEntry(number);
    m_user.append(entry);
    StringgridInit();
    // The new port stays highlighted, also when the window is activated
    // again as the input box closes.
    m_defaultName = DisplayNameOf(entry);
    GridBeallit(m_defaultName);
}
