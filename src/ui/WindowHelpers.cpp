#include "WindowHelpers.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

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
    const QRect anchorFrame = anchor->frameGeometry();
    const QSize size = window->frameGeometry().size();
    const QRect right(anchorFrame.topRight() + QPoint(8, 0), size);
    const QRect left(anchorFrame.topLeft() - QPoint(8 + size.width(), 0), size);
    for (const QRect &place : {right, left})
        if (screen->availableGeometry().contains(place)) {
            window->move(place.topLeft());
            return;
        }
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
