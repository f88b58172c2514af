// The windows on a 1024 x 768 laptop screen: each opens within the screen
// with every column of its lists in sight, and none over its opener.

#include "main/ShellFixture.h"

#include "editor/Settings.h"
#include "link/SerialDetails.h"
#include "params/Differences.h"
#include "params/Download.h"
#include "params/HistoryWindow.h"
#include "sites/SiteBook.h"
#include "sites/SitesWindow.h"
#include "status/FormSignal.h"
#include "status/State.h"

#include <QApplication>
#include <QHeaderView>
#include <QTreeWidget>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTreeView>

constexpr QSize Laptop(1024, 768);

class TestSmallScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fitsAndClearOfItsOpener_data();
    void fitsAndClearOfItsOpener();

private:
    ShellFixture m_fixture;
};

void TestSmallScreen::initTestCase()
{
    QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), Laptop);
    QVERIFY(m_fixture.setUp());
    // Sites and addresses longer than the window is wide.
    const QString book = m_fixture.workPath(QStringLiteral("laptop.sqlite"));
    QSettings(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/quelmar/QuelmarSetup.conf"),
              QSettings::IniFormat)
        .setValue(QStringLiteral("SiteBook/url"), book);
    const std::unique_ptr<Sites::SiteBook> held = Sites::openSiteBook(book);
    for (int n = 1; n <= 3; ++n) {
        auto d = Sites::SiteDetails::named(QStringLiteral("Kovács és Társa Pékség és Cukrászda, %1. üzlet").arg(n));
        d.address = QStringLiteral("Győr, Szent István út %1, a régi vasútállomással szemben, hátsó bejárat").arg(n);
        held->addSite(d);
    }
    QVERIFY(ShellFixture::startAndWait());
}

void TestSmallScreen::cleanupTestCase()
{
    shutDown();
    m_fixture.tearDown();
}

void TestSmallScreen::fitsAndClearOfItsOpener_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("opened"); // opened from another window, and kept clear of it
    for (const char *w : {"transfer", "sites", "history", "differences"})
        QTest::newRow(w) << QString::fromLatin1(w) << true;
    // The signal history has no room beside the status window at this size.
    for (const char *w : {"status", "signal", "details", "editor"})
        QTest::newRow(w) << QString::fromLatin1(w) << false;
}

void TestSmallScreen::fitsAndClearOfItsOpener()
{
    QFETCH(QString, which);
    QFETCH(bool, opened);
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != MainForm && w != FormDownload)
            w->hide();
    // Opened as the installer opens them.
    if (!FormDownload->isVisible())
        MainForm->btParameterSettingClick();
    QWidget *window = FormDownload;
    QWidget *opener = which == "transfer" ? static_cast<QWidget *>(MainForm) : FormDownload;
    if (which == "signal" || which == "status") {
        MainForm->btStatusClick();
        window = StateForm;
        if (which == "signal") {
            StateForm->btSignalHistory->click();
            window = StateForm->FormSignal;
            opener = StateForm;
        }
    } else if (which == "details" || which == "editor") {
        window = which == "details" ? static_cast<QWidget *>(FormDetails) : SettingsForm;
        window->show();
    } else if (which == "sites") {
        FormDownload->btSites->click();
        auto *sites = FormDownload->findChild<TFormSites *>();
        window = sites;
        // Its rows come from the book's thread.
        QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 3);
    } else if (which == "history") {
        FormDownload->btHistory->click();
        for (TFormHistory *h : FormDownload->findChildren<TFormHistory *>())
            if (h->isWindow())
                window = h;
    } else if (which == "differences") {
        DifferenceRow row;
        row.page = QStringLiteral("Phone numbers");
        row.label = QStringLiteral("Dial prefix number used for outside line");
        row.a = QStringLiteral("06");
        row.b = QStringLiteral("0036");
        FormDownload->FormDifferences->showDifferences({row}, QStringLiteral("Kovács és Társa, exchange 12"),
                                                       QStringLiteral("Image"));
        FormDownload->btDifferencesClick();
        window = FormDownload->FormDifferences;
    }
    QVERIFY(QTest::qWaitForWindowExposed(window, ShellFixture::Patience));
    const auto where = [](const QWidget *w) {
        const QRect r = w->frameGeometry();
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    QVERIFY2(window->screen()->availableGeometry().contains(window->frameGeometry()), qPrintable(where(window)));
    if (opened)
        QVERIFY2(!window->frameGeometry().intersects(opener->frameGeometry()),
                 qPrintable(where(window) + QStringLiteral(" over ") + where(opener)));
    // No list scrolls sideways and no column is squeezed to nothing.
    for (QTreeView *list : window->findChildren<QTreeView *>()) {
        if (!list->isVisible())
            continue;
        QString sizes;
        for (int c = 0; c < list->header()->count(); ++c)
            sizes += QString::number(list->header()->sectionSize(c)) + QLatin1Char(' ');
        QTRY_VERIFY2(list->horizontalScrollBar()->maximum() == 0,
                     qPrintable(sizes + QString::number(list->viewport()->width())));
        for (int c = 0; c < list->header()->count(); ++c)
            QVERIFY2(list->header()->sectionSize(c) >= std::min(40, list->header()->sectionSizeHint(c)),
                     qPrintable(list->objectName() + QStringLiteral(" %1: %2").arg(c).arg(list->header()->sectionSize(c))));
    }
    // QUELMAR_SCREENSHOTS=DIR keeps the screen with the Sites window, for the README.
    const QString shots = qEnvironmentVariable("QUELMAR_SCREENSHOTS");
    if (which == "sites" && !shots.isEmpty()) {
        QTest::qWait(500);
        QVERIFY(window->screen()->grabWindow(0).save(shots + QStringLiteral("/sites-1024.png")));
    }
}

int main(int argc, char **argv)
{
    // Offscreen, one 1024 x 768 screen; under a display (Xvfb) that display's.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("screens.json")));
    const QJsonObject screen{{"name", "Laptop"}, {"x", 0}, {"y", 0}, {"width", Laptop.width()},
                             {"height", Laptop.height()}, {"logicalDpi", 96}, {"logicalBaseDpi", 96}, {"dpr", 1}};
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(QJsonObject{{"screens", QJsonArray{screen}}}).toJson()) < 0)
        return 1;
    file.close();
    if (qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")) == QLatin1String("offscreen"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file.fileName()));
    QApplication app(argc, argv);
    TestSmallScreen test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_smallscreen.moc"
