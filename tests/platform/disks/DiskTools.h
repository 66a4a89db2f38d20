// Test helpers around the command-line disk tools: running a shell script that
// builds an image, and reading what sfdisk, fdisk and blkid say about it.
#pragma once
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "TestSupport.h"

namespace TestSupport {

inline QString missingTool(const QStringList &tools)
{
    for (const QString &tool : tools)
        if (QStandardPaths::findExecutable(tool, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}).isEmpty())
            return tool;
    return QString();
}

// Runs `script` with bash in `dir`; the tools' folders are on PATH. Empty on
// success, else the script's output.
inline QString runScript(const QString &dir, const QString &script, QByteArray *output = nullptr)
{
    const Run r = run("bash", {"-e", "-c", "cd \"$0\"\n" + script, dir},
                      {"PATH=/usr/sbin:/sbin:" + qEnvironmentVariable("PATH"), "LC_ALL=C.UTF-8"});
    if (output)
        *output = r.out.toUtf8();
    return r.exitCode == 0 ? QString() : r.out + r.err + "\nscript: " + script;
}

struct RefPartition {
    quint32 number = 0; // from the node name ("disk.img5")
    quint64 start = 0;
    quint64 size = 0;
    QString type; // GPT GUID upper case, or the MBR type as two hex digits
    QString uuid;
    QString name;
};

struct RefTable {
    QString label; // "gpt", "dos" or empty
    QString id;    // GPT GUID upper case, or "0x" and 8 hex digits
    quint32 tableLength = 0;
    quint64 firstLba = 0, lastLba = 0; // GPT only
    QList<RefPartition> partitions;
};

// What `sfdisk --json` says (512-byte sectors only). `nested` reads the MBR of a GPT disk.
inline RefTable sfdiskTable(const QString &image, bool nested = false)
{
    RefTable t;
    QByteArray out;
    if (!runScript(".", QString("sfdisk %1--json '%2' 2>/dev/null").arg(nested ? "--label-nested dos " : "", image),
                   &out)
             .isEmpty())
        return t;
    const QJsonObject table = QJsonDocument::fromJson(out).object().value("partitiontable").toObject();
    t.label = table.value("label").toString();
    t.id = table.value("id").toString().toUpper();
    t.tableLength = table.value("table-length").toString().toUInt();
    t.firstLba = quint64(table.value("firstlba").toDouble());
    t.lastLba = quint64(table.value("lastlba").toDouble());
    if (t.label == "gpt" && t.tableLength == 0)
        t.tableLength = 128;
    for (const QJsonValue &v : table.value("partitions").toArray()) {
        const QJsonObject o = v.toObject();
        static const QRegularExpression number(QStringLiteral("\\d+$"));
        const QString type = o.value("type").toString().toUpper();
        t.partitions.append({number.match(o.value("node").toString()).captured().toUInt(),
                             quint64(o.value("start").toDouble()), quint64(o.value("size").toDouble()),
                             t.label == "dos" ? type.rightJustified(2, '0') : type,
                             o.value("uuid").toString().toUpper(), o.value("name").toString()});
    }
    return t;
}

// What `fdisk -b SECTORSIZE -l` says about a GPT image (sfdisk cannot take a sector size).
inline RefTable fdiskGptTable(const QString &image, int sectorSize)
{
    RefTable t;
    QByteArray out;
    const QString command = QString("fdisk -b %1 -l -o Device,Start,Sectors,Type-UUID,UUID,Name '%2'");
    if (!runScript(".", command.arg(sectorSize).arg(image), &out).isEmpty())
        return t;
    bool rows = false;
    for (const QString &line : QString::fromUtf8(out).split('\n')) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (line.startsWith("Disklabel type: "))
            t.label = line.mid(16).trimmed();
        else if (line.startsWith("Disk identifier: "))
            t.id = line.mid(17).trimmed().toUpper();
        else if (line.startsWith("Device "))
            rows = true;
        else if (rows && f.size() >= 5)
            t.partitions.append(
                {0, f[1].toULongLong(), f[2].toULongLong(), f[3].toUpper(), f[4].toUpper(), f.mid(5).join(' ')});
    }
    t.tableLength = 128;
    return t;
}

// `blkid -p` on a byte range of an image: TYPE, VERSION, LABEL, UUID (absent keys missing).
inline QMap<QString, QString> blkidRange(const QString &image, quint64 offset, quint64 size)
{
    QMap<QString, QString> values;
    QByteArray out;
    runScript(".", QString("blkid -p -o export --offset %1 --size %2 '%3' || true").arg(offset).arg(size).arg(image),
              &out);
    for (const QString &line : QString::fromUtf8(out).split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1));
    }
    return values;
}

} // namespace TestSupport
