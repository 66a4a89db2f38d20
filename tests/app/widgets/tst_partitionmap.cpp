// The demo disks (tools/demo) and images made with sfdisk beside them: what the
// report and the metrics say of the demo disks, the report's JSON layout against
// what `sfdisk --json` implies, the geometry of the offscreen partition map, its
// link to the table in the window, and a refresh after a partition is added.
#include <QJsonArray>
#include <QJsonDocument>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "../../platform/disks/DiskTools.h"
#include "DemoTree.h"
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/Resources.h"
#include "app/widgets/DriveSelection.h"
#include "app/widgets/PartitionMap.h"
#include "model/NodeUtils.h"
#include "model/OneColumn.h"
#include "model/Partitions.h"
#include "platform/disks/BlockCache.h"
#include "platform/disks/PartMan.h"
#include "platform/sim/SimBackend.h"
#include "report/Report.h"

using namespace Applications::DriveScope;
using namespace TestSupport;
using Model::LayoutSegment;

namespace {

QJsonObject segment(quint64 start, quint64 end, const char *kind, quint32 number = 0)
{
    return {{"start", double(start)},
            {"end", double(end)},
            {"kind", kind},
            {"number", number ? QJsonValue(double(number)) : QJsonValue()}};
}

} // namespace

class TestPartitionMap : public QObject {
    Q_OBJECT

    PartitionMap *map() const { return m_window->findChild<PartitionMap *>("mapPart"); }
    bool select(const QString &path)
    {
        auto *list = m_window->findChild<Libraries::Widgets::DriveSelection::Widget *>("driveselect");
        // Drives are read off the window's thread: wait until this one is shown.
        QSignalSpy shown(m_window.get(), &MainWindow::driveShown);
        if (!QTest::qWaitFor([&] { return list->model()->rowCount() == m_nodes.size(); }) || !list->select(path) ||
            m_window->currentNode() != path ||
            !QTest::qWaitFor([&] { return !shown.isEmpty() && shown.last().value(0).toString() == path; }))
            return false;
        m_window->findChild<QTabWidget *>("tbInfos")->setCurrentWidget(m_window->findChild<QWidget *>("tbPart"));
        return true;
    }

    QTemporaryDir m_dir;
    QJsonObject m_nodes;
    std::unique_ptr<MainWindow> m_window;

private Q_SLOTS:
    void initTestCase()
    {
        const QString missing = missingTool({"sfdisk", "sgdisk", "fdisk", "mkfs.vfat", "mkfs.ext4", "mkswap"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " is not installed"));
        initResources();
        QVERIFY(m_dir.isValid());
        QString error = runScript(
            m_dir.path(), QString("bash '%1/tools/demo/make_disk_images.sh' images >/dev/null").arg(SOURCE_DIR));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QFile demo(SOURCE_DIR "/examples/nodes/demo/disks.json");
        QVERIFY(demo.open(QIODevice::ReadOnly));
        const QJsonObject demoNodes = QJsonDocument::fromJson(demo.readAll()).object().value("nodes").toObject();
        for (auto it = demoNodes.begin(); it != demoNodes.end(); ++it) {
            if (it.value().toObject().value("storage").toObject().contains("image"))
                m_nodes.insert(it.key(), it.value());
        }
        // Images beside the demo disks, made with sfdisk from the scripts named as the drives.
        QFile maps(TESTS_DIR "/data/app/partitionmap/tree.json");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QJsonObject mapNodes = QJsonDocument::fromJson(maps.readAll())["nodes"].toObject();
        for (auto it = mapNodes.begin(); it != mapNodes.end(); ++it) {
            error = runScript(
                m_dir.path(),
                QString("truncate -s %1 images/%2.img && sfdisk -q images/%2.img < "
                        "'%3/data/app/partitionmap/%2.sfdisk'")
                    .arg(quint64(it->toObject().value("storage").toObject().value("blockCount").toDouble()) * 512)
                    .arg(it.key().section('/', -1), TESTS_DIR));
            QVERIFY2(error.isEmpty(), qPrintable(error));
            m_nodes.insert(it.key(), it.value());
        }
        QVERIFY(DemoTree::write(m_dir.filePath("tree.json"), QJsonObject{{"nodes", m_nodes}}));
        Services::Nodes::Backend::install(Services::Nodes::Sim::createBackend(m_dir.filePath("tree.json")));
        QVERIFY(Services::Nodes::Backend::instance().available());
    }

    void init()
    {
        m_window = std::make_unique<MainWindow>();
        m_window->resize(1024, 640);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    // The drives whose table sfdisk reads.
    void layoutAndInteraction_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("image");
        for (const QString &path : m_nodes.keys()) {
            if (!path.startsWith("/devices/map/") && !path.endsWith("/gpt0") && !path.endsWith("/mbr0"))
                continue;
            QTest::newRow(qPrintable(path))
                << path << m_dir.filePath(m_nodes.value(path)["storage"]["image"].toString());
        }
    }

    void layoutAndInteraction()
    {
        QFETCH(QString, path);
        QFETCH(QString, image);
        Acquisition acquisition;
        const QJsonObject drive = driveJson(acquisition, path, path);
        const QJsonArray layout = drive["tabs"]["Partitions"]["layout"].toArray();
        // Every entry sfdisk lists (the logical ones inside the extended one);
        // the free ranges between them up to the last usable block in the golden.
        const RefTable table = sfdiskTable(image);
        QVERIFY(table.partitions.size() >= 2);
        for (const RefPartition &p : table.partitions) {
            const bool extended = table.label == "dos" && QStringList{"05", "0F", "85"}.contains(p.type);
            QVERIFY2(
                layout.contains(segment(p.start, p.start + p.size - 1, extended ? "extended" : "partition", p.number)),
                qPrintable(QString("partition %1").arg(p.number)));
        }
        COMPARE_GOLDEN("app/layouts/" + path.section('/', -1) + ".json", QString(QJsonDocument(layout).toJson()));

        QVERIFY(select(path));
        PartitionMap *map = this->map();
        QVERIFY(map->isVisible());
        const QList<LayoutSegment> &segments = map->partitionLayout().segments;
        QCOMPARE(segments.size(), layout.size());
        // The top row fills the bar from edge to edge in disk order; what lies inside an
        // extended partition stays within it; every partition keeps the least width.
        QRect extended;
        int x = 1;
        for (int i = 0; i < segments.size(); ++i) {
            const QRect r = map->segmentRect(i);
            const QString where = QString("segment %1 at %2").arg(i).arg(segments[i].start);
            if (segments[i].inside) {
                QVERIFY2(extended.contains(r), qPrintable(where));
            } else {
                QVERIFY2(r.left() == x, qPrintable(where));
                x = r.right() + 1;
            }
            if (segments[i].kind == LayoutSegment::Extended)
                extended = r;
            if (segments[i].kind != LayoutSegment::Free)
                QVERIFY2(r.width() >= map->minimumPartitionWidth(), qPrintable(where));
        }
        QCOMPARE(x, map->width() - 1);

        // A click on a partition selects its group in the table, scrolled into view.
        auto *view = m_window->findChild<QTableView *>("tvPart");
        const auto *adapter = qobject_cast<Model::OneColumn *>(view->model());
        QVERIFY(adapter);
        int partitions = 0;
        for (int i = int(segments.size()) - 1; i >= 0; --i) {
            if (segments[i].kind == LayoutSegment::Free)
                continue;
            ++partitions;
            // A click below the top edge: an extended partition shows its title there.
            QTest::mouseClick(map, Qt::LeftButton, {},
                              map->segmentRect(i).topLeft() + QPoint(map->segmentRect(i).width() / 2, 3));
            const int title = adapter->headerRows().value(segments[i].index + 1);
            QCOMPARE(view->selectionModel()->selectedIndexes().value(0).row(), title);
            QVERIFY(view->viewport()->rect().intersects(view->visualRect(adapter->index(title, 0))));
            QCOMPARE(map->currentSegment(), i);

            // A row in the group before highlights the partition before, or nothing for the table's group.
            const int before = adapter->headerRows().value(segments[i].index);
            view->selectionModel()->setCurrentIndex(adapter->index(before + 1, 1), QItemSelectionModel::ClearAndSelect);
            if (segments[i].index == 0)
                QCOMPARE(map->currentSegment(), -1);
            else
                QCOMPARE(segments.value(map->currentSegment()).index, segments[i].index - 1);
        }
        QVERIFY(partitions >= 2);

        // The arrows walk the partitions in disk order, and the table follows.
        map->setFocus();
        QTest::keyClick(map, Qt::Key_Home);
        QList<int> visited;
        while (!visited.contains(map->currentSegment())) {
            visited << map->currentSegment();
            const int title = adapter->headerRows().value(segments.value(visited.last()).index + 1);
            QCOMPARE(view->selectionModel()->selectedIndexes().value(0).row(), title);
            QTest::keyClick(map, Qt::Key_Right);
        }
        QCOMPARE(visited.size(), partitions);
        QVERIFY(std::is_sorted(visited.begin(), visited.end()));
    }

    // The demo disks of tools/demo: each image as large as its node says; the
    // report's layout, table kind and count of each (kept in
    // tests/expected/app/demo-disks.txt), its count in the metrics (none for a file
    // system on the whole disk, no sample for a table that cannot be read); one
    // report reads at most 256 KiB per partition beyond the table.
    void demoDisks()
    {
        QString metrics, said;
        QTextStream m(&metrics), s(&said);
        QCOMPARE(runReport({"--prometheus"}, m, s), 0);
        Acquisition acquisition;
        QString out;
        for (const QString &path : m_nodes.keys()) {
            const QJsonObject storage = m_nodes.value(path).toObject().value("storage").toObject();
            QCOMPARE(QFileInfo(m_dir.filePath(storage.value("image").toString())).size(),
                     qint64(storage.value("blockSize").toDouble() * storage.value("blockCount").toDouble()));
            if (!path.startsWith("/devices/disks/"))
                continue;
            out += "== " + path + '\n';
            const QStringList text = driveText(acquisition, path, path);
            for (qsizetype i = text.indexOf("-- Partitions [enabled]"); i >= 0 && i + 1 < text.size(); ++i) {
                if (text[i + 1].startsWith("-- "))
                    break;
                if (QRegularExpression("^   LAYOUT|^     PARTITION(S| TABLE TYPE):").match(text[i + 1]).hasMatch())
                    out += text[i + 1] + '\n';
            }
            const QRegularExpression sample("^drivescope_partitions\\{drive=\"" + QRegularExpression::escape(path) +
                                                "\".*$",
                                            QRegularExpression::MultilineOption);
            out += "   metrics: " + (metrics.contains(sample) ? sample.match(metrics).captured(0) : "no sample") + '\n';

            // One report of the drive, through the storage it shares while held here.
            using namespace Services::Nodes;
            const Ref<Provider> provider = Provider::create(Services::Filesystem::Client::Nodes::open(path), 0);
            const Ref<Interfaces::Storage> held = Providers::Storage::create(provider);
            QVERIFY(held);
            QString report, err;
            QTextStream o(&report), e(&err);
            QCOMPARE(runReport({"--drive", path, "--json"}, o, e), 0);
            auto tableOnly = std::make_shared<Libraries::Disks::BlockCache>(Backend::instance().storage(provider));
            using Libraries::Disks::PartMan::PartitionManager;
            PartitionManager::create(tableOnly, nullptr, nullptr, PartitionManager::NoFilesystemProbe);
            // A disk without table is probed as one volume.
            const int partitions = Model::Partitions(openGeneric(path, 0, false), path).rowCount() - 1;
            QVERIFY2(
                held->bytesRead() <= tableOnly->bytesRead() + quint64(qMax(1, partitions)) * 256 * 1024,
                qPrintable(path +
                           QString(": %1 bytes, the table %2").arg(held->bytesRead()).arg(tableOnly->bytesRead())));
        }
        COMPARE_GOLDEN("app/demo-disks.txt", out);
    }

    void refreshAfterAddedPartition()
    {
        const QString path = QStringLiteral("/devices/map/gaps");
        QVERIFY(select(path));
        const int before = int(map()->partitionLayout().segments.size());
        const QString image = m_dir.filePath("images/gaps.img");
        const QString error = runScript(m_dir.path(), "echo 'start=49152, size=8192' | sfdisk -q -a " + image);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QSignalSpy shown(m_window.get(), &MainWindow::driveShown);
        m_window->findChild<QPushButton *>("btnReload")->click();
        QVERIFY(shown.count() == 1 || shown.wait());
        // Right after the last partition: the free range after it shrinks.
        const QList<LayoutSegment> &segments = map()->partitionLayout().segments;
        QCOMPARE(segments.size(), before + 1);
        QCOMPARE(segments.value(before - 1).number, 4u);
        QCOMPARE(map()->segmentRect(before).right(), map()->width() - 2);
    }
};

QTEST_MAIN(TestPartitionMap)
#include "tst_partitionmap.moc"
