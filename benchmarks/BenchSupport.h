// Helpers of the benchmarks: processor time, and node-tree files of many drives.
#pragma once
#include <QFile>
#include <QString>

#include <functional>
#include <sys/resource.h>

namespace BenchSupport {

// Processor time of this process in seconds: on a shared, loaded machine the
// wall clock says more about the neighbours than about the program.
inline double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Writes `dir`/`name`, a node tree whose nodes are `node(0)` .. `node(count - 1)`
// ("path": {...} each), and returns its path.
inline QString writeTree(const QString &dir, const QString &name, int count, const std::function<QByteArray(int)> &node)
{
    QByteArray json = "{\"nodes\":{";
    for (int i = 0; i < count; ++i)
        json += (i ? "," : "") + node(i);
    json += "}}";
    QFile f(dir + '/' + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(json) != json.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    return f.fileName();
}

} // namespace BenchSupport
