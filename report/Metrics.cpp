// Drive metrics in the Prometheus text format: one record per drive, then the
// samples family by family, as the format wants every family in one block.
#include "report/Metrics.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Ata.h"
#include "model/NodeUtils.h"
#include "model/NvmeHealth.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "platform/disks/PartMan.h"

namespace Applications::DriveScope {

using namespace Model;
using Services::Nodes::DriveEntry;

namespace {

// What the metrics say of one drive; unset optionals are left out.
struct DriveRecord {
    QString path, device, model, serial, firmware, interface, type;
    bool read = false, supported = false;
    std::optional<quint64> sizeBytes;
    std::optional<bool> asleep;
    std::optional<quint32> partitions;
    std::optional<bool> healthy;
    QList<SmartAttribute> attributes;
    std::optional<NvmeHealth> nvme;
};

// The first text of a value, looking into a nested list (a multi-path drive's serials).
QString firstText(const PropertyValue &value)
{
    if (value.isEmpty())
        return QString();
    const Variant &v = value.first();
    if (v.kind == Variant::List)
        return firstText(v.list);
    if (v.kind == Variant::Integer)
        return QString::number(v.integer);
    return v.kind == Variant::Text ? v.text.trimmed() : QString();
}

QString property(const Ref<Interfaces::Generic> &generic, const char *name)
{
    return generic ? firstText(generic->read(QString::fromLatin1(name))) : QString();
}

QString firstOf(std::initializer_list<QString> texts)
{
    for (const QString &t : texts)
        if (!t.isEmpty())
            return t;
    return QString();
}

// IDENTIFY words 23-26: the firmware revision, two characters per word, high byte first.
QString identifyFirmware(const QByteArray &identify)
{
    if (identify.size() != 512)
        return QString();
    QByteArray text;
    for (int word = 23; word <= 26; ++word)
        text += identify.at(2 * word + 1) + QByteArray(1, identify.at(2 * word));
    return QString::fromLatin1(text).trimmed();
}

QString interfaceNames(quint32 bits)
{
    static const struct {
        quint32 bit;
        const char *name;
    } names[] = {{DriveData::Ata, "ata"},
                 {DriveData::Nvme, "nvme"},
                 {DriveData::Usb, "usb"},
                 {DriveData::Scsi, "scsi"},
                 {DriveData::Card, "card"}};
    QStringList list;
    for (const auto &n : names)
        if (bits & n.bit)
            list << QLatin1String(n.name);
    return list.join(QLatin1Char(','));
}

// The NVMe health log the drive node offers as the set "NVME_SMART_LOG".
std::optional<NvmeHealth> nvmeHealthOf(const Ref<Interfaces::Generic> &generic)
{
    const QString set = QStringLiteral("NVME_SMART_LOG");
    bool offered = false;
    for (int i = 0; generic && i < generic->propertySetCount() && !offered; ++i)
        offered = generic->propertySetName(i) == set;
    if (!offered)
        return std::nullopt;
    const PropertyValue log = generic->request({Variant::ofInt(1, set)});
    return log.isEmpty() ? std::nullopt : decodeNvmeHealth(log.first().buffer);
}

DriveRecord collect(Acquisition &acquisition, const DriveEntry &entry, bool volumeServer)
{
    DriveRecord r;
    r.path = entry.path;
    r.device = kernelName(entry.path);
    r.supported = acquisition.isDriveSupported(entry.path);
    const std::unique_ptr<DriveData> data = acquisition.acquireDrive(entry.path, entry.label);
    if (!data)
        return r;
    r.read = true;
    const Ref<Interfaces::Generic> g0 = openGeneric(entry.path, 0, false);
    const Ref<Interfaces::Generic> g1 =
        data->interfaces & (DriveData::Nvme | DriveData::Scsi) ? openGeneric(entry.path, 1, false) : nullptr;
    r.model = firstOf({property(g1, "MODEL"), property(g0, "MODEL"), property(g0, "NAME")});
    r.serial = firstOf({property(g0, "SERIAL"), property(g1, "SERIAL"), property(g1, "VPD_SERIAL")});
    r.firmware =
        firstOf({property(g1, "FIRMWARE"), property(g0, "FIRMWARE"),
                 data->ata ? identifyFirmware(data->ata->identify()) : QString(), property(g1, "SCSI_REVISION")});
    r.type = property(g0, "TYPE");
    r.interface = interfaceNames(data->interfaces);
    r.asleep = property(g0, "ATA_POWER_MODE") == QLatin1String("STANDBY");

    Ref<Interfaces::Storage> storage;
    Ref<Interfaces::Lockable> lockable;
    if (openStorage(entry.path, storage, lockable) || storage) {
        r.sizeBytes = storage->blockSize() * storage->blockCount();
        using Libraries::Disks::PartMan::PartitionManager;
        // The table only: probing file systems would read far more of the drive.
        // A drive the volume server protects is not read, as in the window.
        const Ref<PartitionManager> table =
            volumeServer && acquisition.isSafeDisk(entry.path)
                ? nullptr
                : PartitionManager::create(storage, g0, lockable, PartitionManager::NoFilesystemProbe);
        if (table)
            r.partitions = table->partitionCount();
    }

    if (data->smart) {
        r.attributes = data->smart->attributes();
        // Without attributes the drive's flag alone is not trusted (as the tab says).
        if (!r.attributes.isEmpty())
            r.healthy = data->smart->healthy();
    }
    r.nvme = nvmeHealthOf(g0);
    if (r.nvme && !r.healthy)
        r.healthy = r.nvme->healthy();
    return r;
}

enum Family {
    DriveInfo,
    DriveSupported,
    ScrapeError,
    SizeBytes,
    Asleep,
    PartitionCount,
    SmartHealthy,
    AttrValue,
    AttrWorst,
    AttrThreshold,
    AttrRaw,
    AttrFailing,
    AttrFailedInPast,
    NvmeCriticalWarning,
    NvmeTemperature,
    NvmeSpare,
    NvmeSpareThreshold,
    NvmeUsed,
    NvmeUnitsRead,
    NvmeUnitsWritten,
    NvmePowerOn,
    NvmeUnsafeShutdowns,
    NvmeMediaErrors,
    Duration,
    FamilyCount
};

const struct {
    const char *name;
    const char *type;
    const char *help;
} families[FamilyCount] = {
    {"drivescope_drive_info", "gauge", "Drive identity in the labels; always 1."},
    {"drivescope_drive_supported", "gauge", "1 when some tab of the drive can show data, else 0."},
    {"drivescope_scrape_error", "gauge", "1 when the drive could not be read, else 0."},
    {"drivescope_drive_size_bytes", "gauge", "Capacity of the drive in bytes."},
    {"drivescope_drive_asleep", "gauge", "1 when the drive was in standby and its S.M.A.R.T. data was not read."},
    {"drivescope_partitions", "gauge",
     "Entries of the drive's partition table (a file system on the whole disk is none)."},
    {"drivescope_smart_healthy", "gauge",
     "Health verdict of the drive (S.M.A.R.T. status, or the NVMe health log): 1 healthy, 0 not."},
    {"drivescope_smart_attribute_value", "gauge", "Normalized value of a S.M.A.R.T. attribute."},
    {"drivescope_smart_attribute_worst", "gauge", "Worst normalized value of a S.M.A.R.T. attribute."},
    {"drivescope_smart_attribute_threshold", "gauge", "Failure threshold of a S.M.A.R.T. attribute (0: cannot fail)."},
    {"drivescope_smart_attribute_raw", "gauge", "48-bit raw value of a S.M.A.R.T. attribute."},
    {"drivescope_smart_attribute_failing", "gauge", "1 when the attribute's value is at or below its threshold."},
    {"drivescope_smart_attribute_failed_in_past", "gauge",
     "1 when the attribute's worst value reached its threshold but the value did not now."},
    {"drivescope_nvme_critical_warning", "gauge", "NVMe critical warning bits (0 when none is set)."},
    {"drivescope_nvme_temperature_celsius", "gauge", "NVMe composite temperature in degrees Celsius."},
    {"drivescope_nvme_available_spare_ratio", "gauge", "NVMe available spare capacity, 0 to 1."},
    {"drivescope_nvme_available_spare_threshold_ratio", "gauge",
     "NVMe available spare below which the drive warns, 0 to 1."},
    {"drivescope_nvme_percentage_used_ratio", "gauge",
     "NVMe estimate of the life used, 1 at the rated endurance (may exceed 1)."},
    {"drivescope_nvme_data_units_read_total", "counter", "NVMe data units read, each 1000 blocks of 512 bytes."},
    {"drivescope_nvme_data_units_written_total", "counter", "NVMe data units written, each 1000 blocks of 512 bytes."},
    {"drivescope_nvme_power_on_seconds_total", "counter", "NVMe power-on time, counted by the drive in hours."},
    {"drivescope_nvme_unsafe_shutdowns_total", "counter", "NVMe unsafe shutdowns."},
    {"drivescope_nvme_media_errors_total", "counter", "NVMe media and data integrity errors."},
    {"drivescope_report_duration_seconds", "gauge", "Time taken to read every drive and write these metrics."},
};

// A label value as the format wants it: backslash, double quote and line feed escaped.
QByteArray escaped(const QString &value)
{
    QByteArray out;
    const QByteArray utf8 = value.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray label(const char *name, const QString &value)
{
    return QByteArray(name) + "=\"" + escaped(value) + '"';
}

QByteArray number(quint64 v)
{
    return QByteArray::number(v);
}
QByteArray number(UInt128 v)
{
    return uint128ToString(v).toLatin1();
}
QByteArray ratio(int percent)
{
    return QByteArray::number(percent / 100.0, 'g', QLocale::FloatingPointShortest);
}

class Exposition {
public:
    void add(Family f, const QByteArray &labels, const QByteArray &value)
    {
        QByteArray &body = m_bodies[f];
        body += families[f].name;
        if (!labels.isEmpty())
            body += '{' + labels + '}';
        body += ' ' + value + '\n';
    }
    QByteArray text() const
    {
        QByteArray out;
        for (int f = 0; f < FamilyCount; ++f) {
            if (m_bodies[f].isEmpty())
                continue;
            out += QByteArray("# HELP ") + families[f].name + ' ' + families[f].help + '\n';
            out += QByteArray("# TYPE ") + families[f].name + ' ' + families[f].type + '\n';
            out += m_bodies[f];
        }
        return out;
    }

private:
    QByteArray m_bodies[FamilyCount];
};

// Stand-ins for serial numbers, as the snapshot's: the same original gets the same one.
class SerialRedactor {
public:
    explicit SerialRedactor(bool on) : m_on(on) {}
    QString operator()(const QString &serial)
    {
        if (!m_on || serial.isEmpty())
            return serial;
        auto it = m_map.find(serial);
        if (it == m_map.end())
            it = m_map.insert(serial, QStringLiteral("SN%1").arg(m_map.size() + 1, qMax(4, int(serial.size()) - 2), 10,
                                                                 QLatin1Char('0')));
        return *it;
    }

private:
    bool m_on;
    QHash<QString, QString> m_map;
};

void addDrive(Exposition &e, const DriveRecord &r, SerialRedactor &redact)
{
    QByteArray base = label("drive", r.path);
    if (!r.device.isEmpty())
        base += ',' + label("device", r.device);
    e.add(ScrapeError, base, r.read ? "0" : "1");
    e.add(DriveSupported, base, r.supported ? "1" : "0");
    if (!r.read)
        return;
    e.add(DriveInfo,
          base + ',' + label("model", r.model) + ',' + label("serial", redact(r.serial)) + ',' +
              label("firmware", r.firmware) + ',' + label("interface", r.interface) + ',' + label("type", r.type),
          "1");
    if (r.sizeBytes)
        e.add(SizeBytes, base, number(*r.sizeBytes));
    if (r.asleep)
        e.add(Asleep, base, *r.asleep ? "1" : "0");
    if (r.partitions)
        e.add(PartitionCount, base, number(quint64(*r.partitions)));
    if (r.healthy)
        e.add(SmartHealthy, base, *r.healthy ? "1" : "0");

    // A drive that lists an id twice would give duplicate series, which makes
    // the textfile collector drop the whole file: the first record counts.
    bool seen[256] = {};
    for (const SmartAttribute &a : r.attributes) {
        if (a.id == 0 || seen[a.id])
            continue;
        seen[a.id] = true;
        const QByteArray labels =
            base + ',' + label("id", QString::number(a.id)) + ',' + label("name", smartAttributeName(a.id));
        const AttributeState state = attributeState(a);
        e.add(AttrValue, labels, number(quint64(a.value)));
        e.add(AttrWorst, labels, number(quint64(a.worst)));
        e.add(AttrThreshold, labels, number(quint64(a.threshold)));
        e.add(AttrRaw, labels, number(rawNumber(a)));
        e.add(AttrFailing, labels, state == AttributeState::Failing ? "1" : "0");
        e.add(AttrFailedInPast, labels, state == AttributeState::FailedInPast ? "1" : "0");
    }

    if (const auto &n = r.nvme) {
        e.add(NvmeCriticalWarning, base, number(quint64(n->criticalWarning)));
        if (n->temperatureKelvin > 0)
            e.add(NvmeTemperature, base, QByteArray::number(n->temperatureKelvin - 273));
        e.add(NvmeSpare, base, ratio(n->availableSpare));
        e.add(NvmeSpareThreshold, base, ratio(n->availableSpareThreshold));
        e.add(NvmeUsed, base, ratio(n->percentageUsed));
        e.add(NvmeUnitsRead, base, number(n->dataUnitsRead));
        e.add(NvmeUnitsWritten, base, number(n->dataUnitsWritten));
        e.add(NvmePowerOn, base, number(n->powerOnHours * 3600));
        e.add(NvmeUnsafeShutdowns, base, number(n->unsafeShutdowns));
        e.add(NvmeMediaErrors, base, number(n->mediaErrors));
    }
}

} // namespace

QString kernelName(const QString &nodePath)
{
    static const QString linuxDisks = QStringLiteral("/devices/block/");
    if (nodePath.startsWith(linuxDisks))
        return nodePath.mid(linuxDisks.size());
    // Simulated machines and snapshots often name the node after the disk.
    static const QRegularExpression disk(
        QStringLiteral("^(?:[shv]d[a-z]+|xvd[a-z]+|nvme\\d+n\\d+|mmcblk\\d+|loop\\d+|md\\d+|sr\\d+|nbd\\d+)$"));
    const QString last = nodePath.section(QLatin1Char('/'), -1);
    return disk.match(last).hasMatch() ? last : QString();
}

QByteArray prometheusMetrics(Acquisition &acquisition, const QList<DriveEntry> &entries, bool redact,
                             const QElapsedTimer *run)
{
    Exposition e;
    SerialRedactor redactor(redact);
    // Asked once: without a volume server no drive is protected, and asking
    // for each drive would log its absence each time.
    const bool volumeServer = acquisition.isVolumeServerOn();
    for (const DriveEntry &entry : entries)
        addDrive(e, collect(acquisition, entry, volumeServer), redactor);
    if (run)
        e.add(Duration, QByteArray(),
              QByteArray::number(double(run->nsecsElapsed()) / 1e9, 'g', QLocale::FloatingPointShortest));
    return e.text();
}

bool writeFileAtomically(const QString &file, const QByteArray &data, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = file + QStringLiteral(": ") + why;
        return false;
    };
    const QByteArray target = QFile::encodeName(file);
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return fail(QStringLiteral("is not a regular file"));
    } else if (errno != ENOENT) {
        return fail(QString::fromLocal8Bit(strerror(errno)));
    }
    // A hidden name without the .prom suffix: the textfile collector skips it.
    const QFileInfo info(file);
    QByteArray temp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(strerror(errno)));
    bool ok = ::fchmod(fd, 0644) == 0;
    for (qsizetype done = 0; ok && done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? n : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.constData(), target.constData()) == 0)
        return true;
    const QString why = QString::fromLocal8Bit(strerror(ok ? errno : savedErrno));
    ::unlink(temp.constData());
    return fail(why);
}

int runMetrics(const QStringList &args, QTextStream &out, QTextStream &err)
{
    QElapsedTimer run;
    run.start();
    QString file, drive;
    bool redact = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--prometheus")) {
            if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--")))
                file = args[++i];
        } else if (a == QLatin1String("--redact")) {
            redact = true;
        } else if (a == QLatin1String("--drive") && i + 1 < args.size()) {
            drive = args[++i];
        } else {
            err << "drivescope-report: --prometheus [FILE] goes only with --drive PATH and --redact, not: " << a
                << "\n";
            return 2;
        }
    }

    Services::Nodes::Backend &backend = Services::Nodes::Backend::instance();
    if (!backend.available()) {
        err << "drivescope-report: cannot read the drive source (" << backend.describe() << ")\n";
        return 1;
    }
    const QStringList knownBefore = backend.errors();
    Acquisition acquisition;
    acquisition.setPartitionsTab(false);
    const QList<DriveEntry> entries = drive.isEmpty() ? backend.drives() : QList<DriveEntry>{{drive, drive, 2}};
    const QByteArray text = prometheusMetrics(acquisition, entries, redact, &run);
    for (const QString &line : backend.errors())
        if (!knownBefore.contains(line))
            err << "drivescope-report: " << line << "\n";

    if (file.isEmpty() || file == QLatin1String("-")) {
        out << QString::fromUtf8(text);
        out.flush();
        return 0;
    }
    QString error;
    if (!writeFileAtomically(file, text, &error)) {
        err << "drivescope-report: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace Applications::DriveScope
