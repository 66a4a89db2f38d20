#include "report/Snapshot.h"

#include "platform/VariantJson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSet>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Services::Nodes {

namespace {

constexpr quint64 imageSpan = 1024 * 1024;
constexpr int maxProviders = 8;

quint32 crc32(const char *data, qsizetype length)
{
    quint32 crc = 0xFFFFFFFF;
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

// GUIDs as stored on disk (first three fields little-endian) and as text.
QString guidText(const QByteArray &g)
{
    auto field = [&](int at, int length, bool swap) {
        QByteArray part = g.mid(at, length);
        if (swap)
            std::reverse(part.begin(), part.end());
        return QString::fromLatin1(part.toHex()).toUpper();
    };
    return field(0, 4, true) + '-' + field(4, 2, true) + '-' + field(6, 2, true) + '-' + field(8, 2, false) + '-' +
           field(10, 6, false);
}

QByteArray guidBytes(const QString &text)
{
    const QByteArray raw = QByteArray::fromHex(QString(text).remove('-').toLatin1());
    if (raw.size() != 16)
        return QByteArray(16, '\0');
    QByteArray g = raw;
    std::reverse(g.begin(), g.begin() + 4);
    std::reverse(g.begin() + 4, g.begin() + 6);
    std::reverse(g.begin() + 6, g.begin() + 8);
    return g;
}

// Stand-ins for identifying values; the same original gets the same stand-in.
class Redactor {
public:
    explicit Redactor(bool on) : m_on(on) {}
    bool on() const { return m_on; }

    QString serial(const QString &original)
    {
        if (!m_on || original.isEmpty())
            return original;
        return stand(QStringLiteral("serial:") + original, [&](int n) {
            return QStringLiteral("SN%1").arg(n, qMax(4, int(original.size()) - 2), 10, QLatin1Char('0'));
        });
    }
    QString guid(const QString &original)
    {
        if (!m_on || original.isEmpty())
            return original;
        const bool upper = original != original.toLower();
        return stand(QStringLiteral("guid:") + original.toUpper(), [&](int n) {
            const QString t = QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
            return upper ? t.toUpper() : t;
        });
    }
    QString signature(const QString &original)
    {
        if (!m_on || original.isEmpty())
            return original;
        if (original.contains('-'))
            return guid(original);
        return stand(QStringLiteral("sig:") + original.toUpper(),
                     [&](int n) { return QStringLiteral("%1").arg(n, 8, 16, QLatin1Char('0')).toUpper(); });
    }
    quint64 number(quint64 original)
    {
        if (!m_on)
            return original;
        return stand(QStringLiteral("num:%1").arg(original), [](int n) { return QString::number(n); }).toULongLong();
    }

private:
    template <typename Make> QString stand(const QString &key, Make make)
    {
        auto it = m_map.find(key);
        if (it == m_map.end())
            it = m_map.insert(key, make(++m_count));
        return *it;
    }

    bool m_on;
    QHash<QString, QString> m_map;
    int m_count = 0;
};

bool isSerialName(const QString &name)
{
    return name == QLatin1String("SERIAL") || name == QLatin1String("VPD_SERIAL") ||
           name == QLatin1String("USB_SERIAL") || name == QLatin1String("ATA_SERIAL");
}

// One property value with its identifying parts replaced.
PropertyValue redactValue(const QString &property, PropertyValue value, Redactor &r)
{
    if (!r.on())
        return value;
    for (Variant &v : value) {
        const QString name = v.name.isEmpty() ? property : v.name;
        if (v.kind == Variant::List) {
            v.list = redactValue(property, v.list, r);
        } else if (v.kind == Variant::Text && (isSerialName(property) || isSerialName(name))) {
            v.text = r.serial(v.text);
        } else if (property == QLatin1String("NVM_NGUID") || property == QLatin1String("USB_BOS_UUID")) {
            v.text = r.guid(v.text);
        } else if (property == QLatin1String("DISK_SIGNATURE")) {
            v.text = r.signature(v.text);
        } else if (property == QLatin1String("NVM_EUI") && v.kind == Variant::Integer) {
            v.integer = r.number(v.integer);
        } else if (property == QLatin1String("NVM_EUI") && v.kind == Variant::Text) {
            v.text = QStringLiteral("%1").arg(r.number(v.text.toULongLong(nullptr, 16)), 16, 16, QLatin1Char('0'));
        } else if (v.kind == Variant::Buffer && name == QLatin1String("ATA_IDENTIFY") && v.buffer.size() == 512) {
            QByteArray &b = v.buffer;
            QByteArray serial;
            for (int w = 10; w < 20; ++w)
                serial.append(b[2 * w + 1]).append(b[2 * w]);
            const QByteArray fake =
                r.serial(QString::fromLatin1(serial).trimmed()).toLatin1().leftJustified(20, ' ', true);
            for (int w = 10; w < 20; ++w) {
                b[2 * w] = fake[2 * (w - 10) + 1];
                b[2 * w + 1] = fake[2 * (w - 10)];
            }
            b.replace(216, 8, QByteArray(8, '\0')); // w108-111: world wide name
            if (quint8(b[510]) == 0xA5) {
                quint8 sum = 0;
                for (int i = 0; i < 511; ++i)
                    sum += quint8(b[i]);
                b[511] = char(quint8(-sum));
            }
        } else if (v.kind == Variant::Buffer && name == QLatin1String("VPD_PAGE_128") && v.buffer.size() >= 4) {
            const QByteArray fake = r.serial(QString::fromLatin1(v.buffer.mid(4)).trimmed()).toLatin1();
            v.buffer =
                v.buffer.left(2) + QByteArray(1, char(fake.size() >> 8)) + QByteArray(1, char(fake.size())) + fake;
        } else if (v.kind == Variant::Buffer && name == QLatin1String("VPD_PAGE_131")) {
            // Keep every designator's header, blank its identifier.
            for (int d = 4; d + 4 <= v.buffer.size();) {
                const int length = quint8(v.buffer[d + 3]);
                for (int i = d + 4; i < d + 4 + length && i < v.buffer.size(); ++i)
                    v.buffer[i] = 0;
                d += 4 + length;
            }
        } else if (v.kind == Variant::Buffer && name == QLatin1String("GET_SCSI_INQUIRY") && v.buffer.size() > 36) {
            v.buffer.replace(36, qMin<qsizetype>(20, v.buffer.size() - 36),
                             QByteArray(qMin<qsizetype>(20, v.buffer.size() - 36), '\0'));
        }
    }
    return value;
}

// Replaces the MBR signature and the GPT GUIDs in a piece of the disk that
// starts at block `firstBlock`, keeping the GPT checksums right.
void redactImage(QByteArray &data, quint64 firstBlock, quint64 blockSize, Redactor &r)
{
    if (firstBlock == 0 && data.size() >= 512 && quint8(data[510]) == 0x55 && quint8(data[511]) == 0xAA) {
        const QString sig = QStringLiteral("%1")
                                .arg(qFromLittleEndian<quint32>(data.constData() + 440), 8, 16, QLatin1Char('0'))
                                .toUpper();
        qToLittleEndian<quint32>(r.signature(sig).toUInt(nullptr, 16), data.data() + 440);
    }
    for (qsizetype at = 0; at + 92 <= data.size(); at += qsizetype(blockSize)) {
        if (!data.mid(at, 8).startsWith("EFI PART"))
            continue;
        char *h = data.data() + at;
        data.replace(at + 56, 16, guidBytes(r.guid(guidText(data.mid(at + 56, 16)))));
        const quint64 entriesLba = qFromLittleEndian<quint64>(h + 72);
        const quint32 count = qFromLittleEndian<quint32>(h + 80), size = qFromLittleEndian<quint32>(h + 84);
        const quint32 headerSize = qMin<quint32>(qFromLittleEndian<quint32>(h + 12), quint32(blockSize));
        if (entriesLba >= firstBlock && size >= 128 && count <= 1024) {
            const qint64 start = qint64((entriesLba - firstBlock) * blockSize);
            const qint64 bytes = qint64(count) * size;
            if (start + bytes <= data.size()) {
                for (quint32 i = 0; i < count; ++i) {
                    const qint64 e = start + qint64(i) * size;
                    if (data.mid(e, 16) != QByteArray(16, '\0'))
                        data.replace(e + 16, 16, guidBytes(r.guid(guidText(data.mid(e + 16, 16)))));
                }
                qToLittleEndian<quint32>(crc32(data.constData() + start, bytes), data.data() + at + 88);
            }
        }
        if (at + headerSize <= data.size() && headerSize >= 92) {
            qToLittleEndian<quint32>(0, data.data() + at + 16);
            qToLittleEndian<quint32>(crc32(data.constData() + at, headerSize), data.data() + at + 16);
        }
    }
}

// JSON objects keep their keys sorted, but property and set names, and the
// drives, must keep the backend's order: such objects are written by hand and
// put in place of a placeholder string when the document is serialised.
class OrderedObjects {
public:
    // Values are arrays (one line each) or objects (indented).
    QString add(const QList<QPair<QString, QJsonValue>> &entries)
    {
        QByteArray text = "{";
        for (int i = 0; i < entries.size(); ++i) {
            const QJsonValue &value = entries[i].second;
            text += i ? ",\n" : "\n";
            text += QJsonDocument(QJsonArray{entries[i].first}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
            text += ": " + (value.isObject() ? QJsonDocument(value.toObject()).toJson().trimmed()
                                             : QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
        }
        text += entries.isEmpty() ? "}" : "\n}";
        m_texts.append(text);
        return QStringLiteral("@@ordered-%1@@").arg(m_texts.size() - 1);
    }
    QByteArray resolve(QByteArray document) const
    {
        for (int i = m_texts.size() - 1; i >= 0; --i)
            document.replace(QStringLiteral("\"@@ordered-%1@@\"").arg(i).toLatin1(), m_texts[i]);
        return document;
    }

private:
    QList<QByteArray> m_texts;
};

QJsonObject tableJson(Interfaces::Generic &g, Redactor &r, OrderedObjects &ordered)
{
    QList<QPair<QString, QJsonValue>> properties, sets;
    for (int i = 0; i < g.propertyCount(); ++i) {
        const QString name = g.propertyName(i);
        properties.append({name, VariantJson::value(redactValue(name, g.read(name), r))});
    }
    for (int i = 0; i < g.propertySetCount(); ++i) {
        const QString name = g.propertySetName(i);
        sets.append({name, VariantJson::value(redactValue(name, g.request({Variant::ofInt(1, name)}), r))});
    }
    QJsonObject o;
    o.insert(QStringLiteral("properties"), ordered.add(properties));
    o.insert(QStringLiteral("sets"), ordered.add(sets));
    return o;
}

// Output is written only to what the user named: a symbolic link in its place
// (the classic attack on a root-run tool in a shared folder) is refused, never
// followed, and so is anything but a regular file.
QString systemError(const QString &what, const QString &file)
{
    return QStringLiteral("Cannot %1 %2: %3").arg(what, file, QString::fromLocal8Bit(strerror(errno)));
}

// False with *error set when `file` exists as a link or as anything but a
// regular file; *exists tells whether it exists.
bool mayReplace(const QString &file, bool *exists, QString *error)
{
    struct stat st;
    *exists = ::lstat(QFile::encodeName(file).constData(), &st) == 0;
    if (*exists && S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("Will not write %1: it is a symbolic link.").arg(file);
        return false;
    }
    if (*exists && !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("Will not write %1: it exists and is not a regular file.").arg(file);
        return false;
    }
    return true;
}

// Opens `file` for writing, emptied: a new file exclusively, an existing
// regular one without following a link. -1 with *error set on failure.
int openOutput(const QString &file, QString *error)
{
    bool exists = false;
    if (!mayReplace(file, &exists, error))
        return -1;
    const int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | (exists ? 0 : O_CREAT | O_EXCL);
    const int fd = ::open(QFile::encodeName(file).constData(), flags, 0666);
    if (fd < 0) {
        *error = errno == ELOOP ? QStringLiteral("Will not write %1: it is a symbolic link.").arg(file)
                                : systemError(QStringLiteral("write"), file);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
        *error = QStringLiteral("Will not write %1: it is not a regular file.").arg(file);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, const char *data, qint64 length, qint64 offset)
{
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(length), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        offset += n;
        length -= n;
    }
    return true;
}

// The folder for the images: made by this program (mode 0700), or left from
// an earlier run, which only a folder of this user's that nobody else may
// write into can be.
bool makeImageFolder(const QString &folder, QString *error)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) == 0)
        return true;
    struct stat st;
    if (errno != EEXIST || ::lstat(path.constData(), &st) != 0) {
        *error = systemError(QStringLiteral("create the folder"), folder);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        *error = QStringLiteral("Will not write images into %1: it is not a folder that only this user may write.")
                     .arg(folder);
        return false;
    }
    return true;
}

// Writes `data` to `file` atomically: a new file beside it, synced, renamed
// over it. The old file stays whole until the rename.
bool replaceFile(const QString &file, const QByteArray &data, QString *error)
{
    bool exists = false;
    if (!mayReplace(file, &exists, error))
        return false;
    const QFileInfo info(file);
    int fd = -1;
    QString temporary;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = info.absolutePath() + QStringLiteral("/.%1.%2")
                                              .arg(info.fileName())
                                              .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        fd = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *error = systemError(QStringLiteral("write"), file);
        return false;
    }
    // A file written over keeps its permissions.
    struct stat old;
    if (exists && ::lstat(QFile::encodeName(file).constData(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    const bool written = writeAll(fd, data.constData(), data.size(), 0) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(file).constData()) != 0) {
        *error = systemError(QStringLiteral("write"), file);
        ::unlink(QFile::encodeName(temporary).constData());
        return false;
    }
    return true;
}

// The first and last MiB of the drive, at their places in a sparse file.
// *written is false (and no file is left) when nothing could be read.
bool writeImage(Interfaces::Storage &storage, Interfaces::Lockable *lockable, const QString &file, Redactor &r,
                bool *written, QString *error)
{
    *written = false;
    const quint64 bs = storage.blockSize(), count = storage.blockCount();
    if (bs == 0 || count == 0)
        return true;
    // Larger sizes are impossible (block sizes stop at 64 KiB, files at 2^63 bytes).
    if (bs > 64 * 1024 || count > (quint64(1) << 62) / bs) {
        *error = QStringLiteral("Will not write %1: the drive reports an impossible size.").arg(file);
        return false;
    }
    const int fd = openOutput(file, error);
    if (fd < 0)
        return false;
    const bool locked = lockable && lockable->lock();
    const quint64 span = qMax<quint64>(1, imageSpan / bs);
    QList<quint64> starts{0};
    if (count > span)
        starts.append(qMax(span, count - span));
    bool ok = true;
    for (quint64 first : starts) {
        const quint64 blocks = qMin(span, count - first);
        QByteArray data(qsizetype(blocks * bs), '\0');
        if (!storage.read(first, quint32(blocks), data.data()))
            continue; // unreadable blocks stay zero
        *written = true;
        if (r.on())
            redactImage(data, first, bs, r);
        ok = ok && writeAll(fd, data.constData(), data.size(), qint64(first * bs));
    }
    if (locked)
        lockable->unlock();
    if (ok && *written && ::ftruncate(fd, off_t(count * bs)) != 0)
        ok = false;
    if (!ok)
        *error = systemError(QStringLiteral("write"), file);
    ::close(fd);
    if (!*written)
        ::unlink(QFile::encodeName(file).constData());
    return ok;
}

} // namespace

bool writeSnapshot(Backend &backend, const QString &file, bool withImages, bool redact, QString *error)
{
    QString scratch;
    if (!error)
        error = &scratch;
    bool exists = false;
    if (!mayReplace(file, &exists, error))
        return false;
    Redactor r(redact);
    OrderedObjects ordered;
    // In the backend's order, so that the replay lists the drives as this machine does.
    QList<QPair<QString, QJsonValue>> nodes;
    QSet<QString> written;
    QJsonObject companions;
    QJsonArray errors;
    const QFileInfo info(file);
    const QString imageFolder = info.completeBaseName() + QStringLiteral(".images");
    if (withImages && !makeImageFolder(info.absolutePath() + '/' + imageFolder, error))
        return false;
    for (const DriveEntry &entry : backend.drives()) {
        const Ref<Node> node = backend.open(entry.path);
        const Ref<Provider> p0 = node ? backend.provider(node, 0) : nullptr;
        const Ref<Interfaces::Generic> g0 = p0 ? backend.generic(p0) : nullptr;
        if (!g0) {
            errors.append(QStringLiteral("%1: the node cannot be opened").arg(entry.path));
            continue;
        }
        QJsonObject n = tableJson(*g0, r, ordered);
        n.insert(QStringLiteral("drive"), entry.type == 2);
        QString label = entry.label;
        for (const QString &serialName : {QStringLiteral("SERIAL")}) {
            for (const Variant &v : g0->read(serialName)) {
                if (redact && !v.text.isEmpty())
                    label.replace(v.text, r.serial(v.text));
            }
        }
        n.insert(QStringLiteral("label"), label);
        n.insert(QStringLiteral("canonical"), node->canonicalName());
        QJsonObject providers;
        for (int index = 1; index < maxProviders; ++index) {
            const Ref<Provider> p = backend.provider(node, index);
            const Ref<Interfaces::Generic> g = p ? backend.generic(p) : nullptr;
            if (g)
                providers.insert(QString::number(index), tableJson(*g, r, ordered));
        }
        if (!providers.isEmpty())
            n.insert(QStringLiteral("providers"), providers);
        if (const Ref<Interfaces::Storage> storage = backend.storage(p0)) {
            QJsonObject s;
            s.insert(QStringLiteral("blockSize"), qint64(storage->blockSize()));
            s.insert(QStringLiteral("blockCount"), QStringLiteral("%1").arg(storage->blockCount()).toLongLong());
            if (withImages) {
                const QString image = imageFolder + '/' + QString(entry.path).replace('/', '_').mid(1) + ".img";
                const Ref<Interfaces::Lockable> lockable = backend.lockable(p0);
                bool written = false;
                if (!writeImage(*storage, lockable.get(), info.absolutePath() + '/' + image, r, &written, error))
                    return false;
                if (written)
                    s.insert(QStringLiteral("image"), image);
                else if (storage->blockCount() && storage->blockSize())
                    // Not one block could be read (no rights, say): the replay refuses reads too.
                    n.insert(QStringLiteral("fail"), QJsonArray{QStringLiteral("read")});
            }
            n.insert(QStringLiteral("storage"), s);
        }
        nodes.append({entry.path, n});
        written.insert(entry.path);

        const QString deviceNode = g0->read(QStringLiteral("DEVICE_NODE")).value(0).text;
        if (deviceNode.isEmpty())
            continue;
        QJsonArray list;
        for (const CompanionNode &c : backend.companionNodes(deviceNode)) {
            list.append(QJsonObject{{QStringLiteral("path"), c.path}, {QStringLiteral("type"), c.type}});
            if (written.contains(c.path))
                continue;
            const Ref<Node> cn = backend.open(c.path);
            const Ref<Provider> cp = cn ? backend.provider(cn, 0) : nullptr;
            if (const Ref<Interfaces::Generic> cg = cp ? backend.generic(cp) : nullptr) {
                QJsonObject companion = tableJson(*cg, r, ordered);
                companion.insert(QStringLiteral("canonical"), cn->canonicalName());
                nodes.append({c.path, companion});
                written.insert(c.path);
            }
        }
        companions.insert(deviceNode, list);
    }
    if (backend.pciBusExists())
        nodes.append({QStringLiteral("/devices/pci/bus"), QJsonObject()});

    QJsonObject system;
    system.insert(QStringLiteral("hosted"), backend.hosted());
    system.insert(QStringLiteral("bootParameter"), redact ? QString() : backend.bootParameter());
    QJsonObject root;
    root.insert(QStringLiteral("system"), system);
    root.insert(QStringLiteral("nodes"), ordered.add(nodes));
    root.insert(QStringLiteral("companions"), companions);
    if (!errors.isEmpty())
        root.insert(QStringLiteral("errors"), errors);

    return replaceFile(file, ordered.resolve(QJsonDocument(root).toJson()), error);
}

} // namespace Services::Nodes
