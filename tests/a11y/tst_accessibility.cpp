// Every window walked the way a keyboard or a screen reader walks it: each
// control that takes focus, and each label or value display, has an
// accessible name; Tab visits the controls in layout order and reaches all
// of them; Space, Enter and Escape do what the buttons do.

#include "main/ShellFixture.h"

#include "common/BoxAnswerer.h"

#include "editor/Settings.h"
#include "link/SerialDetails.h"
#include "params/Differences.h"
#include "params/Download.h"
#include "params/HistoryWindow.h"
#include "params/ParameterImage.h"
#include "serial/FormCom.h"
#include "serial/SorosDialog.h"
#include "sites/SiteBook.h"
#include "sites/SitesWindow.h"
#include "status/FormSignal.h"
#include "status/SignalChart.h"
#include "status/State.h"

#include "ui/WindowHelpers.h"

#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// What one row of the tables walks: the widgets under `root` (a window, or
// one page of the editor) plus `extra` widgets of the same window.
struct Scope
{
    QWidget *window = nullptr;
    QWidget *root = nullptr;
    QList<QWidget *> extra;
    // The window reads column by column (see followsLayout).
    bool columns = false;
    // Labels and bars that show a value which changes while the window is
    // open; their text alone does not say what the value is.
    QList<QWidget *> values;
};

// Vertical centres closer than this are on the same row. Controls of one
// row differ in height (a check box beside a spin box), so their tops and
// bottoms may differ by more; their centres stay within a few pixels.
constexpr int RowTolerance = 6;

Scope pageOnly(QWidget *page)
{
    Scope s;
    s.window = page->window();
    s.root = page;
    return s;
}

QRect rectIn(const QWidget *w, const QWidget *window)
{
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

// "Follows the layout", in window coordinates: the next control is on a
// later row (its vertical centre lies more than RowTolerance lower), or on
// the same row (centres within RowTolerance) and further right. A window
// whose layout is a set of side-by-side columns is read column by column:
// there a step may also go up into a column that lies wholly to the right.
// The one step from the last control back to the first is not checked.
bool followsLayout(const QRect &a, const QRect &b, bool columns)
{
    const int dy = b.center().y() - a.center().y();
    if (dy > RowTolerance)
        return true;
    if (qAbs(dy) <= RowTolerance && b.center().x() > a.center().x())
        return true;
    return columns && b.left() > a.right();
}

bool inScope(const Scope &s, QWidget *w)
{
    if (w->window() != s.window)
        return false;
    if (s.extra.contains(w))
        return w->isVisibleTo(s.window);
    return s.root->isAncestorOf(w) && w->isVisibleTo(s.root);
}

// The controls Tab can stop at. One that hands its focus to a proxy is left
// out: the proxy stands for it. Disabled ones are kept when `withDisabled`
// is set: their place in the order matters as soon as they are enabled.
bool takesTabFocus(QWidget *w, bool withDisabled)
{
    return (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && (withDisabled || w->isEnabled());
}

QList<QWidget *> candidates(const Scope &s)
{
    QList<QWidget *> all = s.root->findChildren<QWidget *>();
    all += s.extra;
    QList<QWidget *> result;
    for (QWidget *w : all)
        if (inScope(s, w))
            result.append(w);
    return result;
}

// The scope's Tab stops in the window's focus chain order, starting after
// the window itself, so that the wrap-around is the step from last to first.
QList<QWidget *> focusChain(const Scope &s, bool withDisabled)
{
    QList<QWidget *> order;
    QWidget *w = s.window;
    for (int guard = 0; guard < 100000; ++guard) {
        w = w->nextInFocusChain();
        if (w == s.window)
            break;
        if (inScope(s, w) && takesTabFocus(w, withDisabled) && !order.contains(w))
            order.append(w);
    }
    return order;
}

QString describe(const QWidget *w)
{
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
}

QString accessibleName(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name).trimmed() : QString();
}

// Labels carry information even though they take no focus; a caption left
// empty on purpose (its text folded into the line above) carries none.
bool carriesInformation(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        return !label->text().trimmed().isEmpty() || label->buddy();
    return qobject_cast<QProgressBar *>(w);
}

// The radio buttons that arrow keys move between: Tab stops at one of them.
QList<QWidget *> radioSiblings(QWidget *w)
{
    QList<QWidget *> result;
    auto *radio = qobject_cast<QRadioButton *>(w);
    if (!radio || !radio->autoExclusive() || !radio->parentWidget())
        return result;
    for (QRadioButton *r : radio->parentWidget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly))
        if (r->autoExclusive() && r->isVisible() && r->isEnabled())
            result.append(r);
    return result;
}

bool Activate(QWidget *window)
{
    if (!window->isVisible())
        window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window, ShellFixture::Patience);
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    QTest::keyClick(target, key, modifiers);
}

// Runs `act` on the first modal window of type T once it is open.
template <class T>
void onModal(QObject *owner, std::function<void(T *)> act, bool &handled)
{
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, &handled] {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isActiveWindow())
            return;
        poll->stop();
        poll->deleteLater();
        handled = true;
        act(dialog);
    });
    poll->start(20);
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void everyControlHasAName_data() { windows(true); }
    void everyControlHasAName();
    void tabOrderFollowsLayout_data() { windows(true); }
    void tabOrderFollowsLayout();
    void tabReachesEveryControl_data() { windows(false); }
    void tabReachesEveryControl();

    void spaceOnConnectOpensThePort();
    void arrowKeysTurnEditorPages();
    void escapeCancelsEditor();
    void escapeCancelsPortDialog();
    void enterConfirmsPortDialog();

    void returnPressesTheFocusedButton_data();
    void returnPressesTheFocusedButton();
    // Mnemonics, Close and Esc.
    void addedWindowsKeys_data();
    void addedWindowsKeys();

private:
    // One row per window, the editor once per page; with `hiddenPages` also
    // the editor's two pages that the English texts take out of the page set.
    static void windows(bool hiddenPages);
    Scope open(const QString &which);

    ShellFixture m_fixture;
    QPointer<TFormComPort> m_portDialog;
    std::unique_ptr<Sites::SiteBook> m_book;
    QPointer<TFormSite> m_siteDialog;
};

namespace {

// The transfer window's own history window (the Sites window holds another).
TFormHistory *historyWindow()
{
    for (TFormHistory *h : FormDownload->findChildren<TFormHistory *>())
        if (h->isWindow())
            return h;
    return nullptr;
}

} // namespace

void TestAccessibility::initTestCase()
{
    QVERIFY(m_fixture.setUp());
    QAccessible::setActive(true);
    QVERIFY(ShellFixture::startAndWait());
}

void TestAccessibility::cleanupTestCase()
{
    shutDown();
    m_fixture.tearDown();
}

void TestAccessibility::cleanup()
{
    delete m_portDialog;
    delete m_siteDialog;
    if (TFormHistory *history = historyWindow())
        history->hide();
    FormDownload->FormDifferences->hide();
    if (SettingsForm->isVisible())
        SettingsForm->reject();
    for (QWidget *w : {static_cast<QWidget *>(StateForm->FormSignal), static_cast<QWidget *>(StateForm),
                       static_cast<QWidget *>(FormDetails),
                       static_cast<QWidget *>(FormDownload)})
        w->hide();
    if (auto *sites = FormDownload->findChild<TFormSites *>())
        sites->hide();
}

void TestAccessibility::windows(bool hiddenPages)
{
    QTest::addColumn<QString>("which");
    for (const char *w : {"main", "status", "signal", "details", "transfer", "sites", "history", "differences", "site"})
        QTest::newRow(w) << QString::fromLatin1(w);
    for (const char *page : {"TabSheetPhone", "TabSheetSMS", "TabSheetCallFilter", "TabSheetOUTPUT", "TabSheetBELL103"})
        QTest::addRow("editor %s", page) << QStringLiteral("editor:") + QLatin1String(page);
    if (hiddenPages)
        for (const char *page : {"TabSheetGPRS", "TabSheetTELL"})
            QTest::addRow("editor hidden %s", page) << QStringLiteral("hidden:") + QLatin1String(page);
    QTest::newRow("port dialog") << QStringLiteral("port");
}

Scope TestAccessibility::open(const QString &which)
{
    Scope s;
    if (which == "main") {
        s.window = MainForm;
        s.values = {MainForm->Panel1, MainForm->findChild<QLabel *>(QStringLiteral("StatusBar1Text"))};
    } else if (which == "status") {
        s.window = StateForm;
        s.values = {StateForm->lbLineVoltage, StateForm->lbGSMLine, StateForm->lbGSMpowVal, StateForm->pbTerero};
        for (QLabel *in : StateForm->lbIN)
            s.values.append(in);
    } else if (which == "signal") {
        s.window = StateForm->FormSignal;
        s.values = {StateForm->FormSignal->lbSignalNow, StateForm->FormSignal->lbSignalMin,
                    StateForm->FormSignal->lbSignalMax, StateForm->FormSignal->lbSignalAvg,
                    StateForm->FormSignal->chSignal};
    } else if (which == "details") {
        s.window = FormDetails;
        // Three columns of traffic views side by side, the buttons below.
        s.columns = true;
    } else if (which == "transfer") {
        s.window = FormDownload;
        s.values = {FormDownload->Progress};
    } else if (which == "sites") {
        FormDownload->btSites->click();
        s.window = FormDownload->findChild<TFormSites *>();
    } else if (which == "history") {
        FormDownload->btHistory->click();
        s.window = historyWindow();
    } else if (which == "differences") {
        DifferenceRow row;
        row.page = QStringLiteral("Phone numbers");
        row.label = QStringLiteral("Primary User (#USER1)");
        row.name = QStringLiteral("USER1");
        row.a = QStringLiteral("36301234567");
        row.b = QStringLiteral("36209876543");
        FormDownload->FormDifferences->showDifferences({row}, QStringLiteral("Module"), QStringLiteral("Image"));
        s.window = FormDownload->FormDifferences;
    } else if (which == "site") {
        if (!m_book)
            m_book = Sites::openSiteBook(m_fixture.workPath(QStringLiteral("walk.sqlite")));
        m_siteDialog = new TFormSite(*m_book, std::nullopt, FormDownload);
        s.window = m_siteDialog;
    } else if (which == "port") {
        m_portDialog = new TFormComPort(MainForm);
        s.window = m_portDialog;
        s.values = {m_portDialog->Panel1, m_portDialog->Panel2};
    } else {
        const QString page = which.section(':', 1);
        s.window = SettingsForm;
        s.root = SettingsForm->findChild<QWidget *>(page);
        if (!s.root)
            return {};
        if (which.startsWith("editor:")) {
            SettingsForm->PageControl1->setCurrentWidget(s.root);
            if (SettingsForm->PageControl1->currentWidget() != s.root)
                return {};
            s.extra = {SettingsForm->PageControl1->tabBar(), SettingsForm->btSettingOK,
                       SettingsForm->btSettingCancel};
        }
    }
    if (!s.root)
        s.root = s.window;
    if (!Activate(s.window))
        return {};
    if (!s.root->isVisible()) {
        // A page out of the page set: lay it out at a visible page's size.
        s.root->resize(SettingsForm->PageControl1->currentWidget()->size());
        s.root->layout()->activate();
        // Nested layouts (the address octets) wait for a show; lay them out now.
        for (QWidget *w : s.root->findChildren<QWidget *>())
            if (w->layout())
                w->layout()->activate();
    }
    return s;
}

void TestAccessibility::everyControlHasAName()
{
    QFETCH(QString, which);
    const Scope s = open(which);
    QVERIFY(s.window);

    int checked = 0;
    QStringList nameless;
    for (QWidget *w : candidates(s)) {
        if (!takesTabFocus(w, true) && !carriesInformation(w))
            continue;
        ++checked;
        if (accessibleName(w).isEmpty())
            nameless.append(describe(w));
    }
    QVERIFY2(checked > 0, "the walk found no controls");
    QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(", ")));

    // A value display says what it shows (name or description) and still
    // exposes the value itself: a label's name is what it shows, a bar
    // reports its position through the value interface.
    for (QWidget *w : s.values) {
        QVERIFY(w);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        QVERIFY(iface);
        const QString name = iface->text(QAccessible::Name).trimmed();
        const QString description = iface->text(QAccessible::Description).trimmed();
        if (auto *label = qobject_cast<QLabel *>(w)) {
            QVERIFY2(!description.isEmpty(), qPrintable(describe(w) + " does not say what it shows"));
            QVERIFY2(name == label->text().trimmed(), qPrintable(describe(w) + " hides its value: " + name));
        } else if (auto *bar = qobject_cast<QProgressBar *>(w)) {
            QVERIFY2(!name.isEmpty(), qPrintable(describe(w) + " has no name"));
            QVERIFY(iface->valueInterface());
            QCOMPARE(iface->valueInterface()->currentValue().toInt(), bar->value());
        }
    }
}

void TestAccessibility::tabOrderFollowsLayout()
{
    QFETCH(QString, which);
    const Scope s = open(which);
    QVERIFY(s.window);

    const QList<QWidget *> chain = focusChain(s, true);
    QVERIFY2(chain.size() >= 2, "the walk found fewer than two Tab stops");
    QStringList wrong;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) {
        const QRect a = rectIn(chain[i], s.window);
        const QRect b = rectIn(chain[i + 1], s.window);
        if (!followsLayout(a, b, s.columns))
            wrong.append(QStringLiteral("%1 at (%2,%3) -> %4 at (%5,%6)")
                             .arg(describe(chain[i])).arg(a.x()).arg(a.y())
                             .arg(describe(chain[i + 1])).arg(b.x()).arg(b.y()));
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("; ")));

    // Nothing the user can reach is outside the chain.
    for (QWidget *w : candidates(s))
        if (takesTabFocus(w, true))
            QVERIFY2(chain.contains(w), qPrintable(describe(w) + " is not in the Tab order"));
}

void TestAccessibility::tabReachesEveryControl()
{
    QFETCH(QString, which);
    const Scope s = open(which);
    QVERIFY(s.window);

    const QList<QWidget *> expected = focusChain(s, false);
    QVERIFY(!expected.isEmpty());
    QWidget *first = expected.first();
    first->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), first);

    // Tab goes cell by cell through a character grid, so a window may take
    // many presses; it ends when the focus is back at the first control.
    QList<QWidget *> visited{first};
    QStringList strays;
    for (int press = 0; press < 2000; ++press) {
        pressKey(Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        QVERIFY2(now, "Tab left the window without focus");
        if (now == first)
            break;
        if (!expected.contains(now) && !strays.contains(describe(now)))
            strays.append(describe(now));
        if (!visited.contains(now))
            visited.append(now);
    }
    QCOMPARE(QApplication::focusWidget(), first);
    QVERIFY2(strays.isEmpty(), qPrintable("Tab stopped outside the walk: " + strays.join(", ")));

    // Tab stops once in a group of radio buttons, as on every desktop; the
    // arrow keys reach the others.
    QList<QWidget *> byTab = expected;
    QStringList missed;
    for (QWidget *w : expected) {
        if (visited.contains(w))
            continue;
        const QList<QWidget *> group = radioSiblings(w);
        QWidget *entry = nullptr;
        for (QWidget *r : group)
            if (visited.contains(r))
                entry = r;
        bool byArrow = false;
        if (entry) {
            entry->setFocus(Qt::TabFocusReason);
            for (qsizetype k = 0; k < group.size() && !byArrow; ++k) {
                pressKey(Qt::Key_Down);
                byArrow = QApplication::focusWidget() == w;
            }
        }
        if (byArrow)
            byTab.removeOne(w);
        else
            missed.append(describe(w));
    }
    QVERIFY2(missed.isEmpty(), qPrintable("never reached by the keyboard: " + missed.join(", ")));
    // Tab follows the same order as the chain that the layout test checks.
    QCOMPARE(visited, byTab);
}

void TestAccessibility::spaceOnConnectOpensThePort()
{
    QVERIFY(QFile::link(m_fixture.workPath("no-such-device"), m_fixture.portDirectory() + "/com12"));
    MainForm->ComPort1.setPort(QStringLiteral("COM12"));
    QVERIFY(Activate(MainForm));

    MainForm->ButtonSelectSerial->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), MainForm->btConnect);
    pressKey(Qt::Key_Space);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Error: COM port not available!"));
    QCOMPARE(MainForm->State(), ConnectionState::OpenFailed);
    QVERIFY(!MainForm->ComPort1.Connected());
}

void TestAccessibility::arrowKeysTurnEditorPages()
{
    QVERIFY(Activate(SettingsForm));
    QTabWidget *pages = SettingsForm->PageControl1;
    pages->setCurrentIndex(0);
    pages->tabBar()->setFocus(Qt::TabFocusReason);
    for (int i = 1; i < pages->count(); ++i) {
        pressKey(Qt::Key_Right);
        QCOMPARE(pages->currentIndex(), i);
    }
    // Ctrl+Tab turns the page from anywhere on it.
    QWidget *inside = focusChain(pageOnly(pages->currentWidget()), false).value(0);
    QVERIFY(inside);
    inside->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(pages->currentIndex(), 0);
}

void TestAccessibility::escapeCancelsEditor()
{
    const ImageBytes before = ParameterImage;
    bool handled = false;
    // Escape after a change asks first; the answer is Yes.
    BoxAnswerer discard(QMessageBox::Yes);
    onModal<TSettingsForm>(MainForm, [](TSettingsForm *form) {
        form->PageControl1->setCurrentWidget(form->TabSheetPhone);
        // A change typed into a number grid, then Escape from inside it.
        QWidget *grid = focusChain(pageOnly(form->TabSheetPhone), false).value(0);
        if (!grid)
            return;
        grid->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(grid, QStringLiteral("36"));
        QTest::keyClick(grid, Qt::Key_Escape);
    }, handled);
    const bool stored = SettingsForm->editImage();
    QVERIFY(handled);
    QCOMPARE(discard.texts, QStringList{QStringLiteral("Discard the changes?")});
    QVERIFY(!stored);
    QVERIFY(!SettingsForm->isVisible());
    QVERIFY(ParameterImage == before);
}

void TestAccessibility::escapeCancelsPortDialog()
{
    MainForm->Panel1->clear();
    const QString port = MainForm->ComPort1.Port();
    bool handled = false;
    onModal<TFormComPort>(MainForm, [](TFormComPort *dialog) {
        dialog->addPort(QStringLiteral("58")); // a port is chosen, Escape still cancels
        dialog->StringGrid1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(dialog->StringGrid1, Qt::Key_Escape);
    }, handled);
    // The dialog opened from the keyboard as well.
    QVERIFY(Activate(MainForm));
    MainForm->ButtonSelectSerial->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Space);
    QVERIFY(handled);
    QVERIFY(MainForm->Panel1->text().isEmpty());
    QCOMPARE(MainForm->ComPort1.Port(), port);
}

void TestAccessibility::enterConfirmsPortDialog()
{
    bool handled = false;
    onModal<TFormComPort>(MainForm, [](TFormComPort *dialog) {
        dialog->addPort(QStringLiteral("59"));
        dialog->StringGrid1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(dialog->StringGrid1, Qt::Key_Return);
    }, handled);
    const bool confirmed = MainForm->SorosDialog1->Execute();
    QVERIFY(handled);
    QVERIFY(confirmed);
    QCOMPARE(MainForm->SorosDialog1->PortNev(), QStringLiteral("COM59"));
}

void TestAccessibility::returnPressesTheFocusedButton_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("button");
    QTest::newRow("main") << "main" << "btConnect";
    QTest::newRow("transfer") << "transfer" << "btHistory";
    QTest::newRow("status") << "status" << "btSignalHistory";
    QTest::newRow("signal history") << "signal" << "btClose";
    QTest::newRow("details") << "details" << "btClear";
    QTest::newRow("sites") << "sites" << "btClose";
    QTest::newRow("history") << "history" << "btClose";
    QTest::newRow("differences") << "differences" << "btCopy";
    QTest::newRow("site dialog") << "site" << "";
}

void TestAccessibility::returnPressesTheFocusedButton()
{
    QFETCH(QString, which);
    QFETCH(QString, button);
    if (which == "main") // a port that is not there: Connect fails at once
        MainForm->ComPort1.setPort(QStringLiteral("COM13"));
    const Scope s = open(which);
    QVERIFY(s.window);
    // The dialog's Cancel, the others' named button.
    auto *target = button.isEmpty() ? qobject_cast<QPushButton *>(m_siteDialog->Buttons->button(QDialogButtonBox::Cancel))
                                    : s.window->findChild<QPushButton *>(button);
    QVERIFY(target && target->isEnabled());
    QSignalSpy pressed(target, &QPushButton::clicked);
    target->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), target);
    pressKey(Qt::Key_Return);
    QCOMPARE(pressed.size(), 1);
}

void TestAccessibility::addedWindowsKeys_data()
{
    QTest::addColumn<QString>("which");
    for (const char *w : {"sites", "history", "differences", "signal", "site"})
        QTest::newRow(w) << QString::fromLatin1(w);
}

void TestAccessibility::addedWindowsKeys()
{
    QFETCH(QString, which);
    const Scope s = open(which);
    QVERIFY(s.window);
    // Every button and every field's label has a letter of its own.
    QStringList texts;
    for (QPushButton *b : s.window->findChildren<QPushButton *>())
        if (b->isVisibleTo(s.window))
            texts << b->text();
    for (QLabel *l : s.window->findChildren<QLabel *>())
        if (l->buddy())
            texts << l->text();
    QSet<QChar> letters;
    for (const QString &text : std::as_const(texts)) {
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text + " has no mnemonic"));
        QVERIFY2(!letters.contains(text.at(at + 1).toLower()), qPrintable(text + ": its letter is taken"));
        letters.insert(text.at(at + 1).toLower());
    }
    QWidget *first = focusChain(s, false).value(0);
    QVERIFY(first);
    first->setFocus(Qt::TabFocusReason);
    if (which == "site") {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_T, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), m_siteDialog->edContact);
        return;
    }
    // Esc and Close both close it.
    QTRY_COMPARE(QApplication::focusWidget(), first);
    pressKey(Qt::Key_Escape);
    QTRY_VERIFY(!s.window->isVisible());
    QVERIFY(Activate(s.window));
    auto *close = s.window->findChild<QPushButton *>(QStringLiteral("btClose"));
    QVERIFY(close && close->isVisible());
    close->click();
    QVERIFY(!s.window->isVisible());
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
