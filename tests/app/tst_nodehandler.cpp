// The node watcher: events of the watched node reach the window as the three
// window events, switching and emptying the path, sleeping and waking, and no
// event for setting the same node again.
#include <QtTest>

#include <QThread>
#include <mutex>

#include "TestSupport.h"
#include "app/NodeHandler.h"
#include "platform/sim/QueuedClient.h"

using Applications::DriveScope::Handler::Node;

namespace {

// A device client the test posts events to. A bare interrupt reads back as
// event type 0, or, for a "sticky" client, as the last event type seen: the
// worker must not report either as a change of the node.
class ScriptedClient : public Services::Nodes::Sim::QueuedClient {
public:
    explicit ScriptedClient(bool sticky) : m_sticky(sticky) {}
    quint32 eventType() override
    {
        const quint32 type = QueuedClient::eventType();
        return type || !m_sticky ? type : m_last.load();
    }
    void acknowledge() override
    {
        if (const quint32 type = QueuedClient::eventType())
            m_last = type;
        QueuedClient::acknowledge();
    }

private:
    const bool m_sticky;
    std::atomic<quint32> m_last{0};
};

// Hands out scripted clients and remembers the latest per path; "/bad" cannot be watched.
class ScriptedBackend : public TestSupport::MemoryBackend {
public:
    Ref<DeviceClient> deviceClient(const QString &path) override
    {
        std::lock_guard lock(mutex);
        if (path == QLatin1String("/bad"))
            return nullptr;
        auto client = std::make_shared<ScriptedClient>(sticky);
        latest[path] = client;
        ++made[path];
        return client;
    }
    // The latest client made for `path` while the worker still holds it.
    std::shared_ptr<ScriptedClient> live(const QString &path)
    {
        std::lock_guard lock(mutex);
        return latest.value(path).lock();
    }
    int created(const QString &path)
    {
        std::lock_guard lock(mutex);
        return made.value(path);
    }

    std::mutex mutex;
    bool sticky = false;
    QMap<QString, std::weak_ptr<ScriptedClient>> latest;
    QMap<QString, int> made;
};

} // namespace

class TestNodeHandler : public QObject {
    Q_OBJECT

    // Waits until the worker holds a client for `path`; null after 5 s.
    std::shared_ptr<ScriptedClient> watching(const QString &path)
    {
        std::shared_ptr<ScriptedClient> client;
        (void)QTest::qWaitFor([&] { return bool(client = m_backend->live(path)); }, 5000);
        return client;
    }

    ScriptedBackend *m_backend = nullptr;
    Node *m_node = nullptr;
    QThread *m_thread = nullptr;
    QList<std::pair<QString, Node::Event>> m_received; // node, event

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<Node::Event>("Applications::DriveScope::Handler::Node::Event"); }

    void init()
    {
        auto backend = std::make_unique<ScriptedBackend>();
        m_backend = backend.get();
        Services::Nodes::Backend::install(std::move(backend));
        m_received.clear();
        m_node = new Node;
        m_thread = new QThread;
        m_node->moveToThread(m_thread);
        connect(m_thread, &QThread::started, m_node, &Node::process);
        connect(m_node, &Node::finished, m_thread, &QThread::quit, Qt::DirectConnection);
        // Queued into this thread, so the list is only touched here.
        const auto record = [this](const QString &node, Node::Event type) { m_received.append({node, type}); };
        connect(m_node, &Node::nodeEvent, this, record, Qt::QueuedConnection);
    }

    // Stopping ends the loop (the thread ends on its finished signal) and releases every client.
    void cleanup()
    {
        if (m_thread->isRunning()) {
            m_node->stop();
            QVERIFY(m_thread->wait(5000));
            for (const auto &client : std::as_const(m_backend->latest))
                QVERIFY(client.expired());
        }
        delete m_node;
        delete m_thread;
    }

    void clientEventTypes_data()
    {
        QTest::addColumn<quint32>("clientType");
        QTest::addColumn<int>("expected"); // -1: no signal
        QTest::newRow("added") << 1u << int(Node::Added);
        QTest::newRow("removed") << 2u << int(Node::Removed);
        QTest::newRow("changed") << 3u << int(Node::Changed);
        QTest::newRow("none") << 0u << -1;
        QTest::newRow("unknown") << 4u << -1;
        QTest::newRow("large") << 0xFFFFFFFFu << -1;
    }

    void clientEventTypes()
    {
        QFETCH(quint32, clientType);
        QFETCH(int, expected);
        m_thread->start();
        m_node->setNode("/devices/a");
        auto client = watching("/devices/a");
        QVERIFY(client);
        client->post(clientType);
        // A marker event after it (another type: the same twice is one event):
        // once it arrives, anything before it has too.
        const bool removed = clientType == DeviceClient::Removed;
        client->post(removed ? DeviceClient::Added : DeviceClient::Removed);
        QTRY_VERIFY(!m_received.isEmpty() && m_received.last().second == (removed ? Node::Added : Node::Removed));
        QCOMPARE(m_received.size(), expected < 0 ? 1 : 2);
        if (expected >= 0)
            QCOMPARE(m_received.first(), std::make_pair(QString("/devices/a"), Node::Event(expected)));
    }

    // A path set before the start is picked up; switching (past a node that cannot
    // be watched) or emptying the path releases the old client, so its events go
    // nowhere; the same path set again gets a fresh client.
    void switchesNodes()
    {
        m_node->setNode("/devices/a");
        m_thread->start();
        std::weak_ptr<ScriptedClient> a = watching("/devices/a");
        QVERIFY(!a.expired());
        m_node->setNode("/bad");
        m_node->setNode("/devices/b");
        std::weak_ptr<ScriptedClient> b = watching("/devices/b");
        QVERIFY(!b.expired());
        QTRY_VERIFY(a.expired());
        b.lock()->post(DeviceClient::Changed);
        QTRY_COMPARE(m_received.size(), 1);
        QCOMPARE(m_received.first(), std::make_pair(QString("/devices/b"), Node::Changed));

        m_node->setNode(QString());
        QTRY_VERIFY(b.expired());
        m_node->setNode("/devices/a");
        auto again = watching("/devices/a");
        QVERIFY(again);
        QCOMPARE(m_backend->created("/devices/a"), 2);
        again->post(DeviceClient::Removed);
        QTRY_COMPARE(m_received.size(), 2);
        QCOMPARE(m_received.last().second, Node::Removed);
    }

    void settingSameNodeCausesNoEvent_data()
    {
        QTest::addColumn<bool>("sticky");
        QTest::newRow("bare interrupt reads as 0") << false;
        QTest::newRow("bare interrupt repeats last type") << true;
    }

    // The window sets its node after every refresh: that must not look like a
    // change, or each refresh would schedule the next.
    void settingSameNodeCausesNoEvent()
    {
        QFETCH(bool, sticky);
        m_backend->sticky = sticky;
        m_thread->start();
        m_node->setNode("/devices/a");
        auto client = watching("/devices/a");
        QVERIFY(client);
        client->post(DeviceClient::Changed);
        QTRY_COMPARE(m_received.size(), 1);

        for (int i = 0; i < 5; ++i)
            m_node->setNode("/devices/a");
        // A marker event: once it arrives, anything the calls above caused has too.
        client->post(DeviceClient::Removed);
        QTRY_COMPARE(m_received.size(), 2);
        QCOMPARE(m_received.last().second, Node::Removed);
        QCOMPARE(m_backend->created("/devices/a"), 1);
    }
};

QTEST_GUILESS_MAIN(TestNodeHandler)
#include "tst_nodehandler.moc"
