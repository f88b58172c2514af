#pragma once
// The history window: the parameter sets kept from reads, writes and
// backups, newest first. An entry can become the image, be compared with it
// or be copied under a name of the user's choice.

#include "History.h"

#include <QWidget>
#include <functional>

class QPushButton;
class QTreeWidget;
class TFormDifferences;

class TFormHistory : public QWidget
{
    Q_OBJECT

public:
    explicit TFormHistory(QWidget *parent = nullptr);

    // Lists the folder again.
    void Refresh();
    // The entries as listed, in the rows' order.
    const QList<History::Entry> &entries() const { return m_entries; }

    QTreeWidget *lvHistory;
    QPushButton *btLoad;
    QPushButton *btCompareImage;
    QPushButton *btSaveAs;
    // The differences of an entry and the image, columns headed by the entry's name and "Image".
    TFormDifferences *FormDifferences;

    // Called after an entry became the image: the transfer window fills its bar.
    std::function<void()> Loaded;
    // The copy's save dialog; the chosen path, or empty when cancelled.
    std::function<QString()> SaveDialog;
    std::function<void(const QString &)> ErrorBox;

public slots:
    void btLoadClick();
    void btCompareImageClick();
    void btSaveAsClick();

private:
    // The selected entry's image; false (and the error shown) when it cannot be read.
    bool selectedImage(ImageBytes &image, QString &name);

    QList<History::Entry> m_entries;
};
