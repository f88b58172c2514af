#pragma once
// Answers the save dialog that is about to open modally: names a file as
// typed, without a suffix of its own, and presses Save.

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

inline void answerSaveDialog(QObject *context, const QString &typedPath)
{
    QTimer::singleShot(0, context, [typedPath] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return; // the caller sees no file
        dialog->selectFile(typedPath);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
    });
}
