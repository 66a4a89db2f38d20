// The simulator's node-tree reader over arbitrary bytes: any input gives a
// tree and error sentences, never a crash or unbounded memory. Relative file
// names resolve inside an empty folder, so only the JSON itself is exercised.
#include <QByteArray>
#include <QDir>

#include "platform/sim/NodeTreeReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString emptyDir = [] {
        const QString dir = QDir::tempPath() + QStringLiteral("/drivescope-fuzz-nodetree");
        QDir().mkpath(dir);
        return dir;
    }();
    const QByteArray json = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const Services::Nodes::Sim::ReadResult r =
        Services::Nodes::Sim::readNodeTree(json, QStringLiteral("fuzz.json"), emptyDir);
    // Every problem is one sentence after the name of its file.
    for (const QString &e : r.errors) {
        if (!e.contains(QLatin1String(": ")))
            __builtin_trap();
    }
    return 0;
}
