// Path conventions in both forms, and directory listings.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "Paths.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

class TestPaths : public QObject {
    Q_OBJECT
private slots:
    void roots_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<int>("length");
        QTest::newRow("drive") << "D:\\photo\\cat" << "D:" << 2;
        QTest::newRow("share") << "\\\\srv\\share\\lib\\cat" << "\\\\srv\\share" << 11;
        QTest::newRow("share only") << "\\\\srv\\share" << "\\\\srv\\share" << 11;
        QTest::newRow("server only") << "\\\\srv" << "\\\\srv" << 5;
        QTest::newRow("posix") << "/media/disk/photo" << "/m" << 2;
        // A drive path's root length is 2 even when the text is shorter.
        QTest::newRow("one character") << "C" << "C" << 2;
    }
    void roots()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QFETCH(int, length);
        QCOMPARE(PathRoot(path), root);
        QCOMPARE(PathRootLength(path), length);
    }

    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("child");
        QTest::newRow("windows") << "D:\\photo\\旅行" << "旅行" << "D:\\photo\\旅行\\x";
        QTest::newRow("windows drive root") << "C:\\" << "" << "C:\\x";
        QTest::newRow("share") << "\\\\srv\\share" << "share" << "\\\\srv\\share\\x";
        QTest::newRow("posix") << "/home/u/写真" << "写真" << "/home/u/写真/x";
        QTest::newRow("posix root") << "/" << "" << "/x";
        QTest::newRow("posix backslash in name") << "/home/u/a\\b" << "a\\b" << "/home/u/a\\b/x";
        QTest::newRow("no separator") << "lib.mdb" << "lib.mdb" << "lib.mdb/x";
        QTest::newRow("empty") << "" << "" << "/x";
    }
    void names()
    {
        QFETCH(QString, path);
        QFETCH(QString, last);
        QFETCH(QString, child);
        QCOMPARE(LastPathPart(path), last);
        QCOMPARE(ChildPath(path, QStringLiteral("x")), child);
    }

    // Name order without regard to case (it sets the order, and so the keys, of registration).
    void listingsAreSortedAndSkipHiddenEntries()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path() + '/';
        for (const char *n : {"b", "C", "A", ".hidden", "c d", "日本"})
            makeDir(d + QString::fromUtf8(n));
        for (const char *n : {"z.JPG", "a.jpg", ".h.jpg", "B.jpeg", "c.jpeg", "x.jpg.txt"})
            writeFile(d + QString::fromUtf8(n), "x");
        QVERIFY(QFile::link(d + "b", d + "link"));
        QCOMPARE(ListFolders(d), (QStringList{"A", "b", "C", "c d", "link", "日本"}));
        QCOMPARE(ListFiles(d, "*.jpg"), (QStringList{"a.jpg", "z.JPG"}));
        QCOMPARE(ListFiles(d), (QStringList{"a.jpg", "B.jpeg", "c.jpeg", "x.jpg.txt", "z.JPG"}));
        QCOMPARE(ListFolders(d + "missing"), QStringList());
        QVERIFY(IsNormalFile(d + "a.jpg"));
        for (const QString &no : {d + ".h.jpg", d + "A", d + "none", QString()})
            QVERIFY2(!IsNormalFile(no), qPrintable(no));
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
