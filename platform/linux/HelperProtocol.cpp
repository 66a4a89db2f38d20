#include "platform/linux/HelperProtocol.h"

#include "platform/VariantJson.h"
#include "platform/linux/Discovery.h"

#include <QJsonDocument>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace Services::Nodes::Linux::Helper {

namespace {

QByteArray reply(QJsonObject object)
{
    object.insert(QStringLiteral("ok"), true);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray refusal(const QString &why)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}})
        .toJson(QJsonDocument::Compact);
}

// A whole number a JSON double holds exactly.
std::optional<quint64> wholeNumber(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (d < 0 || d > 9007199254740992.0 || d != double(quint64(d)))
        return std::nullopt;
    return quint64(d);
}

// Kernel names of whole disks: letters, digits and a few marks; never a path.
bool plausibleName(const QString &name)
{
    if (name.isEmpty() || name.size() > 64 || name.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_') &&
            c != QLatin1Char('!') && c != QLatin1Char(':'))
            return false;
    }
    return true;
}

// Where a read may go: the first and last `window` bytes of the disk and of
// every partition the kernel knows, and the `window` before each partition
// (an extended partition's next table). Sorted and merged.
QList<QPair<quint64, quint64>> readableRanges(const Reader &reader, const DiskProperties &props)
{
    const quint64 size = props.blockCount() * props.blockSize();
    QList<QPair<quint64, quint64>> ranges{{0, qMin(size, window)}, {size - qMin(size, window), size}};
    for (const QString &part : diskPartitions(reader, props.disk())) {
        const QString folder = props.disk().sysPath + QLatin1Char('/') + part;
        const auto start = reader.number(folder + QStringLiteral("/start"));
        const auto sectors = reader.number(folder + QStringLiteral("/size"));
        if (!start || !sectors || *start > size / 512 || *sectors > size / 512 - *start)
            continue;
        const quint64 first = *start * 512, end = first + *sectors * 512;
        ranges.append({first - qMin(first, window), qMin(size, first + window)});
        ranges.append({end - qMin(end - first, window), end});
    }
    std::sort(ranges.begin(), ranges.end());
    QList<QPair<quint64, quint64>> merged;
    for (const auto &r : ranges) {
        if (!merged.isEmpty() && r.first <= merged.last().second)
            merged.last().second = qMax(merged.last().second, r.second);
        else
            merged.append(r);
    }
    return merged;
}

// `held` keeps the device open for the next reads of the session.
QByteArray readBlocks(const Reader &reader, DiskProperties &props, const QJsonObject &request,
                      std::shared_ptr<DiskProperties::Device> &held)
{
    const auto offset = wholeNumber(request.value(QStringLiteral("offset")));
    const auto length = wholeNumber(request.value(QStringLiteral("length")));
    if (!offset || !length || *length == 0 || *length > maxRead)
        return refusal(QStringLiteral("A read needs a whole offset and a length from 1 to %1.").arg(maxRead));
    const quint64 size = props.blockCount() * props.blockSize();
    if (*offset > size || *length > size - *offset)
        return refusal(QStringLiteral("The read lies beyond the end of the disk."));
    const auto ranges = readableRanges(reader, props);
    if (std::none_of(ranges.begin(), ranges.end(),
                     [&](const auto &r) { return *offset >= r.first && *offset + *length <= r.second; }))
        return refusal(QStringLiteral("Only the first and the last %1 bytes of a disk and of its partitions are read.")
                           .arg(window));
    const std::shared_ptr<DiskProperties::Device> device = held = props.device();
    if (device->fd < 0)
        return refusal(
            QStringLiteral("The disk cannot be opened: %1.").arg(QString::fromLocal8Bit(strerror(device->error))));
    QByteArray data(qsizetype(*length), '\0');
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t got = device->reader.pread(device->fd, data.data() + done, size_t(data.size() - done),
                                                 off_t(*offset + quint64(done)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return refusal(QStringLiteral("The disk could not be read: %1.")
                               .arg(QString::fromLocal8Bit(strerror(got < 0 ? errno : EIO))));
        done += got;
    }
    return reply({{QStringLiteral("data"), VariantJson::element(Variant::ofBuffer(data), VariantJson::Hex::Compact)}});
}

QByteArray rawData(DiskProperties &props)
{
    QJsonObject object;
    object.insert(QStringLiteral("node"), tableJson(props.node(true)));
    object.insert(QStringLiteral("companion"), tableJson(props.companion(true)));
    object.insert(QStringLiteral("sets"), tableJson(props.sets(true)));
    const RawNotes &notes = props.notes();
    object.insert(QStringLiteral("noRights"), notes.noRights);
    object.insert(QStringLiteral("standby"), notes.standby);
    object.insert(QStringLiteral("log"), QJsonArray::fromStringList(notes.log));
    return reply(object);
}

bool writeAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t wrote = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

} // namespace

QJsonArray tableJson(const PropertyTable &table)
{
    QJsonArray array;
    for (const auto &entry : table.entries())
        array.append(QJsonArray{entry.first, VariantJson::value(entry.second, VariantJson::Hex::Compact)});
    return array;
}

std::optional<PropertyTable> tableFrom(const QJsonValue &json)
{
    if (!json.isArray())
        return std::nullopt;
    PropertyTable table;
    for (const QJsonValue &item : json.toArray()) {
        const QJsonArray pair = item.toArray();
        const auto value = VariantJson::valueFrom(pair.at(1));
        if (pair.size() != 2 || !pair.at(0).isString() || !value)
            return std::nullopt;
        table.set(pair.at(0).toString(), *value);
    }
    return table;
}

QByteArray answer(const Reader &reader, const QByteArray &line)
{
    Session session;
    return answer(reader, line, session);
}

QByteArray answer(const Reader &reader, const QByteArray &line, Session &session)
{
    if (line.size() > maxRequest)
        return refusal(QStringLiteral("The request is longer than %1 bytes.").arg(maxRequest));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (!document.isObject())
        return refusal(QStringLiteral("The request is not a JSON object."));
    const QJsonObject request = document.object();
    const QString op = request.value(QStringLiteral("op")).toString();
    QStringList keys{QStringLiteral("op")};
    if (op == QLatin1String("raw"))
        keys << QStringLiteral("drive");
    else if (op == QLatin1String("read"))
        keys << QStringLiteral("drive") << QStringLiteral("offset") << QStringLiteral("length");
    else if (op != QLatin1String("hello"))
        return refusal(QStringLiteral("Unknown request \"%1\".").arg(op.left(40)));
    for (const QString &key : request.keys()) {
        if (!keys.contains(key))
            return refusal(QStringLiteral("Unknown key \"%1\" in a %2 request.").arg(key.left(40), op));
    }
    if (op == QLatin1String("hello"))
        return reply({{QStringLiteral("protocol"), protocolVersion}});

    // Only a whole disk the drive list shows; never a path, a partition or a
    // device sysfs does not know.
    const QString name = request.value(QStringLiteral("drive")).toString();
    if (!plausibleName(name) || !listDisks(reader).contains(name))
        return refusal(QStringLiteral("\"%1\" is not a drive of this machine.").arg(name.left(64)));
    const auto disk = describeDisk(reader, name);
    if (!disk)
        return refusal(QStringLiteral("\"%1\" is not a drive of this machine.").arg(name));
    // Raw data is read anew each time (a refresh); block reads of the same
    // disk share one open device.
    if (op == QLatin1String("raw")) {
        session = Session();
        DiskProperties props(reader, *disk);
        return rawData(props);
    }
    if (!session.props || session.props->disk().name != name || session.props->disk().sysPath != disk->sysPath) {
        session = Session();
        session.props = std::make_unique<DiskProperties>(reader, *disk);
    }
    return readBlocks(reader, *session.props, request, session.device);
}

int serve(const Reader &reader, int in, int out)
{
    Session session;
    QByteArray pending;
    bool skipping = false; // the rest of an overlong line
    char chunk[4096];
    for (;;) {
        pollfd wait{in, POLLIN, 0};
        if (session.device && ::poll(&wait, 1, 1000) == 0) {
            session = Session();
            continue;
        }
        const ssize_t got = ::read(in, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 0;
        pending.append(chunk, got);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (skipping) {
                skipping = false;
                continue;
            }
            if (!writeAll(out, answer(reader, line, session) + '\n'))
                return 1;
        }
        if (!skipping && pending.size() > maxRequest) {
            if (!writeAll(out, answer(reader, pending) + '\n'))
                return 1;
            skipping = true;
        }
        if (skipping)
            pending.clear();
    }
}

} // namespace Services::Nodes::Linux::Helper
