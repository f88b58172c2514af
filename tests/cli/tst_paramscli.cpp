// quelmar-params on parameter files: set and import per encoding, diff on
// random images, input errors that write nothing, and the real executable's
// exit status.

#include "cli/CommandLine.h"
#include "params/FieldModel.h"
#include "params/ParameterFile.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

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
        const QString expected = FieldModel::formatValue(field, FieldModel::parseValue(field, text).value);
        for (const QString &written : {file, out}) {
            const ImageBytes image = imageOf(written);
            QCOMPARE(FieldModel::formatValue(field, FieldModel::Decode(image, field)), expected);
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
            QCOMPARE(r.err, QStringLiteral("quelmar-params: %1: Read beyond end of file\n").arg(shortFile));
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
        QCOMPARE(report({path(QStringLiteral("none.QM3")), QStringLiteral("-o"), pdf}), 2);
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(report({in, QStringLiteral("-o"), pdf}), 0);
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString shown = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(shown.contains(QStringLiteral("0612345678")) && shown.contains(QStringLiteral("site.QM3")),
                 qPrintable(shown));
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
};

QTEST_GUILESS_MAIN(TestParamsCli)
#include "tst_paramscli.moc"
