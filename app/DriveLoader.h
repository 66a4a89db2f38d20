// Acquires drive records on a worker thread, so that the window never waits
// on a device: a slow bridge delays the tabs of its drive, not the window.
#pragma once
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

#include "model/DriveData.h"

class QThread;

namespace Applications::DriveScope {

class DriveLoader : public QObject {
    Q_OBJECT
public:
    explicit DriveLoader(QObject *parent = nullptr);
    // Waits for the acquisition under way, if any.
    ~DriveLoader() override;

    // Starts acquiring the drive at `path`; loaded() brings the record. A
    // newer load supersedes older ones: their records are dropped unseen.
    void load(const QString &path, const QString &name);
    // Drops the records of every load so far.
    void cancel() { ++m_latest; }

signals:
    // On the loader's thread, with the models living there. `record` is null
    // when the node could not be opened; the receiver takes ownership.
    void loaded(const QString &path, const QString &name, Applications::DriveScope::DriveData *record);

private:
    QThread *m_thread;
    QObject *m_worker;
    std::atomic<quint64> m_latest{0};
};

} // namespace Applications::DriveScope
