// The site book in the windows, in the started program: the Sites window, the
// site in work, every exchange of the transfer window recorded to it, and a
// book that cannot be opened.

#include "main/ShellFixture.h"

#include "params/Download.h"
#include "params/FieldModel.h"
#include "params/HistoryWindow.h"
#include "params/ImageState.h"
#include "params/ParameterFile.h"
#include "report/Report.h"
#include "sites/SiteWork.h"
#include "sites/SitesWindow.h"
#include "sites/SqlSiteBook.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

using namespace Sites;

namespace {

const QString Name = QStringLiteral("Kovács Pékség");

QString confPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/quelmar/QuelmarSetup.conf");
}

ImageBytes patterned(int seed)
{
    ImageBytes image;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = std::uint8_t(i * seed + seed);
    return image;
}

QByteArray bytesOf(const ImageBytes &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
}

SiteWork &siteWork()
{
    return *dynamic_cast<SiteWork *>(FormDownload->SiteLog);
}

} // namespace

class TestSitesWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_fixture.setUp()); }
    void cleanupTestCase() { m_fixture.tearDown(); }
    void cleanup();

    void everyExchangeIsRecordedToTheSiteInWork();
    void workOnThisSiteLoadsTheCurrentSet_data();
    void workOnThisSiteLoadsTheCurrentSet();
    void aSiteWithoutASetTakesTheToolsWhenAsked_data();
    void aSiteWithoutASetTakesTheToolsWhenAsked();
    void editAndWorkNeedASelectedSite();
    void theSiteDialogSaysWhatTheBookRefuses_data();
    void theSiteDialogSaysWhatTheBookRefuses();
    void withoutABookTheTransferWindowWorks();
    void aRenamedSiteKeepsRecording();
    void aReadSaysHowTheModuleComparesWithTheSite_data();
    void aReadSaysHowTheModuleComparesWithTheSite();
    void anExchangeBelongsToTheSiteOfItsStart();
    void visitsFirstArchivedWhenAsked();
    void aBigBookNeverHoldsUpTheWindow();

private:
    // Starts the program on this book (and site in work), the simulator
    // holding module, and opens the transfer window connected to it.
    void start(const QString &book, const QString &site = {}, const ImageBytes &module = patterned(3));
    TFormSites *openSites();

    ShellFixture m_fixture;
    SimulatorProcess m_sim{QStringLiteral(QUELMAR_MODULE_SIM)};
    QStringList m_messages;
};

void TestSitesWindow::start(const QString &book, const QString &site, const ImageBytes &module)
{
    {
        QSettings settings(confPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SiteBook/url"), book);
        // Named only, as older settings keep it.
        settings.setValue(QStringLiteral("SiteBook/site"), site);
        settings.remove(QStringLiteral("SiteBook/siteId"));
    }
    QFile file(m_fixture.workPath(QStringLiteral("module.qm3")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytesOf(module)) == 1088);
    file.close();
    const QString error = m_sim.start(QStringLiteral("COM86"), {"--no-pacing", "--image", file.fileName()});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(ShellFixture::startAndWait());
    MainForm->ComPort1.setPort(QStringLiteral("COM86"));
    MainForm->btConnect->click();
    QVERIFY(MainForm->ComPort1.Connected());
    MainForm->btParameterSetting->click();
    m_messages.clear();
    FormDownload->MessageBox = [this](const QString &text) { m_messages << text; };
}

TFormSites *TestSitesWindow::openSites()
{
    FormDownload->btSites->click();
    return FormDownload->findChild<TFormSites *>();
}

void TestSitesWindow::cleanup()
{
    if (FormDownload)
        shutDown();
    m_sim.stop();
}

void TestSitesWindow::everyExchangeIsRecordedToTheSiteInWork()
{
    const QString book = m_fixture.workPath(QStringLiteral("recorded.sqlite"));
    start(book);
    TFormSites *sites = openSites();
    QVERIFY(sites && sites->isVisible());
    QCOMPARE(sites->windowTitle(), QStringLiteral("Quelmar5 - Sites"));
    sites->RunDialog = [](TFormSite &dialog) {
        dialog.edName->setText(Name);
        dialog.edAddress->setText(QStringLiteral("Győr, Fő tér 3"));
        dialog.edContact->setText(QStringLiteral("Kovács Anna"));
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    };
    sites->btNewSite->click();
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 1);
    QCOMPARE(sites->lvSites->topLevelItem(0)->text(0), Name);
    // A new site has no set: the image stays the tool's, the site gets none.
    QStringList asked;
    sites->Ask = [&](const QString &question) {
        asked << question;
        return false;
    };
    sites->btWorkOnSite->click();
    QCOMPARE(asked, QStringList{QStringLiteral("\"%1\" has no parameter set yet. "
                                               "Use the parameter set now in the tool for it?").arg(Name)});
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + Name);

    // A file brings the PC-only bytes; a read from the module keeps them.
    const ImageBytes fromFile = patterned(5);
    const QString file = m_fixture.workPath(QStringLiteral("pc.QM3"));
    QVERIFY(ParameterFile::save(file, fromFile).ok);
    FormDownload->OpenDialog1 = [file] { return file; };
    FormDownload->btOpen->click();
    FormDownload->btRead->click();
    QCOMPARE(bytesOf(ParameterImage).mid(960), bytesOf(fromFile).mid(960));
    FormDownload->openEditor = [] {
        ImageBytes stored = workingImage().bytes();
        stored[7] ^= 0x42;
        workingImage().storeFromEditor(stored);
        return true;
    };
    FormDownload->btEdit->click();
    FormDownload->cbVerify->setChecked(true);
    FormDownload->btWrite->click();
    siteWork().waitRecorded();
    QVERIFY2(!FormDownload->lbOutcome->text().contains(QStringLiteral("Site book")),
             qPrintable(FormDownload->lbOutcome->text()));

    const std::unique_ptr<SiteBook> held = openSiteBook(book);
    const Site site = held->site(Name);
    QStringList exchanges;
    for (const Exchange &e : held->history(site.id))
        exchanges << operationWord(e.operation) + QStringLiteral(": ") + e.outcome;
    QCOMPARE(exchanges, QStringList({"verify: verified", "write: complete", "file: stored in the editor",
                                     "read: complete", "file: from pc.QM3"}));
    QCOMPARE(bytesOf(*site.current), bytesOf(ParameterImage));
    QCOMPARE(bytesOf(*site.current).mid(960), bytesOf(fromFile).mid(960));
    // The window lists them too, and the report is the site's.
    QTRY_COMPARE(sites->History->lvHistory->topLevelItemCount(), 5);
    const Report::Contents report = imageReportContents();
    QCOMPARE(report.site->contact, QStringLiteral("Kovács Anna"));
    QCOMPARE(report.port, QStringLiteral("COM86"));
    QVERIFY(Report::html(report).contains(QStringLiteral("Pékség")));

    // The site stays in work across a restart.
    shutDown();
    QVERIFY(ShellFixture::startAndWait());
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + Name);
}

void TestSitesWindow::workOnThisSiteLoadsTheCurrentSet_data()
{
    QTest::addColumn<bool>("unkept");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("nothing unkept") << false << false << true;
    QTest::newRow("changes, load anyway") << true << true << true;
    QTest::newRow("changes, keep them") << true << false << false;
}

void TestSitesWindow::workOnThisSiteLoadsTheCurrentSet()
{
    QFETCH(bool, unkept);
    QFETCH(bool, answer);
    QFETCH(bool, loaded);
    const QString book = m_fixture.workPath(QStringLiteral("load-%1.sqlite").arg(QTest::currentDataTag()));
    const ImageBytes current = patterned(7);
    {
        const std::unique_ptr<SiteBook> held = openSiteBook(book);
        held->addSite(SiteDetails::named(Name), current);
        held->addSite(SiteDetails::named(QStringLiteral("Szabó Autó")));
    }
    start(book);
    ParameterImage = patterned(9);
    if (unkept)
        parameterImageState().storedFromEditor(true);
    TFormSites *sites = openSites();
    QStringList asked;
    sites->Ask = [&](const QString &question) {
        asked << question;
        return answer;
    };
    QTest::keyClicks(sites->edSiteSearch, QStringLiteral("kovacs"));
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 1);
    // Not while the module is being read or written.
    FormDownload->DisableButtons();
    QVERIFY(!sites->btWorkOnSite->isEnabled());
    FormDownload->EnableButtons();
    sites->btWorkOnSite->click();

    QCOMPARE(asked.size(), unkept ? 1 : 0);
    QCOMPARE(bytesOf(ParameterImage), bytesOf(loaded ? current : patterned(9)));
    // The set and where it came from are replaced together.
    QCOMPARE(workingImage().state().sourceLine(),
             loaded ? QStringLiteral("From the site book: ") + Name
                    : QStringLiteral("Entered in the editor: not in a module or a file"));
    QCOMPARE(FormDownload->Progress->value(), loaded ? 12 : 0);
    QCOMPARE(FormDownload->lbSite->text(), loaded ? QStringLiteral("Site: ") + Name : QString());
    QCOMPARE(QSettings(confPath(), QSettings::IniFormat).value(QStringLiteral("SiteBook/site")).toString(),
             loaded ? Name : QString());
    QCOMPARE(QSettings(confPath(), QSettings::IniFormat).value(QStringLiteral("SiteBook/siteId")).toLongLong(),
             loaded ? openSiteBook(book)->site(Name).id : 0);
}

void TestSitesWindow::aSiteWithoutASetTakesTheToolsWhenAsked_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("Yes: the tool's set becomes the site's") << true;
    QTest::newRow("No: the site stays without one") << false;
}

void TestSitesWindow::aSiteWithoutASetTakesTheToolsWhenAsked()
{
    QFETCH(bool, answer);
    const QString name = QStringLiteral("Szab Bolt");
    const QString book = m_fixture.workPath(QStringLiteral("noset-%1.sqlite").arg(answer));
    openSiteBook(book)->addSite(SiteDetails::named(name));
    start(book);
    ParameterImage = patterned(9);
    TFormSites *sites = openSites();
    QStringList asked;
    sites->Ask = [&](const QString &question) {
        asked << question;
        return answer;
    };
    QTest::keyClicks(sites->edSiteSearch, QStringLiteral("szab"));
    QTRY_VERIFY(sites->btWorkOnSite->isEnabled());
    sites->btWorkOnSite->click();
    siteWork().waitRecorded();

    QCOMPARE(asked, QStringList{QStringLiteral("\"Szab Bolt\" has no parameter set yet. "
                                               "Use the parameter set now in the tool for it?")});
    // Either way the image is untouched and the site is in work.
    QCOMPARE(bytesOf(ParameterImage), bytesOf(patterned(9)));
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + name);
    const std::unique_ptr<SiteBook> held = openSiteBook(book);
    const Site site = held->site(name);
    QStringList exchanges;
    for (const Exchange &e : held->history(site.id))
        exchanges << operationWord(e.operation) + QStringLiteral(": ") + e.outcome;
    QCOMPARE(exchanges, answer ? QStringList{QStringLiteral("file: from the tool")} : QStringList());
    QCOMPARE(site.current.has_value(), answer);
    if (answer)
        QCOMPARE(bytesOf(*site.current), bytesOf(patterned(9)));
    // The report does not pass the tool's values off as the site's, nor the
    // port open now as theirs.
    const Report::Contents report = imageReportContents();
    QCOMPARE(Report::html(report).contains(QStringLiteral("Site: Szab Bolt (no parameter set in the book)")), !answer);
    QCOMPARE(report.port, QString());
}

void TestSitesWindow::editAndWorkNeedASelectedSite()
{
    const QString book = m_fixture.workPath(QStringLiteral("empty.sqlite"));
    start(book);
    TFormSites *sites = openSites();
    // An empty book, then a search that finds nothing: nothing to edit or work on.
    QVERIFY(!sites->btEditSite->isEnabled());
    QVERIFY(!sites->btWorkOnSite->isEnabled());
    QVERIFY(sites->btNewSite->isEnabled());
    sites->RunDialog = [](TFormSite &dialog) {
        dialog.edName->setText(Name);
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    };
    sites->btNewSite->click();
    QTRY_VERIFY(sites->btEditSite->isEnabled());
    QVERIFY(sites->btWorkOnSite->isEnabled());
    QTest::keyClicks(sites->edSiteSearch, QStringLiteral("no such site"));
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 0);
    QVERIFY(!sites->btEditSite->isEnabled());
    QVERIFY(!sites->btWorkOnSite->isEnabled());
    // While the module is busy work waits, and comes back after.
    sites->edSiteSearch->clear();
    FormDownload->DisableButtons();
    QTRY_VERIFY(sites->btEditSite->isEnabled());
    QVERIFY(!sites->btWorkOnSite->isEnabled());
    FormDownload->EnableButtons();
    QVERIFY(sites->btWorkOnSite->isEnabled());
}

void TestSitesWindow::theSiteDialogSaysWhatTheBookRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("meanwhile");
    QTest::addColumn<QString>("said");
    QTest::newRow("name taken") << QStringLiteral("Szabó Autó") << false
                                << QStringLiteral("Site \"Szabó Autó\" is in the site book already.");
    QTest::newRow("changed meanwhile") << Name << true
                                       << QStringLiteral("Site \"%1\" was changed by ").arg(Name);
}

void TestSitesWindow::theSiteDialogSaysWhatTheBookRefuses()
{
    QFETCH(QString, name);
    QFETCH(bool, meanwhile);
    QFETCH(QString, said);
    const QString book = m_fixture.workPath(QStringLiteral("dialog-%1.sqlite").arg(QTest::currentDataTag()));
    const std::unique_ptr<SiteBook> other = openSiteBook(book);
    other->addSite(SiteDetails::named(QStringLiteral("Szabó Autó")));
    Site site = other->addSite(SiteDetails::named(Name));
    start(book);
    TFormSites *sites = openSites();
    QTest::keyClicks(sites->edSiteSearch, QStringLiteral("pekseg"));
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 1);
    QString error;
    bool stayed = false;
    sites->RunDialog = [&](TFormSite &dialog) {
        if (meanwhile) {
            site.details.address = QStringLiteral("Pápa");
            other->editSite(site);
        }
        dialog.edName->setText(name);
        dialog.meNotes->setPlainText(QStringLiteral("alarm in the back room"));
        dialog.accept();
        error = dialog.lbError->text();
        stayed = dialog.result() != QDialog::Accepted && dialog.meNotes->toPlainText().contains(u"back room");
        // A second OK decides for what was typed; a taken name stays taken.
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    };
    sites->btEditSite->click();

    QVERIFY2(error.startsWith(said), qPrintable(error));
    QVERIFY(stayed);
    QCOMPARE(other->site(Name).details.notes, meanwhile ? QStringLiteral("alarm in the back room") : QString());
}

void TestSitesWindow::withoutABookTheTransferWindowWorks()
{
    // A book whose folder is a file cannot be made.
    const QString blocker = m_fixture.workPath(QStringLiteral("blocker"));
    QFile(blocker).open(QIODevice::WriteOnly);
    start(blocker + QStringLiteral("/sites.sqlite"), Name);
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + Name);

    // The window opens and says why its list stays empty.
    TFormSites *sites = openSites();
    QVERIFY(sites && sites->isVisible());
    QTRY_VERIFY2(sites->lbBook->text().startsWith(QStringLiteral("The site book cannot be opened: ")),
                 qPrintable(sites->lbBook->text()));
    QCOMPARE(sites->lvSites->topLevelItemCount(), 0);
    QVERIFY(m_messages.isEmpty());

    FormDownload->btRead->click();
    QCOMPARE(bytesOf(ParameterImage).left(960), bytesOf(patterned(3)).left(960));
    siteWork().waitRecorded();
    QVERIFY2(FormDownload->lbOutcome->text().startsWith(QStringLiteral(" Read: 15 of 15 blocks.")),
             qPrintable(FormDownload->lbOutcome->text()));
    QVERIFY2(FormDownload->lbOutcome->text().contains(QStringLiteral(" Site book not updated: ")),
             qPrintable(FormDownload->lbOutcome->text()));
}

void TestSitesWindow::aRenamedSiteKeepsRecording()
{
    const QString book = m_fixture.workPath(QStringLiteral("renamed.sqlite"));
    const qint64 id = openSiteBook(book)->addSite(SiteDetails::named(Name)).id;
    // Settings that only name the site: found by that name once, then by its id.
    start(book, Name);
    siteWork().waitRecorded();
    QCOMPARE(siteWork().siteId(), id);
    QCOMPARE(QSettings(confPath(), QSettings::IniFormat).value(QStringLiteral("SiteBook/siteId")).toLongLong(), id);

    // A colleague renames it on the shared book.
    const QString renamed = QStringLiteral("Kovács Cukrászda");
    {
        const std::unique_ptr<SiteBook> other = openSiteBook(book);
        Site site = other->site(Name);
        site.details.name = renamed;
        other->editSite(site);
    }
    // Shown by its new name when the transfer window is shown again.
    FormDownload->hide();
    FormDownload->show();
    siteWork().waitRecorded();
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + renamed);
    FormDownload->btRead->click();
    siteWork().waitRecorded();
    QVERIFY2(!FormDownload->lbOutcome->text().contains(QStringLiteral("Site book")),
             qPrintable(FormDownload->lbOutcome->text()));

    // After a restart the site is found by its id and shown by its new name.
    shutDown();
    QVERIFY(ShellFixture::startAndWait());
    siteWork().waitRecorded();
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + renamed);
    const QString file = m_fixture.workPath(QStringLiteral("renamed.QM3"));
    QVERIFY(ParameterFile::save(file, patterned(4)).ok);
    FormDownload->OpenDialog1 = [file] { return file; };
    FormDownload->btOpen->click();
    siteWork().waitRecorded();
    QVERIFY2(!FormDownload->lbOutcome->text().contains(QStringLiteral("Site book")),
             qPrintable(FormDownload->lbOutcome->text()));
    QStringList exchanges;
    for (const Exchange &e : openSiteBook(book)->history(id))
        exchanges << operationWord(e.operation) + QStringLiteral(": ") + e.outcome;
    QCOMPARE(exchanges, QStringList({"file: from renamed.QM3", "read: complete"}));
    QCOMPARE(QSettings(confPath(), QSettings::IniFormat).value(QStringLiteral("SiteBook/site")).toString(), renamed);
}

void TestSitesWindow::aReadSaysHowTheModuleComparesWithTheSite_data()
{
    QTest::addColumn<int>("changed"); // fields of the site's set that the module holds otherwise
    QTest::addColumn<QString>("text");
    const QString read = QStringLiteral(" Read: 15 of 15 blocks.");
    QTest::newRow("the site's set") << 0 << read;
    QTest::newRow("one field") << 1 << read + QStringLiteral(" 1 field differs from the site's parameter set.");
    QTest::newRow("seven fields") << 7 << read + QStringLiteral(" 7 fields differ from the site's parameter set.");
}

void TestSitesWindow::aReadSaysHowTheModuleComparesWithTheSite()
{
    QFETCH(int, changed);
    QFETCH(QString, text);
    // The site's set is the module's but for some SMS texts.
    ImageBytes current = patterned(3);
    int left = changed;
    for (const EEAddr::Field &f : FieldModel::namedFields())
        if (f.encoding == EEAddr::Encoding::SmsText && left-- > 0)
            FieldModel::store(current, f, QStringLiteral("another text %1").arg(left));
    const QString book = m_fixture.workPath(QStringLiteral("differ-%1.sqlite").arg(changed));
    openSiteBook(book)->addSite(SiteDetails::named(Name), current);
    start(book, Name);
    siteWork().waitRecorded();

    FormDownload->btRead->click();
    siteWork().waitRecorded();
    QCOMPARE(FormDownload->lbOutcome->text(), text);
    // Recorded as every read: the module's set is the site's now.
    QCOMPARE(bytesOf(*openSiteBook(book)->site(Name).current).left(960), bytesOf(patterned(3)).left(960));
}

void TestSitesWindow::anExchangeBelongsToTheSiteOfItsStart()
{
    const QString book = m_fixture.workPath(QStringLiteral("start.sqlite"));
    const QString other = QStringLiteral("Szabó Autó");
    const std::unique_ptr<SiteBook> held = openSiteBook(book);
    held->addSite(SiteDetails::named(other));
    held->addSite(SiteDetails::named(Name), patterned(3));
    start(book, Name);
    siteWork().waitRecorded();
    TFormSites *sites = openSites();
    QTest::keyClicks(sites->edSiteSearch, QStringLiteral("pekseg"));
    // The site in work changes under a running read, past the held buttons.
    QMetaObject::Connection during = connect(FormDownload, &TFormDownload::operationRunning, this, [&] {
        disconnect(during);
        siteWork().workOn(held->site(other));
    });
    FormDownload->btRead->click();
    siteWork().waitRecorded();
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + other);

    // While the transfer window's box is open, the site in work stays.
    MainForm->btDisconnect->click();
    bool enabledUnderTheBox = true;
    FormDownload->MessageBox = [&](const QString &) {
        enabledUnderTheBox = sites->btWorkOnSite->isEnabled() || sites->btNoSite->isEnabled();
        sites->btNoSiteClick();
        sites->btWorkOnSiteClick();
    };
    FormDownload->btWrite->click();
    siteWork().waitRecorded();
    QVERIFY(!enabledUnderTheBox);
    QCOMPARE(FormDownload->lbSite->text(), QStringLiteral("Site: ") + other);

    // The read went to the site of its start; the press that sent nothing, nowhere.
    const QList<Exchange> first = held->history(held->site(Name).id);
    QCOMPARE(first.size(), 2); // after the exchange that gave the site its set
    QCOMPARE(first.first().operation, Operation::Read);
    QVERIFY(held->history(held->site(other).id).isEmpty());
}

QTEST_MAIN(TestSitesWindow)
#include "tst_siteswindow.moc"

void TestSitesWindow::visitsFirstArchivedWhenAsked()
{
    const QString book = m_fixture.workPath(QStringLiteral("visits.sqlite"));
    {
        const std::unique_ptr<SiteBook> other = openSiteBook(book);
        const Site stopped = other->addSite(SiteDetails::named(QStringLiteral("Stopped")), patterned(1));
        other->record(stopped.id, {Operation::Write, QStringLiteral("COM1"), QStringLiteral("stopped at block 3"),
                                   patterned(2), QDateTime::currentDateTimeUtc().addDays(-30)});
        other->addSite(SiteDetails::named(QStringLiteral("Recent")));
        other->setArchived(other->addSite(SiteDetails::named(QStringLiteral("Left"))), true);
    }
    start(book);
    TFormSites *sites = openSites();
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 2);
    // The older site that needs a visit before the one changed just now, marked.
    QTreeWidgetItem *first = sites->lvSites->topLevelItem(0);
    QCOMPARE(first->text(0), QStringLiteral("Stopped"));
    QVERIFY(!first->icon(0).isNull());
    QVERIFY2(first->data(0, Qt::AccessibleDescriptionRole).toString().startsWith(QStringLiteral("Needs a visit: Write ")),
             qPrintable(first->data(0, Qt::AccessibleDescriptionRole).toString()));
    QVERIFY(sites->lvSites->topLevelItem(1)->icon(0).isNull());
    sites->cbArchived->setChecked(true);
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 3);
    QList<QTreeWidgetItem *> left = sites->lvSites->findItems(QStringLiteral("Left"), Qt::MatchExactly);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first()->data(0, Qt::AccessibleDescriptionRole).toString(), QStringLiteral("Archived"));
    // The site dialog says who changed the details last.
    QString changed;
    sites->RunDialog = [&](TFormSite &dialog) {
        changed = dialog.lbChanged->text();
        return false;
    };
    // The list was filled again: its items are new.
    sites->lvSites->setCurrentItem(sites->lvSites->topLevelItem(0));
    sites->btEditSite->click();
    const Site held = openSiteBook(book)->site(QStringLiteral("Stopped"));
    QCOMPARE(changed, changedByText(held.changedBy, held.changed));
    QVERIFY2(changed.startsWith(QStringLiteral("Changed by ")), qPrintable(changed));
}

void TestSitesWindow::aBigBookNeverHoldsUpTheWindow()
{
    const QString book = m_fixture.workPath(QStringLiteral("big.sqlite"));
    {
        // Made as another client would: the database indexes them itself.
        SqlSiteBook held(book);
        held.execute(QStringLiteral(
            "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < 20000)"
            " INSERT INTO sites (name, name_key, address, contact, phone, notes, created, changed, changed_by,"
            " revision) SELECT printf('%s %05d', CASE k % 2 WHEN 0 THEN 'Kovács Pékség' ELSE 'Szabó Autó' END, k),"
            " printf('site %05d', k), 'Győr', '', '', '', '2026-12-01T08:00:00.000Z', '2026-12-01T08:00:00.000Z',"
            " 'office', 1 FROM n"));
        const Site last = held.addSite(SiteDetails::named(QStringLiteral("Zárda")));
        // Older exchanges than the window lists.
        held.execute(QStringLiteral("WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < ")
                     + QString::number(TFormSites::ExchangesShown)
                     + QStringLiteral(") INSERT INTO exchanges (site, time, operator, host, port, operation, outcome)"
                                      " SELECT ")
                     + QString::number(last.id)
                     + QStringLiteral(", printf('2026-11-01T08:%02d:%02d.000Z', k / 60, k % 60), 'office', 'pc', '',"
                                      " 'file', 'from a file' FROM n"));
        held.record(last.id, {Operation::Write, QStringLiteral("COM1"), QStringLiteral("stopped at block 3"), patterned(2)});
    }
    start(book);
    // The longest the window's thread went without turning to its events.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = clock.elapsed(), stall = 0;
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, this, [&] {
        stall = std::max(stall, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticks.start(1);
    const auto timed = [&](const std::function<void()> &step) {
        QElapsedTimer t;
        t.start();
        step();
        stall = std::max(stall, t.elapsed());
        lastTick = clock.elapsed();
    };

    TFormSites *sites = nullptr;
    timed([&] { sites = openSites(); });
    QCOMPARE(sites->lbBook->text(), QStringLiteral("Opening the site book..."));
    // One page, after the site that needs a visit.
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), TFormSites::PageSize + 1);
    QVERIFY(!sites->lbBook->isVisible());
    QCOMPARE(sites->lvSites->topLevelItem(0)->text(0), QStringLiteral("Zárda"));
    QVERIFY(!sites->lvSites->topLevelItem(0)->icon(0).isNull());
    // Its newest exchanges only, and said so.
    QTRY_COMPARE(sites->History->lvHistory->topLevelItemCount(), TFormSites::ExchangesShown);
    QVERIFY(sites->lbExchanges->isVisible());
    QCOMPARE(sites->History->lvHistory->topLevelItem(0)->text(4), QStringLiteral("stopped at block 3"));
    // Scrolled to its end, the list takes the next page.
    timed([&] { sites->lvSites->scrollToBottom(); });
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 2 * TFormSites::PageSize + 1);
    QCOMPARE(sites->lvSites->topLevelItem(TFormSites::PageSize + 1)->text(0), QStringLiteral("Kovács Pékség 00202"));
    // Read again (an exchange was recorded), the list keeps its rows and the selected site.
    sites->lvSites->setCurrentItem(sites->lvSites->topLevelItem(150));
    const QString selected = sites->lvSites->currentItem()->text(0);
    sites->lvSites->topLevelItem(0)->setData(0, Qt::UserRole, QStringLiteral("read before"));
    timed([&] { sites->Refresh(); });
    QTRY_VERIFY(!sites->lvSites->topLevelItem(0)->data(0, Qt::UserRole).isValid()
                && sites->lvSites->topLevelItemCount() == 2 * TFormSites::PageSize + 1);
    QVERIFY(sites->lvSites->currentItem());
    QCOMPARE(sites->lvSites->currentItem()->text(0), selected);

    // Ten thousand names begin with "ko": found off the window's thread, only the last text asked for.
    for (const char *key : {"k", "o"})
        timed([&] { QTest::keyClicks(sites->edSiteSearch, QLatin1String(key)); });
    QTRY_COMPARE(sites->lvSites->topLevelItem(0)->text(0), QStringLiteral("Kovács Pékség 00002"));
    QCOMPARE(sites->lvSites->topLevelItemCount(), TFormSites::PageSize);
    timed([&] { sites->edSiteSearch->clear(); });
    QTRY_COMPARE(sites->lvSites->topLevelItem(0)->text(0), QStringLiteral("Zárda"));
    timed([&] { QTest::keyClicks(sites->edSiteSearch, QStringLiteral("arda")); });
    QTRY_COMPARE(sites->lvSites->topLevelItemCount(), 1);
    // The bound is the release build's; the sanitizers' unoptimized build runs several times slower.
#ifdef __SANITIZE_ADDRESS__
    constexpr qint64 Bound = 150;
#else
    constexpr qint64 Bound = 50;
#endif
    QVERIFY2(stall < Bound, qPrintable(QStringLiteral("the window stalled %1 ms").arg(stall)));
}
