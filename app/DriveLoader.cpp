#include "app/DriveLoader.h"

#include <QThread>

#include "model/Acquisition.h"
#include "model/Ata.h"
#include "model/General.h"
#include "model/NVMe.h"
#include "model/PCI.h"
#include "model/Partitions.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/Smart.h"
#include "model/USB.h"

namespace Applications::DriveScope {

namespace {

// Lives on the worker thread with its own Acquisition (which is not shared
// between threads).
class Worker : public QObject {
public:
    Acquisition acquisition;
};

void moveModels(DriveData &d, QThread *target)
{
    const QList<QObject *> models = {d.general.get(), d.partitions.get(), d.smart.get(),  d.ata.get(), d.nvme.get(),
                                     d.usb.get(),     d.scsi.get(),       d.sdemmc.get(), d.pci.get()};
    for (QObject *model : models) {
        if (model)
            model->moveToThread(target);
    }
}

} // namespace

DriveLoader::DriveLoader(QObject *parent) : QObject(parent), m_thread(new QThread), m_worker(new Worker)
{
    m_thread->setObjectName(QStringLiteral("DriveLoader"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

DriveLoader::~DriveLoader()
{
    m_latest = 0;
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

void DriveLoader::load(const QString &path, const QString &name)
{
    const quint64 id = ++m_latest;
    QThread *home = thread();
    auto *worker = static_cast<Worker *>(m_worker);
    QMetaObject::invokeMethod(
        worker,
        [this, worker, home, id, path, name] {
            if (id != m_latest)
                return; // a newer load is queued
            // Freed with the lambda below unless handed over.
            auto record = std::make_shared<std::unique_ptr<DriveData>>(worker->acquisition.acquireDrive(path, name));
            if (*record)
                moveModels(**record, home);
            QMetaObject::invokeMethod(
                this,
                [this, id, path, name, record] {
                    if (id == m_latest)
                        emit loaded(path, name, record->release());
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace Applications::DriveScope
