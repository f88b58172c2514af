#pragma once
// The history window: the parameter sets kept from reads, writes and
// backups, newest first. An entry can become the image, be compared with it
// or be copied under a name of the user's choice. The same list serves a
// customer site's exchanges in the Sites window.

#include "History.h"
#include "ParameterFile.h"

#include <QWidget>
#include <functional>

class QPushButton;
class QTreeWidget;
class TFormDifferences;

// One listed parameter set: its columns and how its image is had.
struct HistoryItem
{
    QDateTime when;
    QString operation;
    QString port;
    QString summary;
    QString outcome;
    QString name; // tool tip, the loaded image's source and the differences' heading
    std::function<ParameterFile::Result(ImageBytes &)> load;
};

// The history folder's entries as listed items.
QList<HistoryItem> historyFolderItems();

class TFormHistory : public QWidget
{
    Q_OBJECT

public:
    // A window of its own, or (Qt::Widget) a part of another window.
    explicit TFormHistory(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::Window);

    // Lists the items again.
    void Refresh();
    // What is listed: the history folder unless set otherwise.
    std::function<QList<HistoryItem>()> Items = historyFolderItems;
    // The items as listed, in the rows' order.
    const QList<HistoryItem> &items() const { return m_items; }

    QTreeWidget *lvHistory;
    QPushButton *btLoad;
    QPushButton *btCompareImage;
    QPushButton *btSaveAs;
    QPushButton *btClose; // a window of its own only
    // The differences of an entry and the image, columns headed by the entry's name and "Image".
    TFormDifferences *FormDifferences;

    // Where a loaded entry's values come from: a history file, or (when the
    // Sites window lists a site's exchanges) the site book.
    bool EntriesFromSiteBook = false;
    // Called after an entry became the image: the transfer window fills its bar.
    std::function<void()> Loaded;
    // The copy's save dialog; the chosen path, or empty when cancelled.
    std::function<QString()> SaveDialog;
    std::function<void(const QString &)> ErrorBox;

public slots:
    void btLoadClick();
    void btCompareImageClick();
    void btSaveAsClick();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Every column in sight within the list's width; the widest elide.
    void fitHistoryColumns();
    // The selected entry's image; false (and the error shown) when it cannot be read.
    bool selectedImage(ImageBytes &image, QString &name);

    QList<HistoryItem> m_items;
};
