// The privileged helper's protocol: what is not a plain request for a whole
// disk sysfs lists is refused before any device is touched, one overlong line
// does not end the helper, values keep kind, name and bytes, and a helper
// that ends leaves the window its own data and one sentence. (The helper
// at work, as root behind pkexec for an unprivileged window: tst_fullaccess.)
#include <QtTest>

#include "TestSupport.h"
#include "platform/linux/HelperProtocol.h"

#include <future>

#include <sys/socket.h>
#include <unistd.h>

using namespace Services::Nodes::Linux;

namespace {
const QString synthetic = QStringLiteral(TESTS_DIR "/data/sysfs/synthetic/sys");
} // namespace

class TestHelper : public QObject {
    Q_OBJECT
    const Reader reader{synthetic, QStringLiteral(TESTS_DIR "/data/sysfs/no-dev")};

private slots:
    // Cases in tests/data/platform/helper-refusals.txt, and an overlong line.
    void refusals_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("error");
        QFile cases(QStringLiteral(TESTS_DIR "/data/platform/helper-refusals.txt"));
        QVERIFY(cases.open(QIODevice::ReadOnly));
        for (const QByteArray &line : cases.readAll().split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (!line.startsWith('#') && f.size() == 3)
                QTest::newRow(f[0].constData()) << f[1] << QString::fromUtf8(f[2]);
        }
        QTest::newRow("oversized") << QByteArray(R"({"op":"raw","drive":")") + QByteArray(5000, 'a') + "\"}"
                                   << "longer than 4096";
    }
    void refusals()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, error);
        auto io = std::make_shared<TestSupport::FakeDevices>(synthetic);
        const Reader counted(synthetic, QStringLiteral(TESTS_DIR "/data/sysfs/no-dev"), io);
        const QJsonObject reply = QJsonDocument::fromJson(Helper::answer(counted, request)).object();
        QCOMPARE(reply["ok"].toBool(true), false);
        QVERIFY2(reply["error"].toString().contains(error), qPrintable(reply["error"].toString()));
        QCOMPARE(io->opens(), QStringList());
    }

    // An overlong line is answered once and skipped; the next request is
    // answered, and the end of input ends the helper.
    void lines()
    {
        int pair[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        const QByteArray input = QByteArray(20000, 'x') + "\n{\"op\":\"hello\"}\n";
        QCOMPARE(::write(pair[0], input.constData(), size_t(input.size())), ssize_t(input.size()));
        ::shutdown(pair[0], SHUT_WR);
        QCOMPARE(Helper::serve(reader, pair[1], pair[1]), 0);
        ::close(pair[1]);
        QFile out;
        QVERIFY(out.open(pair[0], QIODevice::ReadOnly, QFile::AutoCloseHandle));
        const QList<QByteArray> replies = out.readAll().split('\n');
        QCOMPARE(replies.size(), 3);
        QVERIFY(replies[0].contains("longer than"));
        QCOMPARE(replies[1], QByteArray(R"({"ok":true,"protocol":1})"));
    }

    // Values keep kind, name and bytes on the way through the protocol.
    void values()
    {
        PropertyTable table;
        table.set("A", {Variant::ofInt(0xFFFFFFFFFFFFFFFFull, "A"), Variant::ofText(QString::fromUtf8("é\n"))});
        table.set("B", {Variant::ofBuffer(QByteArray("\0\xff", 2), "VPD_PAGE_0"), Variant::none(),
                        Variant::ofList({Variant::ofInt(1)}, "L")});
        const auto back = Helper::tableFrom(Helper::tableJson(table));
        QVERIFY(back);
        QCOMPARE(back->entries(), table.entries());
        QVERIFY(!Helper::tableFrom(QJsonArray{QJsonArray{"A", QJsonArray{QJsonObject{{"int", "12"}}}}}));
        QVERIFY(!Helper::tableFrom(QJsonArray{QJsonArray{"A", QJsonArray{QJsonObject{{"buffer", "abc"}}}}}));
    }

    // While the prompt is open nothing waits for it: the disk shows what
    // sysfs gives, with nothing said yet.
    void promptOpen()
    {
        const auto source = startHelper({"/bin/sh", "-c", "read line; read line"}, nullptr);
        DiskProperties props(reader, *describeDisk(reader, "sda"));
        props.setRawSource(source);
        QVERIFY(props.node(true).contains("NAME"));
        QVERIFY(props.notes().log.isEmpty());
        QVERIFY(source->errors().isEmpty());
    }

    // A helper that ends after the greeting: the disk is read with this
    // process's own rights, and one sentence says the helper ended.
    void helperEnds()
    {
        std::promise<bool> answered;
        const auto source = startHelper({"/bin/sh", "-c", R"(echo '{"ok":true,"protocol":1}'; read line)"},
                                        [&](bool ready) { answered.set_value(ready); });
        QVERIFY(answered.get_future().get());
        const auto disk = describeDisk(reader, "sda");
        QVERIFY(disk);
        DiskProperties props(reader, *disk);
        props.setRawSource(source);
        QVERIFY(props.node(true).contains("NAME"));
        QCOMPARE(props.notes().log.filter("No raw data for sda").size(), 1);
        QCOMPARE(source->errors().size(), 1);
        QVERIFY(source->errors()[0].contains("helper for full drive access has ended"));
        QCOMPARE(source->errors(), source->errors());
    }
};

QTEST_GUILESS_MAIN(TestHelper)
#include "tst_helper.moc"
