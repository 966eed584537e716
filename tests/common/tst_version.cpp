#include "common/UrlFileName.h"
#include "common/Version.h"

#include <QTest>

class TestVersion : public QObject
{
    Q_OBJECT
private slots:
    void thisRelease()
    {
        QCOMPARE(AppVersion::Major(), 4);
        QCOMPARE(AppVersion::Minor(), 1);
        QCOMPARE(AppVersion::Revision(), 0);
        QCOMPARE(AppVersion::ShortText(), QStringLiteral("4.1"));
        QCOMPARE(AppVersion::FullText(), QStringLiteral("4.1.0"));
        QCOMPARE(AppVersion::LocalNumber(), 41.0);
    }

    void localNumber_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<double>("expected");
        QTest::newRow("1.3") << 1 << 3 << 13.0;
        QTest::newRow("1.12") << 1 << 12 << 112.0;
        QTest::newRow("2.0") << 2 << 0 << 20.0;
        QTest::newRow("4.1") << 4 << 1 << 41.0;
        QTest::newRow("1.10 outranks 2.0") << 1 << 10 << 110.0;
    }
    void localNumber()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(double, expected);
        QCOMPARE(AppVersion::LocalNumber(major, minor), expected);
    }

    void readPublishedNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "14" << 14.0;
        QTest::newRow("line end") << "14\r\n" << 14.0;
        QTest::newRow("leading blanks, tabs, line feeds") << " \t\n 14" << 14.0;
        QTest::newRow("word after") << " 14 (beta)" << 14.0;
        QTest::newRow("one full stop") << "1.3" << 1.3;
        QTest::newRow("blank between digits") << "1 4" << 14.0;
        QTest::newRow("tab and line feed between digits") << "1\t\n4x" << 14.0;
        QTest::newRow("second full stop ends it") << "1.2.3" << 1.2;
        QTest::newRow("starts with a full stop") << ".5" << 0.5;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blanks only") << "  \n" << 0.0;
        QTest::newRow("lone full stop") << "." << 0.0;
        QTest::newRow("word") << "abc" << 0.0;
        QTest::newRow("error page") << "<html><body>404</body></html>" << 0.0;
        QTest::newRow("minus sign") << "-14" << 0.0;
        QTest::newRow("carriage return first") << "\r14" << 0.0;
        QTest::newRow("too long to hold") << QString(400, u'9') << 0.0;
    }
    void readPublishedNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(AppVersion::ReadPublishedNumber(text), expected);
    }

    void isNewer_data()
    {
        QTest::addColumn<double>("published");
        QTest::addColumn<double>("local");
        QTest::addColumn<bool>("newer");
        QTest::newRow("equal") << 13.0 << 13.0 << false;
        QTest::newRow("greater") << 14.0 << 13.0 << true;
        QTest::newRow("smaller") << 12.0 << 13.0 << false;
        QTest::newRow("2.0 after 1.10") << 20.0 << 110.0 << false;
        QTest::newRow("unreadable file") << 0.0 << 41.0 << false;
        QTest::newRow("fraction above") << 41.5 << 41.0 << true;
    }
    void isNewer()
    {
        QFETCH(double, published);
        QFETCH(double, local);
        QFETCH(bool, newer);
        QCOMPARE(AppVersion::IsNewer(published, local), newer);
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("installer") << "http://www.kvr.example/Soft/kvr/setup-kvr.exe" << "setup-kvr.exe";
        QTest::newRow("https") << "https://www.kvr.example/Soft/kvr/setup-kvr.exe" << "";
        QTest::newRow("capital scheme") << "HTTP://www.kvr.example/setup-kvr.exe" << "";
        QTest::newRow("mixed-case scheme") << "Http://www.kvr.example/setup-kvr.exe" << "";
        QTest::newRow("prefix alone") << "http://" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("one character") << "h" << "";
        QTest::newRow("shorter than the prefix") << "http:/" << "";
        QTest::newRow("no path, host taken as name") << "http://a.b" << "a.b";
        QTest::newRow("no path, no full stop") << "http://localhost" << "";
        QTest::newRow("one-character name") << "http://h/x" << "";
        QTest::newRow("name without full stop") << "http://h/Soft/setup" << "";
        QTest::newRow("full stop only last") << "http://h/Soft/setup." << "";
        QTest::newRow("name starting with full stop") << "http://h/Soft/.setup" << ".setup";
        QTest::newRow("two-character name") << "http://h/a.b" << "a.b";
        QTest::newRow("query kept") << "http://h/setup.exe?v=2" << "setup.exe?v=2";
        QTest::newRow("ends with /") << "http://h/Soft/kvr/" << "";
        QTest::newRow("ends with / after a dotted part") << "http://h/Soft/setup.exe/" << "";
        QTest::newRow("ends with //") << "http://h/Soft//" << "";
        QTest::newRow("parent folder") << "http://h/Soft/.." << "";
        QTest::newRow("backslashes climb out") << "http://h/..\\..\\setup.exe" << "";
    }
    void fileName()
    {
        QFETCH(QString, url);
        QFETCH(QString, expected);
        QCOMPARE(GetFileName(url), expected);
    }
};

QTEST_MAIN(TestVersion)
#include "tst_version.moc"
