// Watches the one device node that the main window shows, on a thread of its
// own, and reports its removal and changes by the queued signal nodeEvent.
#pragma once
#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>

#include "platform/Nodes.h"

namespace Applications::DriveScope::Handler {

class Node : public QObject {
    Q_OBJECT
public:
    enum Event { Added = 0, Removed = 1, Changed = 2 };
    Q_ENUM(Event)

    explicit Node(QObject *parent = nullptr);
    ~Node() override;

    // From the GUI thread: watch `path` from now on; an empty path stops
    // watching. Setting the path being watched again changes nothing, so a
    // caller may set it after every refresh without causing an event.
    void setNode(const QString &path);
    // The path being watched (empty when none).
    QString node() const;
    // True once the worker holds a device client for node(): from then on no
    // event of that node is missed.
    bool watching() const;
    // Ends process(): the loop emits finished() and returns.
    void stop();

signals:
    void nodeEvent(QString node, Applications::DriveScope::Handler::Node::Event type);
    void finished();

public slots:
    // The worker loop: sleeps while there is nothing to watch, blocks in the
    // device client while there is. Runs until stop().
    void process();

private:
    void emitEvent(const QString &node, quint32 clientType);

    mutable QMutex m_mutex;
    QWaitCondition m_wakeUp;
    QString m_path;
    bool m_stop = false;
    Ref<DeviceClient> m_client;
    QString m_clientPath;     // the node m_client watches
    quint64 m_generation = 0; // counts setNode calls that changed something
};

} // namespace Applications::DriveScope::Handler

Q_DECLARE_METATYPE(Applications::DriveScope::Handler::Node::Event)
