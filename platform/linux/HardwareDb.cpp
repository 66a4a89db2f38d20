#include "platform/linux/HardwareDb.h"

#include <QMutex>
#include <libudev.h>

namespace Services::Nodes::Linux {

namespace {

// The database is opened once and kept: opening maps a file of several MiB.
struct Database {
    udev *context = nullptr;
    udev_hwdb *hwdb = nullptr;
    QMutex mutex;
    Database()
    {
        context = udev_new();
        if (context)
            hwdb = udev_hwdb_new(context);
    }
    ~Database()
    {
        if (hwdb)
            udev_hwdb_unref(hwdb);
        if (context)
            udev_unref(context);
    }
};

Database &database()
{
    static Database db;
    return db;
}

} // namespace

QString hardwareDatabaseName(HardwareBus bus, quint16 vendor, int product)
{
    // Keys as the kernel's modalias starts: "pci:v00001AF4d00001042", "usb:v1D6Bp0002".
    const bool pci = bus == HardwareBus::Pci;
    const auto hex = [pci](int value) {
        return QString::number(value, 16).toUpper().rightJustified(pci ? 8 : 4, QLatin1Char('0'));
    };
    QString key = (pci ? QStringLiteral("pci:v") : QStringLiteral("usb:v")) + hex(vendor);
    if (product >= 0)
        key += (pci ? QStringLiteral("d") : QStringLiteral("p")) + hex(product);
    const char *property = product >= 0 ? "ID_MODEL_FROM_DATABASE" : "ID_VENDOR_FROM_DATABASE";

    Database &db = database();
    QMutexLocker lock(&db.mutex);
    if (!db.hwdb)
        return QString();
    const QByteArray modalias = key.toLatin1();
    udev_list_entry *entry = udev_hwdb_get_properties_list_entry(db.hwdb, modalias.constData(), 0);
    for (; entry; entry = udev_list_entry_get_next(entry)) {
        if (qstrcmp(udev_list_entry_get_name(entry), property) == 0)
            return QString::fromUtf8(udev_list_entry_get_value(entry));
    }
    return QString();
}

} // namespace Services::Nodes::Linux
