// quelmar-params on parameter files: set and import per encoding, diff on
// random images, input errors that write nothing, and the real executable's
// exit status.

#include "../common/OtherUser.h"

#include "cli/CommandLine.h"
#include "params/FieldModel.h"
#include "params/ParameterFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Run
{
    int status;
    QString out;
    QString err;
};

Run run(const QStringList &args, const QByteArray &input = {})
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    QBuffer in;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    Cli::Io io{outStream, errStream, &in, false};
    const int status = Cli::runParams(args, io);
    return {status, out, err};
}

ImageBytes randomImage(QRandomGenerator &random)
{
    ImageBytes image;
    for (std::uint8_t &b : image)
        b = std::uint8_t(random.bounded(256));
    return image;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ImageBytes imageOf(const QString &path)
{
    ImageBytes image{};
    ParameterFile::load(path, image);
    return image;
}

void save(const QString &path, const ImageBytes &image)
{
    QVERIFY(ParameterFile::save(path, image).ok);
}

} // namespace

class TestParamsCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void valuesPerEncoding_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text"); // as set takes it
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Digits16") << "USER1" << "0612345678" << QByteArray("\"0612345678\"") << true;
        QTest::newRow("Digits16 letter") << "USER1" << "06a5" << QByteArray("\"06a5\"") << false;
        QTest::newRow("Digits8") << "NETPREFIX" << "06" << QByteArray("\"06\"") << true;
        QTest::newRow("Digits8 nine") << "NETPREFIX" << "123456789" << QByteArray("\"123456789\"") << false;
        QTest::newRow("EventCode") << "Event1" << "12*4" << QByteArray("\"12*4\"") << true;
        QTest::newRow("EventCode #") << "Event1" << "12#4" << QByteArray("\"12#4\"") << false;
        QTest::newRow("SmsText") << "SMS1" << "Riasztás $" << QByteArray("\"Riasztás $\"") << true;
        QTest::newRow("SmsText not 1250") << "SMS1" << "警报" << QByteArray("\"警报\"") << false;
        QTest::newRow("GprsText") << "APN" << "internet" << QByteArray("\"internet\"") << true;
        QTest::newRow("GprsText long") << "APN" << QString(38, u'a') << "\"" + QByteArray(38, 'a') + "\"" << false;
        QTest::newRow("Word16BE") << "PanelID" << "1234" << QByteArray("1234") << true;
        QTest::newRow("Word16BE range") << "PanelID" << "40000" << QByteArray("40000") << false;
        QTest::newRow("IPv4Address") << "IPAddress1" << "10.0.0.1" << QByteArray("\"10.0.0.1\"") << true;
        QTest::newRow("IPv4Address 256") << "IPAddress1" << "10.0.0.256" << QByteArray("\"10.0.0.256\"") << false;
        QTest::newRow("FlagByte") << "CallFilter" << "on" << QByteArray("true") << true;
        QTest::newRow("FlagByte type") << "CallFilter" << "maybe" << QByteArray("\"yes\"") << false;
        QTest::newRow("FlagBits") << "BELLFlags" << "2" << QByteArray("2") << true;
        QTest::newRow("FlagBits 4") << "BELLFlags" << "4" << QByteArray("4") << false;
        QTest::newRow("ByteValue") << "REL1" << "200" << QByteArray("200") << true;
        QTest::newRow("ByteValue spinner") << "CallMax" << "26" << QByteArray("26") << false;
        QTest::newRow("ByteValue fraction") << "REL1" << "1.5" << QByteArray("1.5") << false;
    }
    void valuesPerEncoding()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QByteArray, json);
        QFETCH(bool, accepted);
        const EEAddr::Field &field = *FieldModel::findField(name);
        ImageBytes base{}; // as a read from the module leaves it: every field differs from the values
        const QString file = path(QStringLiteral("set.QM3")), out = path(QStringLiteral("import.QM3"));
        save(file, base);
        QFile::remove(out);
        const Run import = run({QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("-o"), out,
                                QStringLiteral("--base"), file},
                               "{\"format\": \"quelmar-parameters\", \"version\": 1, \"fields\": {\"" + name.toUtf8()
                                   + "\": " + json + "}}");
        const Run set = run({QStringLiteral("set"), file, name + u'=' + text});
        if (!accepted) {
            for (const Run &r : {set, import}) {
                QCOMPARE(r.status, Cli::ExitUsage);
                QVERIFY2(r.err.contains(name + u':'), qPrintable(r.err));
            }
            QVERIFY(import.err.startsWith(QStringLiteral("quelmar-params: -: ")));
            QCOMPARE(imageOf(file), base);
            QVERIFY(!QFile::exists(out));
            return;
        }
        QCOMPARE(set.status, Cli::ExitDone);
        QCOMPARE(import.status, Cli::ExitDone);
        const QString expected = FieldModel::formatValue(FieldModel::parseValue(field, text).value);
        for (const QString &written : {file, out}) {
            const ImageBytes image = imageOf(written);
            QCOMPARE(FieldModel::formatValue(FieldModel::Decode(image, field)), expected);
            const FieldModel::ImageDifferences d = FieldModel::DiffImages(base, image);
            QCOMPARE(d.count(), 1);
            QCOMPARE(d.fields.value(0).field, &field);
        }
    }

    // The password shows only when asked for; an export keeps it byte for byte.
    void passwordStaysWithTheInstaller()
    {
        const QString file = path(QStringLiteral("pw.QM3")), other = path(QStringLiteral("pw2.QM3")),
                      json = path(QStringLiteral("pw.json")), back = path(QStringLiteral("pwback.QM3"));
        const EEAddr::Field &pwd = *FieldModel::findField(u"PWD");
        ImageBytes image;
        image.fill(0xFF);
        FieldModel::store(image, pwd, QStringLiteral("s3cretpw"));
        save(file, image);
        FieldModel::store(image, pwd, QStringLiteral("n3wsecret"));
        save(other, image);
        const QStringList commands[] = {{QStringLiteral("show"), file},
                                        {QStringLiteral("show"), file, QStringLiteral("--json")},
                                        {QStringLiteral("diff"), file, other},
                                        {QStringLiteral("diff"), file, other, QStringLiteral("--json")}};
        for (const QStringList &args : commands) {
            const Run masked = run(args);
            QVERIFY2(masked.out.contains(QStringLiteral("********")), qPrintable(args.join(u' ')));
            for (const QByteArray &secret : {QByteArray("s3cretpw"), QByteArray("n3wsecret")})
                QVERIFY2(!masked.out.contains(QString::fromLatin1(secret))
                             && !masked.out.contains(QString::fromLatin1(secret.toHex())),
                         qPrintable(args.join(u' ')));
            const Run shown = run(args + QStringList{QStringLiteral("--show-password")});
            QVERIFY2(shown.out.contains(QStringLiteral("s3cretpw")), qPrintable(args.join(u' ')));
        }
        QCOMPARE(run({QStringLiteral("export"), file, QStringLiteral("-o"), json}).status, Cli::ExitDone);
        QVERIFY(contents(json).contains("\"PWD\": \"s3cretpw\""));
        QCOMPARE(run({QStringLiteral("import"), json, QStringLiteral("-o"), back}).status, Cli::ExitDone);
        QCOMPARE(contents(back), contents(file));
    }

    void randomImagesThroughExportAndImport()
    {
        QRandomGenerator random(15);
        const QString file = path(QStringLiteral("x.QM3")), json = path(QStringLiteral("x.json")),
                      back = path(QStringLiteral("back.QM3"));
        for (int i = 0; i < 20; ++i) {
            save(file, randomImage(random));
            QCOMPARE(run({QStringLiteral("export"), file, QStringLiteral("-o"), json}).status, Cli::ExitDone);
            // Through standard input, as in a pipe.
            QCOMPARE(run({QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("-o"), back}, contents(json)).status,
                     Cli::ExitDone);
            QCOMPARE(contents(back), contents(file));
        }
    }

    void diffOfRandomImages()
    {
        QRandomGenerator random(1516);
        const QString a = path(QStringLiteral("a.QM3")), b = path(QStringLiteral("b.QM3"));
        const auto fields = FieldModel::namedFields();
        for (int i = 0; i < 60; ++i) {
            ImageBytes x = randomImage(random);
            save(a, x);
            const Run same = run({QStringLiteral("diff"), a, a});
            QCOMPARE(same.status, Cli::ExitDone);
            QVERIFY(same.out.isEmpty());

            const EEAddr::Field &f = fields[random.bounded(int(fields.size()))];
            const ImageBytes y = randomImage(random);
            if (std::equal(x.begin() + f.offset, x.begin() + f.offset + f.length, y.begin() + f.offset))
                continue;
            const FieldModel::FieldValue before = FieldModel::Decode(x, f);
            std::copy_n(y.begin() + f.offset, f.length, x.begin() + f.offset);
            save(b, x);
            Run one = run({QStringLiteral("diff"), a, b});
            QCOMPARE(one.status, Cli::ExitDiffers);
            // Bytes that read as the same value are listed apart, and still count.
            const bool sameValue = FieldModel::Decode(x, f) == before;
            if (sameValue)
                QVERIFY2(one.out.startsWith(QStringLiteral("stored differently, same value\n")), qPrintable(one.out));
            one.out.remove(0, sameValue ? one.out.indexOf(u'\n') + 1 : 0);
            QCOMPARE(one.out.count(u'\n'), 1);
            QVERIFY2(one.out.startsWith(FieldModel::nameOf(f) + QStringLiteral(" (")), qPrintable(one.out));
        }
    }

    void inputErrorsWriteNothing()
    {
        const QString shortFile = path(QStringLiteral("short.QM3")), out = path(QStringLiteral("none.QM3"));
        QFile f(shortFile);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(100, '\0'));
        f.close();
        for (const QStringList &args : {QStringList{QStringLiteral("show"), shortFile},
                                        {QStringLiteral("set"), shortFile, QStringLiteral("USER1=1"), QStringLiteral("-o"), out},
                                        {QStringLiteral("export"), shortFile, QStringLiteral("-o"), out},
                                        {QStringLiteral("diff"), shortFile, shortFile}}) {
            const Run r = run(args);
            QCOMPARE(r.status, Cli::ExitUsage);
            QCOMPARE(r.err, QStringLiteral("quelmar-params: %1: not a parameter file (100 bytes; a parameter file "
                                           "has 1088)\n").arg(shortFile));
            QVERIFY(!QFile::exists(out));
        }
        // A failed write is a failed operation, named by its file.
        save(path(QStringLiteral("ok.QM3")), ImageBytes{});
        const QString nowhere = path(QStringLiteral("missing/x.json"));
        const Run r = run({QStringLiteral("export"), path(QStringLiteral("ok.QM3")), QStringLiteral("-o"), nowhere});
        QCOMPARE(r.status, Cli::ExitDiffers);
        QVERIFY2(r.err.startsWith(QStringLiteral("quelmar-params: ") + nowhere + u':'), qPrintable(r.err));
    }

    void helpNamesEveryCommand()
    {
        const Run help = run({QStringLiteral("--help")});
        QCOMPARE(help.status, Cli::ExitDone);
        for (const Cli::Command &c : Cli::fileCommands() + Cli::reportCommands()) {
            QVERIFY2(help.out.contains(c.synopsis), qPrintable(c.name));
            const Run own = run({c.name, QStringLiteral("--help")});
            QCOMPARE(own.status, Cli::ExitDone);
            QVERIFY(own.out.startsWith(QStringLiteral("Usage: quelmar-params ") + c.synopsis));
        }
        // A group answers its --help like a command, listing its commands.
        for (const QStringList &args :
             {QStringList{"site", "--help"}, QStringList{"site", "-h"}, QStringList{"help", "site"}}) {
            const Run group = run(args);
            QCOMPARE(group.status, Cli::ExitDone);
            QVERIFY(group.out.startsWith(QStringLiteral("Usage: quelmar-params site COMMAND")));
            for (const Cli::Command &c : Cli::siteCommands())
                QVERIFY2(group.out.contains(c.synopsis), qPrintable(c.name));
        }
        QCOMPARE(run({QStringLiteral("site")}).status, Cli::ExitUsage);
        QCOMPARE(run({QStringLiteral("frobnicate")}).status, Cli::ExitUsage);
        QCOMPARE(run({QStringLiteral("show")}).status, Cli::ExitUsage);
        QCOMPARE(run({QStringLiteral("show"), QStringLiteral("a"), QStringLiteral("--bogus")}).status, Cli::ExitUsage);
    }

    void executableExitStatus()
    {
        const QString a = path(QStringLiteral("ea.QM3")), b = path(QStringLiteral("eb.QM3"));
        ImageBytes image{};
        save(a, image);
        image[EEAddr::CentralID] = 1;
        save(b, image);
        const auto status = [](const QStringList &args, QByteArray *out = nullptr) {
            QProcess p;
            p.start(QStringLiteral(QUELMAR_PARAMS), args);
            p.waitForFinished(30000);
            if (out)
                *out = p.readAllStandardOutput();
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QByteArray out;
        QCOMPARE(status({QStringLiteral("--version")}, &out), 0);
        QCOMPARE(out, QByteArray("quelmar-params " QUELMAR_VERSION "\n"));
        QCOMPARE(status({QStringLiteral("diff"), a, a}), 0);
        QCOMPARE(status({QStringLiteral("diff"), a, b}, &out), 1);
        QVERIFY(out.startsWith("CentralID ("));
        QCOMPARE(status({}), 2);
    }

    // The report from a file, by the executable where there is no display,
    // even with a platform asked for that needs one.
    void reportWithoutADisplay()
    {
        const QString in = path(QStringLiteral("site.QM3")), pdf = path(QStringLiteral("site.pdf"));
        ImageBytes image;
        image.fill(0xFF);
        FieldModel::store(image, *FieldModel::findField(u"USER1"), QStringLiteral("0612345678"));
        save(in, image);
        const auto report = [](const QStringList &args) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(QUELMAR_PARAMS), QStringList{QStringLiteral("report")} + args);
            p.waitForFinished(30000);
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QCOMPARE(report({in}), 2);
        // Display options are not the program's: a usage error, not an abort.
        QCOMPARE(report({in, QStringLiteral("-o"), pdf, QStringLiteral("-platform"), QStringLiteral("xcb")}), 2);
        QCOMPARE(report({path(QStringLiteral("none.QM3")), QStringLiteral("-o"), pdf}), 2);
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(report({in, QStringLiteral("-o"), pdf}), 0);
        QCOMPARE(QFile::permissions(pdf), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString shown = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(shown.contains(QStringLiteral("0612345678")) && shown.contains(QStringLiteral("site.QM3")),
                 qPrintable(shown));
    }

    // "-" and the process's own descriptors are written as the shell opened
    // them: with >> what the file held stays.
    void outputsToStandardOutputAppend_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("starts"); // what follows the old line
        const QString site = QStringLiteral("site.QM3"), json = QStringLiteral("site.json");
        QTest::newRow("export -o /dev/stdout") << QStringList{"export", site, "-o", "/dev/stdout"} << QByteArray("{");
        QTest::newRow("export -o /proc/self/fd/1") << QStringList{"export", site, "-o", "/proc/self/fd/1"} << QByteArray("{");
        QTest::newRow("export -o -") << QStringList{"export", site, "-o", "-"} << QByteArray("{");
        QTest::newRow("export") << QStringList{"export", site} << QByteArray("{");
        QTest::newRow("import -o -") << QStringList{"import", json, "-o", "-"} << QByteArray(); // 1088 bytes
        QTest::newRow("set -o -") << QStringList{"set", site, "REL1=90", "-o", "-"} << QByteArray(1088, '\x5a');
        QTest::newRow("report -o -") << QStringList{"report", site, "-o", "-"} << QByteArray("%PDF");
    }
    void outputsToStandardOutputAppend()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, starts);
        ImageBytes image;
        image.fill(0x5a);
        FieldModel::store(image, *FieldModel::findField(u"REL1"), QStringLiteral("90"));
        save(path(QStringLiteral("site.QM3")), image);
        QVERIFY(run({QStringLiteral("export"), path(QStringLiteral("site.QM3")), QStringLiteral("-o"),
                     path(QStringLiteral("site.json"))}).status == Cli::ExitDone);
        for (QString &arg : args)
            if (arg.startsWith(QLatin1String("site.")))
                arg = path(arg);
        const QString log = path(QStringLiteral("log.txt"));
        QFile old(log);
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("old line\n");
        old.close();
        QProcess p;
        p.setStandardOutputFile(log, QIODevice::Append);
        p.start(QStringLiteral(QUELMAR_PARAMS), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray written = contents(log);
        QVERIFY2(written.startsWith("old line\n" + starts), written.left(40).constData());
        if (starts.size() == 1088 || args.first() == QLatin1String("import"))
            QCOMPARE(written.size(), 9 + 1088);
        QVERIFY(QFileInfo(log).isFile());
    }

    // What cannot be written to standard output fails the command, with the
    // system's reason, in-process and as the executable.
    void fullStandardOutputFails_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("show") << QStringList{"show", "site.QM3"};
        QTest::newRow("show --json") << QStringList{"show", "site.QM3", "--json"};
        QTest::newRow("export") << QStringList{"export", "site.QM3"};
        QTest::newRow("export -o -") << QStringList{"export", "site.QM3", "-o", "-"};
        QTest::newRow("import -o -") << QStringList{"import", "site.json", "-o", "-"};
    }
    void fullStandardOutputFails()
    {
        QFETCH(QStringList, args);
        save(path(QStringLiteral("site.QM3")), ImageBytes{});
        QVERIFY(run({QStringLiteral("export"), path(QStringLiteral("site.QM3")), QStringLiteral("-o"),
                     path(QStringLiteral("site.json"))}).status == Cli::ExitDone);
        for (QString &arg : args)
            if (arg.startsWith(QLatin1String("site.")))
                arg = path(arg);
        const QString expected = QStringLiteral("quelmar-params: standard output: No space left on device\n");
        QFile full(QStringLiteral("/dev/full"));
        QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QString err;
        QTextStream outStream(&full), errStream(&err);
        Cli::Io io{outStream, errStream, nullptr, false};
        QCOMPARE(Cli::runParams(args, io), Cli::ExitDiffers);
        QVERIFY2(err.endsWith(expected), qPrintable(err));
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(QUELMAR_PARAMS), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()), expected);
    }

    void importHelpSaysOutputIsRequired()
    {
        const Run help = run({QStringLiteral("import"), QStringLiteral("--help")});
        QVERIFY2(help.out.contains(QStringLiteral("-o, --output OUT  The parameter file to write (required;")),
                 qPrintable(help.out));
        QVERIFY(!help.out.contains(QStringLiteral("Write to OUT instead")));
    }

    // An empty name is a usage error, never standard output or the current folder.
    void emptyNamesAreUsageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("export -o ''") << QStringList{"export", "site.QM3", "-o", ""} << "export: -o needs a value";
        QTest::newRow("import -o ''") << QStringList{"import", "-", "-o", ""} << "import: -o needs a value";
        QTest::newRow("report -o ''") << QStringList{"report", "site.QM3", "-o", ""} << "report: -o needs a value";
        QTest::newRow("--backup ''") << QStringList{"write", "--port", "COM40", "site.QM3", "--backup", ""}
                                     << "write: --backup needs a value";
        QTest::newRow("--trace ''") << QStringList{"status", "--port", "COM40", "--trace", ""}
                                    << "status: --trace needs a value";
    }
    void emptyNamesAreUsageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        save(path(QStringLiteral("site.QM3")), ImageBytes{});
        for (QString &arg : args)
            if (arg.startsWith(QLatin1String("site.")))
                arg = path(arg);
        const Run r = run(args);
        QCOMPARE(r.status, Cli::ExitUsage);
        QVERIFY2(r.err.startsWith(QStringLiteral("quelmar-params: ") + message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }

    // Only a regular file of exactly 1088 bytes is a parameter file; anything
    // else is refused before any other work, a port included.
    void notParameterFilesAreRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("reason");
        const QString json = QStringLiteral("site.json"), size = QStringLiteral("; a parameter file has 1088)");
        const QString notRegular = QStringLiteral("not a parameter file (not a regular file; a parameter file has 1088 bytes)");
        QTest::newRow("set on JSON") << QStringList{"set", json, "USER1=1"} << json << "not a parameter file (JSONSIZE bytes" + size;
        QTest::newRow("write JSON") << QStringList{"write", "--port", "COM40", json, "--verify"} << json
                                    << "not a parameter file (JSONSIZE bytes" + size;
        QTest::newRow("compare JSON") << QStringList{"compare", "--port", "COM40", json} << json
                                      << "not a parameter file (JSONSIZE bytes" + size;
        QTest::newRow("diff longer") << QStringList{"diff", "long.QM3", "site.QM3"} << "long.QM3"
                                     << "not a parameter file (1588 bytes" + size;
        QTest::newRow("show /dev/zero") << QStringList{"show", "/dev/zero"} << "/dev/zero" << notRegular;
        QTest::newRow("report folder") << QStringList{"report", ".", "-o", "x.pdf"} << "." << notRegular;
        QTest::newRow("import FIFO") << QStringList{"import", "fifo", "-o", "x.QM3"} << "fifo"
                                     << "not a regular file (- reads standard input)";
    }
    void notParameterFilesAreRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, refused);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QStringList files{"site.json", "site.QM3", "long.QM3", "fifo", "x.QM3", "x.pdf"};
        const auto in = [&](const QString &name) { return files.contains(name) ? dir.filePath(name) : name; };
        ImageBytes image{};
        QFile site(dir.filePath(QStringLiteral("site.QM3")));
        QVERIFY(site.open(QIODevice::WriteOnly));
        site.write(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
        site.close();
        QVERIFY(QFile::copy(site.fileName(), dir.filePath(QStringLiteral("long.QM3"))));
        QFile longer(dir.filePath(QStringLiteral("long.QM3")));
        QVERIFY(longer.open(QIODevice::Append));
        longer.write(QByteArray(500, 'x'));
        longer.close();
        QCOMPARE(run({QStringLiteral("export"), site.fileName(), QStringLiteral("-o"), dir.filePath(QStringLiteral("site.json"))}).status, Cli::ExitDone);
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
        const QByteArray jsonBefore = contents(dir.filePath(QStringLiteral("site.json")));
        for (QString &arg : args)
            if (!(arg == QLatin1String(".")))
                arg = in(arg);
            else
                arg = dir.path();
        if (refused == QLatin1String("."))
            refused = dir.path();
        else
            refused = in(refused);
        reason.replace(QStringLiteral("JSONSIZE"), QString::number(jsonBefore.size()));
        const Run r = run(args);
        QCOMPARE(r.status, Cli::ExitUsage);
        QCOMPARE(r.err, QStringLiteral("quelmar-params: %1: %2\n").arg(refused, reason));
        QCOMPARE(contents(dir.filePath(QStringLiteral("site.json"))), jsonBefore);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.QM3"))) && !QFile::exists(in(QStringLiteral("x.pdf"))));
    }

    // An output that is one of the command's inputs, however spelled, is
    // refused and nothing is written; a trace never replaces what is not one.
    void outputOverAnInputIsRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("export") << QStringList{"export", "site.QM3", "-o", "./site.QM3"}
                                << "./site.QM3: is an input of this command (site.QM3); nothing was written";
        QTest::newRow("report through a link") << QStringList{"report", "site.QM3", "-o", "link.pdf"}
                                               << "link.pdf: is an input of this command (site.QM3); nothing was written";
        QTest::newRow("import over its JSON") << QStringList{"import", "sub/../site.json", "-o", "site.json"}
                                              << "site.json: is an input of this command (sub/../site.json); nothing was written";
        QTest::newRow("import over its base") << QStringList{"import", "site.json", "--base", "site.QM3", "-o", "site.QM3"}
                                              << "site.QM3: is an input of this command (site.QM3); nothing was written";
        QTest::newRow("trace over the file") << QStringList{"compare", "--port", "COM40", "site.QM3", "--trace", "site.QM3"}
                                             << "site.QM3: not a trace file; nothing was traced";
        QTest::newRow("trace over JSON") << QStringList{"status", "--port", "COM40", "--trace", "site.json"}
                                         << "site.json: not a trace file; nothing was traced";
    }
    void outputOverAnInputIsRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        ImageBytes image{};
        image[0] = 7;
        const QString site = dir.filePath(QStringLiteral("site.QM3")), json = dir.filePath(QStringLiteral("site.json"));
        save(site, image);
        QCOMPARE(run({QStringLiteral("export"), site, QStringLiteral("-o"), json}).status, Cli::ExitDone);
        QVERIFY(QFile::link(site, dir.filePath(QStringLiteral("link.pdf"))));
        const QByteArray siteBefore = contents(site), jsonBefore = contents(json);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(dir.path()); // the names as a user types them
        const Run r = run(args);
        QDir::setCurrent(cwd);
        QCOMPARE(r.status, Cli::ExitUsage);
        QCOMPARE(r.err, QStringLiteral("quelmar-params: ") + message + u'\n');
        QCOMPARE(contents(site), siteBefore);
        QCOMPARE(contents(json), jsonBefore);
    }

    // Input checks: a key given twice, one port spelled two ways, values the
    // module stores differently.
    void inputChecks_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const QByteArray head = "{\"format\": \"quelmar-parameters\", \"version\": 1, \"fields\": {";
        QTest::newRow("duplicate key") << QStringList{"import", "-", "-o", "out.QM3"}
                                       << head + "\"USER1\": \"1\", \"REL1\": 2, \"USER1\": \"2\"}}" << int(Cli::ExitUsage)
                                       << "quelmar-params: -: \"USER1\": given twice\n";
        QTest::newRow("duplicate escaped key") << QStringList{"import", "-", "-o", "out.QM3"}
                                               << head + "\"USER1\": \"1\", \"US\\u0045R1\": \"2\"}}" << int(Cli::ExitUsage)
                                               << "quelmar-params: -: \"USER1\": given twice\n";
        QTest::newRow("no key twice") << QStringList{"import", "-", "-o", "out.QM3"}
                                               << head + "\"REL1\": 3, \"REL2\": 4}}"
                                               << int(Cli::ExitDone) << "";
        QTest::newRow("COM49 twice") << QStringList{"status", "--port", "COM49,COM049"} << QByteArray() << int(Cli::ExitUsage)
                                     << "quelmar-params: --port: COM49 is given twice\n";
        QTest::newRow("set Ű") << QStringList{"set", "out.QM3", "SMS2=Űr"} << QByteArray() << int(Cli::ExitDone)
                               << "quelmar-params: SMS2: Űr is stored as Ür\n";
        QTest::newRow("import Ű") << QStringList{"import", "-", "-o", "out.QM3"} << head + "\"SMS2\": \"Ű\"}}"
                                  << int(Cli::ExitDone) << "quelmar-params: SMS2: Ű is stored as Ü\n";
    }
    void inputChecks()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, err);
        const QString out = path(QStringLiteral("out.QM3"));
        save(out, ImageBytes{});
        const QByteArray before = contents(out);
        for (QString &arg : args)
            if (arg == QLatin1String("out.QM3"))
                arg = out;
        const Run r = run(args, input);
        QCOMPARE(r.err, err);
        QCOMPARE(r.status, status);
        QCOMPARE(contents(out) == before, status != Cli::ExitDone);
    }

    // A port that cannot be opened is named with its device and the system's text.
    void portErrorsGiveTheSystemsReason()
    {
        const Run r = run({QStringLiteral("status"), QStringLiteral("--port"), QStringLiteral("COM36")});
        QCOMPARE(r.status, Cli::ExitDiffers);
        static const QRegularExpression line(QStringLiteral(R"(^COM36: cannot open /\S+: No such file or directory\n$)"));
        QVERIFY2(line.match(r.err).hasMatch(), qPrintable(r.err));
    }

    // Folders the command line makes, and the trace, fail with the system's
    // reason and name their path once; no port is opened for it.
    void folderAndTraceErrorsGiveTheSystemsReason_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("status");
        const QString file = QStringLiteral("plain.QM3");
        QTest::newRow("read -o folder") << QStringList{"read", "--port", "COM40,COM41", "-o", file + "/x"}
                                        << file + "/x: cannot make the folder: Not a directory" << int(Cli::ExitUsage);
        QTest::newRow("trace folder") << QStringList{"status", "--port", "COM40,COM41", "--trace", file + "/t"}
                                      << file + "/t: cannot make the folder: Not a directory" << int(Cli::ExitUsage);
        QTest::newRow("backup folder") << QStringList{"write", "--port", "COM40", file, "--backup", file + "/b"}
                                       << file + "/b: cannot make the folder: Not a directory" << int(Cli::ExitUsage);
        QTest::newRow("trace file") << QStringList{"status", "--port", "COM40", "--trace", "none/t.trace"}
                                    << "none/t.trace: No such file or directory" << int(Cli::ExitDiffers);
    }
    void folderAndTraceErrorsGiveTheSystemsReason()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QFETCH(int, status);
        save(path(QStringLiteral("plain.QM3")), ImageBytes{});
        for (QString &arg : args)
            if (arg.contains(QLatin1Char('/')) || arg.endsWith(QLatin1String(".QM3")))
                arg = path(arg);
        const Run r = run(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(path(message)), qPrintable(r.err));
        QCOMPARE(r.err.count(path(message).section(QLatin1Char(':'), 0, 0)), 1);
    }

    // Another user's link in a sticky folder is not written through; a folder
    // others may write or own keeps no backup, said before any port is opened.
    void sharedFoldersAreRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("set -o through a planted link")
            << QStringList{"set", "plain.QM3", "APN=x", "-o", "sticky/site.QM3"}
            << "sticky/site.QM3: a link that another user made in a shared folder; nothing was written";
        QTest::newRow("read -o through a planted link")
            << QStringList{"read", "--port", "COM40", "-o", "sticky/site.QM3"}
            << "sticky/site.QM3: a link that another user made in a shared folder; nothing was written";
        QTest::newRow("backup into a folder for all")
            << QStringList{"write", "--port", "COM40", "plain.QM3", "--backup", "sticky"}
            << "sticky: writable by other users; nothing was kept";
        QTest::newRow("backup into another's folder")
            << QStringList{"write", "--port", "COM40", "plain.QM3", "--backup", "theirs"}
            << "theirs: belongs to another user; nothing was kept";
    }
    void sharedFoldersAreRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QUELMAR_REQUIRE_TWO_USERS();
        QTemporaryDir dir;
        const QByteArray sticky = QFile::encodeName(dir.filePath(QStringLiteral("sticky")));
        const QByteArray theirs = QFile::encodeName(dir.filePath(QStringLiteral("theirs")));
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0 && ::mkdir(sticky.constData(), 0700) == 0
                && ::chmod(sticky.constData(), 01777) == 0 && ::mkdir(theirs.constData(), 0700) == 0
                && ::chown(theirs.constData(), OtherUser::uid(), OtherUser::gid()) == 0);
        const QString target = dir.filePath(QStringLiteral("roots.QM3"));
        save(target, ImageBytes{});
        save(dir.filePath(QStringLiteral("plain.QM3")), ImageBytes{});
        QVERIFY(OtherUser::run(
            [&] { return ::symlink(QFile::encodeName(target).constData(), sticky + "/site.QM3") == 0; }));
        for (QString &arg : args)
            if (QStringList{"plain.QM3", "sticky/site.QM3", "sticky", "theirs"}.contains(arg))
                arg = dir.filePath(arg);
        const Run r = run(args);
        QCOMPARE(r.err, QStringLiteral("quelmar-params: ") + dir.filePath(message) + QLatin1Char('\n'));
        QCOMPARE(r.status, Cli::ExitUsage);
        QCOMPARE(contents(target), QByteArray(EEAddr::ImageSize, '\0'));
        QCOMPARE(QDir(QFile::decodeName(sticky)).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestParamsCli)
#include "tst_paramscli.moc"
