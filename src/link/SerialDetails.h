#pragma once
// The traffic details window: the module's four text channels, one memo each,
// assembled into lines. Reached only by a key combination on the main window.
// It also assembles the status window's state messages, which arrive whether
// or not any window is shown.

#include "MessageDispatcher.h"

#include <QWidget>
#include <array>
#include <functional>

class QPlainTextEdit;
class QPushButton;

class TFormDetails : public QWidget, public MemoSink
{
    Q_OBJECT

public:
    explicit TFormDetails(QWidget *parent = nullptr);

    // Texts for the details memos are dropped while this window is hidden,
    // unless force is set (the dispatcher sets it for MemoState only).
    void AppendToMemo(MemoId memo, const QString &text, bool force) override;

    // The status window's memo, which MemoState texts go to.
    void setStateMemo(QPlainTextEdit *memo) { m_stateMemo = memo; }

    bool LineEnded(MemoId memo) const { return m_lineEnded[index(memo)]; }

    QPlainTextEdit *Memo2;
    QPlainTextEdit *Memo3;
    QPlainTextEdit *Memo4;
    QPlainTextEdit *Memo5;
    QPlainTextEdit *MemoDTMF;
    QPushButton *btClear;
    QPushButton *Close;
    QPushButton *btSaveTraffic;

    // Asks for the file to save the memos to; empty: cancelled. Tests replace it.
    std::function<QString()> AskTrafficFile;
    // The four channel memos to path; false (after an error box) on failure.
    bool saveTraffic(const QString &path);

public slots:
    void btClearClick();
    void CloseClick();
    void btSaveTrafficClick();

private:
    static std::size_t index(MemoId memo) { return static_cast<std::size_t>(memo); }
    QPlainTextEdit *memoFor(MemoId memo) const;

    QPlainTextEdit *m_stateMemo = nullptr;
    // One mark per memo: its last line is finished. Clearing keeps them.
    std::array<bool, 5> m_lineEnded{};
};

extern TFormDetails *FormDetails;
