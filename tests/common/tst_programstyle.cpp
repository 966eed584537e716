#include "common/ui/ProgramStyle.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <memory>

namespace {

bool imagePluginLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/imageformats/");
}

QImage picture(const QIcon &icon, const QSize &size)
{
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestProgramStyle : public QObject
{
    Q_OBJECT
private slots:
    // Runs first: nothing in this process has read a picture yet.
    void toolbarIsMadeWithoutImagePlugins()
    {
        QVERIFY(!imagePluginLoaded());
        QApplication::setLayoutDirection(Qt::RightToLeft);
        QApplication::setStyle(ProgramStyle(QStringLiteral("Fusion")));
        qApp->setStyleSheet(QStringLiteral("QToolBar { background: #ddeeff; }"));
        QMainWindow window;
        auto *bar = new QToolBar(&window);
        window.addToolBar(bar);
        auto *arrow = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
        QVERIFY(arrow);
        QVERIFY(!arrow->icon().isNull());
        QVERIFY(!imagePluginLoaded());
        qApp->setStyleSheet(QString());
    }

    // The overflow arrows are the pictures Qt's own style gives.
    void arrowsAreQtsOwn_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("direction");
        QTest::newRow("horizontal, right to left") << int(QStyle::SP_ToolBarHorizontalExtensionButton) << int(Qt::RightToLeft);
        QTest::newRow("horizontal, left to right") << int(QStyle::SP_ToolBarHorizontalExtensionButton) << int(Qt::LeftToRight);
        QTest::newRow("vertical") << int(QStyle::SP_ToolBarVerticalExtensionButton) << int(Qt::RightToLeft);
    }
    void arrowsAreQtsOwn()
    {
        QFETCH(int, which);
        QFETCH(int, direction);
        QStyleOption option;
        option.direction = Qt::LayoutDirection(direction);
        const auto sp = QStyle::StandardPixmap(which);
        const std::unique_ptr<QStyle> ours(ProgramStyle(QStringLiteral("Fusion")));
        const std::unique_ptr<QStyle> qts(QStyleFactory::create(QStringLiteral("Fusion")));
        for (const QSize size : {QSize(8, 8), QSize(16, 16), QSize(32, 32)})
            QCOMPARE(picture(ours->standardIcon(sp, &option), size), picture(qts->standardIcon(sp, &option), size));
        // Every other picture is Qt's.
        QCOMPARE(picture(ours->standardIcon(QStyle::SP_DialogOkButton, &option), QSize(16, 16)),
                 picture(qts->standardIcon(QStyle::SP_DialogOkButton, &option), QSize(16, 16)));
    }

    void namesTheStyleUnderneath()
    {
        for (const QString &name : QStyleFactory::keys()) {
            const std::unique_ptr<QStyle> style(ProgramStyle(name));
            QVERIFY(style);
            QVERIFY(IsProgramStyle(style.get()));
            QCOMPARE(StyleName(style.get()).toLower(), name.toLower());
        }
        QVERIFY(!ProgramStyle(QStringLiteral("no such style")));
        const std::unique_ptr<QStyle> plain(QStyleFactory::create(QStringLiteral("Fusion")));
        QVERIFY(!IsProgramStyle(plain.get()));
        QCOMPARE(StyleName(plain.get()).toLower(), QStringLiteral("fusion"));
    }
};

QTEST_MAIN(TestProgramStyle)
#include "tst_programstyle.moc"
