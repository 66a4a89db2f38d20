// The lines drivescope-report --watch prints for a change of the drive list.
#include <QtTest>

#include "report/Report.h"

using namespace Applications::DriveScope;
using Services::Nodes::DriveEntry;

class TestWatch : public QObject {
    Q_OBJECT
private slots:
    void lines_data()
    {
        QTest::addColumn<QList<DriveEntry>>("before");
        QTest::addColumn<QList<DriveEntry>>("after");
        QTest::addColumn<QStringList>("expected");

        const DriveEntry sda{"/devices/block/sda", "DISK A (sda)"}, sdb{"/devices/block/sdb", "STICK (sdb)"};
        const DriveEntry sdbOther{"/devices/block/sdb", "OTHER STICK (sdb)"};
        QTest::newRow("nothing changed") << QList<DriveEntry>{sda, sdb} << QList<DriveEntry>{sda, sdb} << QStringList();
        QTest::newRow("removed and added at once")
            << QList<DriveEntry>{sda} << QList<DriveEntry>{sdb}
            << QStringList{R"j({"event":"remove","name":"DISK A (sda)","path":"/devices/block/sda"})j",
                           R"j({"event":"add","name":"STICK (sdb)","path":"/devices/block/sdb"})j"};
        QTest::newRow("same node, other drive")
            << QList<DriveEntry>{sda, sdb} << QList<DriveEntry>{sda, sdbOther}
            << QStringList{R"j({"event":"change","name":"OTHER STICK (sdb)","path":"/devices/block/sdb"})j"};
    }

    void lines()
    {
        QFETCH(QList<DriveEntry>, before);
        QFETCH(QList<DriveEntry>, after);
        QFETCH(QStringList, expected);
        QCOMPARE(watchLines(before, after), expected);
    }
};

QTEST_GUILESS_MAIN(TestWatch)
#include "tst_watch.moc"
