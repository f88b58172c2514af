// The folders of src/ form a one-way graph: no folder includes, directly or
// through others, a folder that includes it. The checker reads the quoted
// #include lines; the same checker runs on small trees written for the test.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>

namespace {

// folder -> included folder -> the include lines behind that edge.
using FolderGraph = QMap<QString, QMap<QString, QStringList>>;

QString folderOf(const QString &relativePath)
{
    const qsizetype slash = relativePath.indexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : relativePath.left(slash);
}

// An include counts when it names a file of the tree, either beside the
// including file or from the root (the include path the build gives).
FolderGraph readGraph(const QString &rootPath)
{
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s*\"([^\"]+)\""),
                                            QRegularExpression::MultilineOption);
    const QDir root(rootPath);
    FolderGraph graph;
    QDirIterator files(rootPath, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString file = root.relativeFilePath(path);
        const QString from = folderOf(file);
        QFile source(path);
        if (from.isEmpty() || !source.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(source.readAll());
        for (const auto &match : include.globalMatch(text)) {
            const QString name = match.captured(1);
            for (const QString &candidate : {QFileInfo(path).dir().filePath(name), root.filePath(name)}) {
                const QString target = root.relativeFilePath(QDir::cleanPath(candidate));
                if (!QFileInfo::exists(candidate) || target.startsWith(QLatin1String("..")))
                    continue;
                const QString to = folderOf(target);
                if (!to.isEmpty() && to != from)
                    graph[from][to] << file + QStringLiteral(" includes ") + name;
                break;
            }
        }
    }
    return graph;
}

// One entry per cycle: the folders that reach each other (a strongly
// connected component), then every include line between them.
QStringList findCycles(const FolderGraph &graph)
{
    QMap<QString, int> index, low;
    QStringList stack, cycles;
    std::function<void(const QString &)> visit = [&](const QString &folder) {
        index[folder] = low[folder] = static_cast<int>(index.size());
        stack << folder;
        for (const QString &next : graph.value(folder).keys()) {
            if (!index.contains(next)) {
                visit(next);
                low[folder] = std::min(low[folder], low[next]);
            } else if (stack.contains(next)) {
                low[folder] = std::min(low[folder], index[next]);
            }
        }
        if (low[folder] != index[folder])
            return;
        QStringList members;
        do
            members << stack.takeLast();
        while (members.last() != folder);
        if (members.size() < 2)
            return;
        members.sort();
        QStringList lines;
        for (const QString &a : members)
            for (const QString &b : members)
                lines << graph.value(a).value(b);
        lines.sort();
        cycles << members.join(QStringLiteral(", ")) + QStringLiteral(": ") + lines.join(QStringLiteral("; "));
    };
    for (const QString &folder : graph.keys())
        if (!index.contains(folder))
            visit(folder);
    cycles.sort();
    return cycles;
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator files(from, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(path);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(path, target))
            return false;
    }
    return true;
}

// "path: text" adds a line of text to the file, creating it.
bool addLines(const QString &root, const QStringList &additions)
{
    for (const QString &addition : additions) {
        const qsizetype colon = addition.indexOf(QStringLiteral(": "));
        const QString path = root + QLatin1Char('/') + addition.left(colon);
        QFile file(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::Append))
            return false;
        file.write(addition.mid(colon + 2).toUtf8() + '\n');
    }
    return true;
}

} // namespace

class TestIncludeGraph : public QObject
{
    Q_OBJECT

private slots:
    void folderCycles_data();
    void folderCycles();
};

void TestIncludeGraph::folderCycles_data()
{
    QTest::addColumn<bool>("startFromSource");
    QTest::addColumn<QStringList>("additions");
    QTest::addColumn<QStringList>("cycles");

    QTest::newRow("src") << true << QStringList() << QStringList();
    QTest::newRow("editor window included from params")
        << true << QStringList{QStringLiteral("params/Transfer.cpp: #include \"editor/Settings.h\"")}
        << QStringList{QStringLiteral("editor, params: params/Transfer.cpp includes editor/Settings.h")};
    // The report shows the module's state, so it joins that cycle too.
    QTest::newRow("main window included from status")
        << true << QStringList{QStringLiteral("status/StatusDisplay.h: #include \"main/MainForm.h\"")}
        << QStringList{QStringLiteral("main, report, status: status/StatusDisplay.h includes main/MainForm.h")};
    QTest::newRow("one way, local, system, missing and commented includes")
        << false
        << QStringList{QStringLiteral("a/A.cpp: #include \"A.h\""), QStringLiteral("a/A.h: #include <QString>"),
                       QStringLiteral("a/A.cpp: #include \"b/B.h\""), QStringLiteral("a/A.cpp:  #  include \"c/C.h\""),
                       QStringLiteral("b/B.h: #include \"c/C.h\""), QStringLiteral("c/C.h: #include \"d/None.h\""),
                       QStringLiteral("c/C.h: // #include \"a/A.h\""), QStringLiteral("c/C.h: #include <b/B.h>")}
        << QStringList();
    QTest::newRow("three folders round")
        << false
        << QStringList{QStringLiteral("a/A.h: #include \"b/B.h\""), QStringLiteral("b/B.h: #include \"c/C.h\""),
                       QStringLiteral("c/C.h: #include \"a/A.h\""), QStringLiteral("d/D.h: #include \"a/A.h\"")}
        << QStringList{QStringLiteral("a, b, c: a/A.h includes b/B.h; b/B.h includes c/C.h; c/C.h includes a/A.h")};
    QTest::newRow("relative path and two separate cycles")
        << false
        << QStringList{QStringLiteral("a/x/A.cpp: #include \"../../b/B.h\""), QStringLiteral("b/B.h: #include \"a/A.h\""),
                       QStringLiteral("a/A.h: "), QStringLiteral("c/C.h: #include \"d/D.h\""),
                       QStringLiteral("d/D.h: #include \"c/C.h\"")}
        << QStringList{QStringLiteral("a, b: a/x/A.cpp includes ../../b/B.h; b/B.h includes a/A.h"),
                       QStringLiteral("c, d: c/C.h includes d/D.h; d/D.h includes c/C.h")};
}

void TestIncludeGraph::folderCycles()
{
    QFETCH(bool, startFromSource);
    QFETCH(QStringList, additions);
    QFETCH(QStringList, cycles);

    QString root = QStringLiteral(QUELMAR_SOURCE_DIR);
    QTemporaryDir tree;
    if (!additions.isEmpty()) {
        QVERIFY(tree.isValid());
        if (startFromSource)
            QVERIFY(copyTree(root, tree.path()));
        QVERIFY(addLines(tree.path(), additions));
        root = tree.path();
    }
    const FolderGraph graph = readGraph(root);
    QVERIFY2(!graph.isEmpty(), "no include between folders was read");
    const QStringList found = findCycles(graph);
    QVERIFY2(found.size() == cycles.size(), qPrintable(found.join(QLatin1Char('\n'))));
    for (qsizetype i = 0; i < cycles.size(); ++i) {
        // In a copy of src/ other includes of the cycle may come and go; the
        // added one must be named.
        if (!startFromSource) {
            QCOMPARE(found[i], cycles[i]);
            continue;
        }
        const QString folders = cycles[i].section(QStringLiteral(": "), 0, 0);
        QCOMPARE(found[i].section(QStringLiteral(": "), 0, 0), folders);
        QVERIFY2(found[i].contains(cycles[i].section(QStringLiteral(": "), 1)), qPrintable(found[i]));
    }
}

QTEST_MAIN(TestIncludeGraph)
#include "tst_includegraph.moc"
