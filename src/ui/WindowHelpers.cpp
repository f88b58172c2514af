#include "WindowHelpers.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <limits>

void showErrorBox(const QString &message)
{
    // A timer keeps ticking under the modal box; one box at a time is enough.
    static bool showing = false;
    if (showing)
        return;
    showing = true;
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), message);
    showing = false;
}

void showException(const std::exception &error)
{
    // The core's errors (QuelmarError) keep their message in what() as UTF-8.
    showErrorBox(QString::fromUtf8(error.what()));
}

bool askYesNo(QWidget *parent, const QString &question)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), question,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void bringForward(QWidget *window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

int roomOnScreen(const QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().width() - (window->frameGeometry().width() - window->width())
                  : std::numeric_limits<int>::max();
}

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect place(QPoint(), window->size());
    place.moveCenter(screen->availableGeometry().center());
    window->move(place.topLeft());
}

void placeBeside(QWidget *window, const QWidget *anchor)
{
    const QScreen *screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    const QRect anchorFrame = anchor->frameGeometry();
    // A window not shown yet has no frame: it will get one like the anchor's.
    const QSize frame = window->isVisible() ? window->frameGeometry().size() - window->size()
                                            : anchorFrame.size() - anchor->size();
    QSize size = window->size() + frame;
    // Too tall for the screen: as tall as it allows, its minimum permitting.
    if (size.height() > free.height()
        && free.height() - frame.height() >= window->minimumSizeHint().height()) {
        size.setHeight(free.height());
        window->resize(window->width(), free.height() - frame.height());
    }
    const int top = std::clamp(anchorFrame.top(), free.top(), std::max(free.top(), free.bottom() + 1 - size.height()));
    const int rightRoom = free.right() - anchorFrame.right() - 8;
    const int leftRoom = anchorFrame.left() - free.left() - 8;
    if (size.width() > std::max(rightRoom, leftRoom)) {
        const int narrower = std::max(rightRoom, leftRoom) - frame.width();
        if (narrower < std::max(window->minimumWidth(), window->minimumSizeHint().width()))
            return;
        window->resize(narrower, window->height());
        size.setWidth(narrower + frame.width());
    }
    const QRect right(QPoint(anchorFrame.right() + 1 + 8, top), size);
    const QRect left(QPoint(anchorFrame.left() - 8 - size.width(), top), size);
    for (const QRect &place : {right, left})
        if (free.contains(place)) {
            window->move(place.topLeft());
            return;
        }
}

void keyboardWindow(QWidget *window, bool escapeCloses)
{
    // Outside a dialog a button takes Return only when it is an auto-default one.
    for (QPushButton *button : window->findChildren<QPushButton *>())
        button->setAutoDefault(true);
    if (escapeCloses) {
        auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
        QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
    }
}

void fitColumns(QHeaderView *header, int room, int minimum)
{
    // A stretched last column takes what the others leave, but never less
    // than the header's default width.
    const int sized = header->stretchLastSection() ? header->count() - 1 : header->count();
    if (sized < header->count())
        room -= std::max(minimum, header->defaultSectionSize());
    QList<int> widths;
    int total = 0;
    for (int c = 0; c < sized; ++c) {
        widths << header->sectionSize(c);
        total += widths.constLast();
    }
    if (total <= room || widths.isEmpty())
        return;
    // The widest width every column may keep so that they all fit: narrow
    // columns stay whole, wide ones give way evenly.
    QList<int> sorted = widths;
    std::sort(sorted.begin(), sorted.end());
    int cap = minimum;
    int narrowSum = 0;
    for (qsizetype k = 0; k < sorted.size(); ++k) {
        const int wider = int(sorted.size() - k);
        const int share = (room - narrowSum) / wider;
        if (share <= sorted.at(k)) {
            cap = std::max(minimum, share);
            break;
        }
        narrowSum += sorted.at(k);
    }
    for (int c = 0; c < sized; ++c)
        if (widths.at(c) > cap)
            header->resizeSection(c, cap);
}

QString askFileName(QWidget *parent, FileDialogMode mode, const QString &filter, const QString &suffix)
{
    const bool save = mode != FileDialogMode::Open;
    QFileDialog dialog(parent, QString(), QString(), filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, mode == FileDialogMode::Append);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString askParameterFile(QWidget *parent, FileDialogMode mode)
{
    return askFileName(parent, mode, QStringLiteral("Quelmar 3 GPRS Data (*.QM3)"), QStringLiteral("QM3"));
}
