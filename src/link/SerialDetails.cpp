#include "SerialDetails.h"

#include "MemoLines.h"
#include "TrafficFile.h"

#include "ui/WindowHelpers.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

TFormDetails *FormDetails = nullptr;

namespace {

QPlainTextEdit *makeMemo(QWidget *parent, const QString &name, const QString &accessibleName, QSize size)
{
    auto *memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setAccessibleName(accessibleName);
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setMinimumSize(size / 3);
    memo->resize(size);
    return memo;
}

void appendLines(QPlainTextEdit *memo, const MemoAppend &lines)
{
    if (!lines.toLastLine.isEmpty()) {
        QTextCursor end(memo->document());
        end.movePosition(QTextCursor::End);
        end.insertText(lines.toLastLine);
    }
    // In an empty memo the first of these becomes its first line.
    for (const QString &line : lines.newLines)
        memo->appendPlainText(line);
}

} // namespace

TFormDetails::TFormDetails(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormDetails"));
    setWindowTitle(QStringLiteral("Serial Port Details"));

    Memo2 = makeMemo(this, QStringLiteral("Memo2"), QStringLiteral("Spare traffic view"), QSize(305, 513));
    QPalette menu = Memo2->palette();
    menu.setColor(QPalette::Base, menu.color(QPalette::Window));
    Memo2->setPalette(menu);
    Memo3 = makeMemo(this, QStringLiteral("Memo3"), QStringLiteral("Channel 1 texts"), QSize(305, 153));
    Memo4 = makeMemo(this, QStringLiteral("Memo4"), QStringLiteral("Channel 2 texts"), QSize(305, 145));
    MemoDTMF = makeMemo(this, QStringLiteral("MemoDTMF"), QStringLiteral("DTMF texts"), QSize(305, 201));
    Memo5 = makeMemo(this, QStringLiteral("Memo5"), QStringLiteral("Channel 3 texts"), QSize(265, 513));

    btClear = new QPushButton(QStringLiteral("Clear All"), this);
    btClear->setObjectName(QStringLiteral("btClear"));
    Close = new QPushButton(QStringLiteral("Close"), this);
    Close->setObjectName(QStringLiteral("Close"));

    // Columns and rows grow in the proportions of their starting sizes.
    auto *middle = new QVBoxLayout;
    middle->addWidget(Memo3, 153);
    middle->addWidget(Memo4, 145);
    middle->addWidget(MemoDTMF, 201);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->addWidget(Memo2, 0, 0);
    grid->addLayout(middle, 0, 1);
    grid->addWidget(Memo5, 0, 2);
    grid->setColumnStretch(0, 305);
    grid->setColumnStretch(1, 305);
    grid->setColumnStretch(2, 265);
    grid->setRowStretch(0, 1);
    auto *leftButtons = new QHBoxLayout;
    leftButtons->addWidget(btClear);
    btSaveTraffic = new QPushButton(QStringLiteral("Save to file"), this);
    btSaveTraffic->setObjectName(QStringLiteral("btSaveTraffic"));
    leftButtons->addWidget(btSaveTraffic);
    setTabOrder(btClear, btSaveTraffic);
    leftButtons->addStretch();
    grid->addLayout(leftButtons, 1, 0);
    grid->addWidget(Close, 1, 2, Qt::AlignRight);

    // The frame adds about 16 x 38 to this, for an outer 916 x 592.
    resize(900, 554);

    keyboardWindow(this, false);
    connect(btClear, &QPushButton::clicked, this, &TFormDetails::btClearClick);
    connect(Close, &QPushButton::clicked, this, &TFormDetails::CloseClick);
    connect(btSaveTraffic, &QPushButton::clicked, this, &TFormDetails::btSaveTrafficClick);
    AskTrafficFile = [this] {
        return askFileName(this, FileDialogMode::Save, QStringLiteral("Text files (*.txt);;All files (*)"),
                           QStringLiteral("txt"));
    };
}

bool TFormDetails::saveTraffic(const QString &path)
{
    QList<TrafficChannel> channels;
    for (QPlainTextEdit *memo : {Memo3, Memo4, Memo5, MemoDTMF})
        channels.append({memo->accessibleName(), memo->toPlainText()});
    QString error;
    if (saveTrafficFile(path, channels, &error))
        return true;
    QMessageBox::critical(this, windowTitle(), QStringLiteral("Cannot save the traffic to %1").arg(error));
    return false;
}

void TFormDetails::btSaveTrafficClick()
{
    const QString path = AskTrafficFile ? AskTrafficFile() : QString();
    if (!path.isEmpty())
        saveTraffic(path);
}

QPlainTextEdit *TFormDetails::memoFor(MemoId memo) const
{
    switch (memo) {
    case MemoId::Memo3: return Memo3;
    case MemoId::Memo4: return Memo4;
    case MemoId::Memo5: return Memo5;
    case MemoId::MemoDTMF: return MemoDTMF;
    case MemoId::MemoState: return m_stateMemo;
    }
    return nullptr;
}

void TFormDetails::AppendToMemo(MemoId memo, const QString &text, bool force)
{
    if (!force && !isVisible())
        return;
    QPlainTextEdit *target = memoFor(memo);
    if (!target)
        return;
    appendLines(target, assembleMemoText(m_lineEnded[index(memo)], text));
}

void TFormDetails::btClearClick()
{
    for (QPlainTextEdit *memo : {Memo2, Memo3, Memo4, Memo5, MemoDTMF})
        memo->clear();
}

void TFormDetails::CloseClick()
{
    close();
}
