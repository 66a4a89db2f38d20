#include "app/NodeHandler.h"

#include "platform/Log.h"

namespace {
const int LogChannel = SysLogFilter::reg("NodeHandler");
} // namespace

namespace Applications::DriveScope::Handler {

Node::Node(QObject *parent) : QObject(parent) {}

Node::~Node()
{
    QMutexLocker lock(&m_mutex);
    m_client.reset();
}

void Node::setNode(const QString &path)
{
    {
        QMutexLocker lock(&m_mutex);
        // The window sets its node again after every refresh. Interrupting the
        // client for an unchanged path would be read back as an event of that
        // node and schedule the next refresh, and so on forever.
        if (m_client && path == m_path)
            return;
        if (m_client)
            m_client->interrupt();
        m_path = path;
        ++m_generation;
        // Woken under the lock: once it is released, a stopping worker may be gone.
        m_wakeUp.wakeAll();
    }
}

QString Node::node() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

bool Node::watching() const
{
    QMutexLocker lock(&m_mutex);
    return m_client && !m_path.isEmpty() && m_clientPath == m_path;
}

void Node::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        if (m_client)
            m_client->interrupt();
        m_wakeUp.wakeAll();
    }
}

void Node::emitEvent(const QString &node, quint32 clientType)
{
    switch (clientType) {
    case DeviceClient::Added:
        emit nodeEvent(node, Added);
        break;
    case DeviceClient::Removed:
        emit nodeEvent(node, Removed);
        break;
    case DeviceClient::Changed:
        emit nodeEvent(node, Changed);
        break;
    default:
        // An interrupt without an event behind it (type 0), or a type of no
        // meaning to the window.
        break;
    }
}

void Node::process()
{
    SysLog::thdName(QStringLiteral("NodeHandler"));
    QMutexLocker lock(&m_mutex);
    // The generation of setNode calls already acted upon: the worker sleeps
    // until a newer one arrives, so a call made between two waits is not lost.
    quint64 seen = 0;
    for (;;) {
        while (!m_stop && m_generation == seen)
            m_wakeUp.wait(&m_mutex);
        if (m_stop)
            break;
        seen = m_generation;
        QString current = m_path;
        if (current.isEmpty())
            continue;
        m_client = DeviceClient::create(current, false);
        m_clientPath = current;
        Ref<DeviceClient> client = m_client;
        if (!client)
            continue;
        SysLog::write(LogChannel, LogLevel::Routine, QStringLiteral("Watching node ") + current);
        lock.unlock();

        for (;;) {
            while (!client->wait(0xFFFFFFFF)) {
            }
            lock.relock();
            if (m_stop)
                break;
            if (m_path == current) {
                lock.unlock();
                const quint32 type = client->eventType();
                client->acknowledge();
                emitEvent(current, type);
                continue;
            }
            // Interrupted for another path.
            client->acknowledge();
            seen = m_generation;
            current = m_path;
            if (current.isEmpty())
                break;
            m_client = DeviceClient::create(current, false);
            m_clientPath = current;
            client = m_client;
            if (!client)
                break;
            SysLog::write(LogChannel, LogLevel::Routine, QStringLiteral("Watching node ") + current);
            lock.unlock();
        }
        // Still locked: the GUI thread must not interrupt a client being released.
        m_client.reset();
        client.reset();
    }
    lock.unlock();
    emit finished();
}

} // namespace Applications::DriveScope::Handler
