#include "HistoryWindow.h"

#include "ImageState.h"

#include "Differences.h"
#include "FieldModel.h"
#include "ParameterFile.h"
#include "TransferTexts.h"

#include "common/ShownText.h"
#include "ui/WindowHelpers.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

QList<HistoryItem> historyFolderItems()
{
    QList<HistoryItem> items;
    for (const History::Entry &e : History::Store().entries()) {
        ImageBytes image;
        const bool readable = ParameterFile::load(e.path, image).ok;
        const QString path = e.path;
        items << HistoryItem{e.when,      operationName(e.operation), e.port,
                             readable ? History::summaryOf(image) : QString(), e.outcome, e.name,
                             [path](ImageBytes &into) { return ParameterFile::load(path, into); }};
    }
    return items;
}

TFormHistory::TFormHistory(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setObjectName(QStringLiteral("FormHistory"));
    setWindowTitle(QStringLiteral("Quelmar5 - History"));
    resize(620, 360);

    lvHistory = new QTreeWidget(this);
    lvHistory->setObjectName(QStringLiteral("lvHistory"));
    lvHistory->setAccessibleName(QStringLiteral("Parameter sets kept"));
    lvHistory->setRootIsDecorated(false);
    lvHistory->setHeaderLabels({QStringLiteral("Date and time"), QStringLiteral("Operation"), QStringLiteral("Port"),
                                QStringLiteral("Summary"), QStringLiteral("Outcome")});
    btLoad = button(this, "btLoad", QStringLiteral("&Load"));
    btCompareImage = button(this, "btCompareImage", QStringLiteral("Compare with &image"));
    btSaveAs = button(this, "btSaveAs", QStringLiteral("&Save as..."));
    btClose = button(this, "btClose", QStringLiteral("&Close"));
    // Part of another window, that window closes it.
    btClose->setVisible(flags & Qt::Window);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btLoad);
    buttons->addWidget(btCompareImage);
    buttons->addWidget(btSaveAs);
    buttons->addStretch();
    buttons->addWidget(btClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvHistory);
    layout->addLayout(buttons);

    connect(btLoad, &QPushButton::clicked, this, &TFormHistory::btLoadClick);
    connect(btCompareImage, &QPushButton::clicked, this, &TFormHistory::btCompareImageClick);
    connect(btSaveAs, &QPushButton::clicked, this, &TFormHistory::btSaveAsClick);
    connect(btClose, &QPushButton::clicked, this, &QWidget::close);

    FormDifferences = new TFormDifferences(this);
    SaveDialog = [this] { return askParameterFile(this, FileDialogMode::Save); };
    ErrorBox = [](const QString &text) { showErrorBox(text); };
    if (flags & Qt::Window)
        keyboardWindow(this, true);
}

void TFormHistory::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Once the list has its new size.
    QMetaObject::invokeMethod(this, &TFormHistory::fitHistoryColumns, Qt::QueuedConnection);
}

void TFormHistory::fitHistoryColumns()
{
    for (int c = 0; c < lvHistory->columnCount(); ++c)
        lvHistory->resizeColumnToContents(c);
    fitColumns(lvHistory->header(), lvHistory->viewport()->width());
}

void TFormHistory::Refresh()
{
    m_items = Items();
    lvHistory->clear();
    for (const HistoryItem &e : std::as_const(m_items)) {
        // Outcomes, names and values came from files or the book: shown escaped.
        using ShownText::shown;
        auto *item = new QTreeWidgetItem(lvHistory,
                                         {QLocale().toString(e.when, QLocale::ShortFormat), e.operation, shown(e.port),
                                          shown(e.summary), shown(e.outcome)});
        item->setToolTip(0, shown(e.name));
        item->setToolTip(4, shown(e.outcome));
    }
    int columns = 0;
    for (int c = 0; c < lvHistory->columnCount(); ++c) {
        lvHistory->resizeColumnToContents(c);
        columns += lvHistory->columnWidth(c);
    }
    // A window of its own opens wide enough for the outcomes, within the screen.
    if (isWindow()) {
        const QMargins margins = layout()->contentsMargins();
        const int wanted = columns + margins.left() + margins.right() + 2 * lvHistory->frameWidth()
                           + lvHistory->verticalScrollBar()->sizeHint().width();
        if (std::min(wanted, roomOnScreen(this)) > width())
            resize(std::min(wanted, roomOnScreen(this)), height());
    }
    fitHistoryColumns();
    if (!m_items.isEmpty())
        lvHistory->setCurrentItem(lvHistory->topLevelItem(0));
}

bool TFormHistory::selectedImage(ImageBytes &image, QString &name)
{
    const int row = lvHistory->indexOfTopLevelItem(lvHistory->currentItem());
    if (row < 0 || row >= m_items.size())
        return false;
    const ParameterFile::Result loaded = m_items.at(row).load(image);
    if (!loaded.ok) {
        ErrorBox(loaded.message);
        return false;
    }
    name = m_items.at(row).name;
    return true;
}

void TFormHistory::btLoadClick()
{
    ImageBytes image;
    QString name;
    if (!selectedImage(image, name))
        return;
    if (workingImage().state().hasUnkeptChanges()
        && !askYesNo(this, QString::fromLatin1(UnkeptChangesReplaceQuestion)))
        return;
    // As "Read from File": the image only; TransferBuffer keeps the last exchange.
    if (EntriesFromSiteBook)
        workingImage().loadFromSite(image, name);
    else
        workingImage().loadFromFile(image, name);
    if (Loaded)
        Loaded();
}

void TFormHistory::btCompareImageClick()
{
    ImageBytes image;
    QString name;
    if (!selectedImage(image, name))
        return;
    const FieldModel::ImageDifferences d = FieldModel::DiffImages(image, ParameterImage);
    FormDifferences->showDifferences(differenceRows(d, image, ParameterImage), name, QStringLiteral("Image"));
    FormDifferences->show();
    bringForward(FormDifferences);
}

void TFormHistory::btSaveAsClick()
{
    ImageBytes image;
    QString name;
    if (!selectedImage(image, name))
        return;
    const QString path = SaveDialog();
    if (path.isEmpty())
        return;
    const ParameterFile::Result saved = ParameterFile::save(path, image);
    if (!saved.ok)
        ErrorBox(saved.message);
}
