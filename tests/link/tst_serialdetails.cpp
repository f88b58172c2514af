// The traffic details window: line assembly of the module's text fragments,
// the hidden-window rule, "Clear All" and closing.

#include "link/MemoLines.h"
#include "link/SerialDetails.h"

#include "common/SaveDialogAnswer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QMessageBox>
#include <QTimer>

#include <memory>

namespace {

QStringList linesOf(const QPlainTextEdit *memo)
{
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace

class TestSerialDetails : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }
    void init();
    void cleanup();

    void assemblyKeepsFragmentsApart_data();
    void assemblyKeepsFragmentsApart();
    void visibleMemoLines_data();
    void visibleMemoLines();
    void marksArePerMemo();
    void hiddenWindowDropsAllButForced();
    void clearAllStartsFirstLine_data();
    void clearAllStartsFirstLine();
    void clearAllEmptiesEveryMemo();
    void closeOnlyHides();
    void savedTrafficFile();
    void trafficFileNamedWithoutSuffixGetsTxt();

private:
    std::unique_ptr<TFormDetails> m_form;
    std::unique_ptr<QPlainTextEdit> m_stateMemo;
};

void TestSerialDetails::init()
{
    m_form = std::make_unique<TFormDetails>();
    m_stateMemo = std::make_unique<QPlainTextEdit>();
    m_form->setStateMemo(m_stateMemo.get());
}

void TestSerialDetails::cleanup()
{
    m_form.reset();
    m_stateMemo.reset();
}

// What one fragment adds to the memo's last line and after it.
void TestSerialDetails::assemblyKeepsFragmentsApart_data()
{
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toLastLine");
    QTest::addColumn<QStringList>("newLines");
    QTest::addColumn<bool>("endedAfter");

    QTest::newRow("continues the line") << false << "AB" << "AB" << QStringList() << false;
    QTest::newRow("starts a line after CR") << true << "AB" << "" << QStringList{"AB"} << false;
    QTest::newRow("closes then starts") << false << "X\rY" << "X" << QStringList{"Y"} << false;
    QTest::newRow("CR closes only") << false << "\r" << "" << QStringList() << true;
    QTest::newRow("CR after a closed line") << true << "\r" << "" << QStringList{" "} << true;
    QTest::newRow("LF is dropped") << false << "A\nB" << "AB" << QStringList() << false;
    QTest::newRow("LF keeps the mark") << true << "\n" << "" << QStringList() << true;
    QTest::newRow("CR LF CR LF") << false << "A\r\n\r\nB" << "A" << QStringList{" ", "B"} << false;
}

void TestSerialDetails::assemblyKeepsFragmentsApart()
{
    QFETCH(bool, ended);
    QFETCH(QString, text);
    bool mark = ended;
    const MemoAppend out = assembleMemoText(mark, text);
    QTEST(out.toLastLine, "toLastLine");
    QTEST(out.newLines, "newLines");
    QTEST(mark, "endedAfter");
}

void TestSerialDetails::visibleMemoLines_data()
{
    QTest::addColumn<QStringList>("fragments");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("fragments make one line") << QStringList{"AB", "C", "\r\n", "D"} << QStringList{"ABC", "D"};
    QTest::newRow("CR CR X") << QStringList{"old", "\r\rX"} << QStringList{"old", " ", "X"};
    QTest::newRow("CR CR X in an empty memo") << QStringList{"\r\rX"} << QStringList{" ", "X"};
    QTest::newRow("LF alone") << QStringList{"\n"} << QStringList();
    QTest::newRow("LF alone after text") << QStringList{"AB", "\n", "C"} << QStringList{"ABC"};
    QTest::newRow("blank lines stay") << QStringList{"A\r", "\r", "\r", "B\r"} << QStringList{"A", " ", " ", "B"};
    QTest::newRow("8-bit characters") << QStringList{QStringLiteral("Hívás"), "\r"} << QStringList{QStringLiteral("Hívás")};
}

void TestSerialDetails::visibleMemoLines()
{
    QFETCH(QStringList, fragments);
    m_form->show();
    for (const QString &f : fragments)
        m_form->AppendToMemo(MemoId::Memo3, f, false);
    QTEST(linesOf(m_form->Memo3), "lines");
}

void TestSerialDetails::marksArePerMemo()
{
    m_form->show();
    m_form->AppendToMemo(MemoId::Memo3, "AB\r", false);
    m_form->AppendToMemo(MemoId::Memo5, "12", false);
    m_form->AppendToMemo(MemoId::Memo3, "C", false);
    m_form->AppendToMemo(MemoId::Memo5, "34", false);
    QCOMPARE(linesOf(m_form->Memo3), (QStringList{"AB", "C"}));
    QCOMPARE(linesOf(m_form->Memo5), QStringList{"1234"});
    QCOMPARE(linesOf(m_form->Memo4), QStringList());
    QCOMPARE(linesOf(m_form->MemoDTMF), QStringList());
}

void TestSerialDetails::hiddenWindowDropsAllButForced()
{
    QVERIFY(!m_form->isVisible());
    m_form->AppendToMemo(MemoId::Memo4, "lost\r", false);
    m_form->AppendToMemo(MemoId::MemoState, "kept", true);
    QCOMPARE(linesOf(m_form->Memo4), QStringList());
    QVERIFY(!m_form->LineEnded(MemoId::Memo4)); // a dropped text leaves no trace
    QCOMPARE(linesOf(m_stateMemo.get()), QStringList{"kept"});

    // What the memos showed before hiding stays; texts while hidden do not arrive.
    m_form->show();
    m_form->AppendToMemo(MemoId::Memo4, "seen", false);
    m_form->hide();
    m_form->AppendToMemo(MemoId::Memo4, " not", false);
    m_form->AppendToMemo(MemoId::MemoState, "\rtoo", true);
    m_form->show();
    QCOMPARE(linesOf(m_form->Memo4), QStringList{"seen"});
    QCOMPARE(linesOf(m_stateMemo.get()), (QStringList{"kept", "too"}));
}

void TestSerialDetails::clearAllStartsFirstLine_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("line open") << "AB";
    QTest::newRow("line ended") << "AB\r";
}

void TestSerialDetails::clearAllStartsFirstLine()
{
    QFETCH(QString, before);
    m_form->show();
    m_form->AppendToMemo(MemoId::MemoDTMF, before, false);
    const bool mark = m_form->LineEnded(MemoId::MemoDTMF);
    QTest::mouseClick(m_form->btClear, Qt::LeftButton);
    QVERIFY(m_form->MemoDTMF->toPlainText().isEmpty());
    QCOMPARE(m_form->LineEnded(MemoId::MemoDTMF), mark);
    m_form->AppendToMemo(MemoId::MemoDTMF, "X", false);
    QCOMPARE(linesOf(m_form->MemoDTMF), QStringList{"X"});
}

void TestSerialDetails::clearAllEmptiesEveryMemo()
{
    m_form->show();
    m_form->Memo2->setPlainText("spare");
    for (MemoId memo : {MemoId::Memo3, MemoId::Memo4, MemoId::Memo5, MemoId::MemoDTMF, MemoId::MemoState})
        m_form->AppendToMemo(memo, "text", memo == MemoId::MemoState);
    QTest::mouseClick(m_form->btClear, Qt::LeftButton);
    for (const QPlainTextEdit *memo : {m_form->Memo2, m_form->Memo3, m_form->Memo4, m_form->Memo5, m_form->MemoDTMF})
        QVERIFY2(memo->toPlainText().isEmpty(), qPrintable(memo->objectName()));
    // The status window's memo has its own clear button.
    QCOMPARE(linesOf(m_stateMemo.get()), QStringList{"text"});
}

void TestSerialDetails::closeOnlyHides()
{
    m_form->show();
    m_form->AppendToMemo(MemoId::Memo5, "still here", false);
    QTest::mouseClick(m_form->Close, Qt::LeftButton);
    QVERIFY(!m_form->isVisible());
    m_form->show();
    QVERIFY(m_form->close());
    QVERIFY(!m_form->isVisible());
    QCOMPARE(linesOf(m_form->Memo5), QStringList{"still here"});
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Serial Port Details"));
    QCOMPARE(m_form->btClear->text(), QStringLiteral("Clear All"));
    QCOMPARE(m_form->Close->text(), QStringLiteral("Close"));
}

void TestSerialDetails::savedTrafficFile()
{
    m_form->show();
    m_form->AppendToMemo(MemoId::Memo3, QStringLiteral("GSM ready\rSMS sent\r"), false);
    m_form->AppendToMemo(MemoId::Memo5, QStringLiteral("Call 06301234567\r"), false);
    m_form->AppendToMemo(MemoId::MemoDTMF, QStringLiteral("1234#"), false);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.txt"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old contents that is longer than the new file will be, and more, and more, and more, and more\n"
              "and more, and more, and more, and more, and more, and more, and more, and more, and more\n");
    old.close();
    m_form->AskTrafficFile = [&path] { return path; };
    QTest::mouseClick(m_form->btSaveTraffic, Qt::LeftButton);

    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()),
             QStringLiteral("Channel 1 texts\n===============\nGSM ready\nSMS sent\n\n"
                            "Channel 2 texts\n===============\n\n"
                            "Channel 3 texts\n===============\nCall 06301234567\n\n"
                            "DTMF texts\n==========\n1234#\n"));
    // Nothing left beside it: written through a temporary file and renamed.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("traffic.txt")});

    // A folder that does not exist: an error box, no file.
    QTimer::singleShot(0, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
    });
    QVERIFY(!m_form->saveTraffic(dir.filePath(QStringLiteral("missing/traffic.txt"))));
}

QTEST_MAIN(TestSerialDetails)
void TestSerialDetails::trafficFileNamedWithoutSuffixGetsTxt()
{
    QTemporaryDir dir;
    m_form->show();
    answerSaveDialog(this, dir.filePath(QStringLiteral("site-visit")));
    QTest::mouseClick(m_form->btSaveTraffic, Qt::LeftButton);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("site-visit.txt")});
}

#include "tst_serialdetails.moc"
