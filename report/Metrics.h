// The drives as Prometheus metrics (text exposition format 0.0.4), for
// node_exporter's textfile collector or any scraper of a .prom file.
#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QTextStream>

#include "model/Acquisition.h"

namespace Applications::DriveScope {

// Every metric of the drives in `entries`, family by family, with # HELP and
// # TYPE; serial labels replaced by stand-ins when `redact` is set. Drives
// that cannot be read get drivescope_scrape_error 1. The partition count is
// read without a file-system probe. With `run`, its elapsed time is written
// last as drivescope_report_duration_seconds.
QByteArray prometheusMetrics(Acquisition &acquisition, const QList<Services::Nodes::DriveEntry> &entries, bool redact,
                             const QElapsedTimer *run);

// The kernel name of a drive node ("sda" for "/devices/block/sda"); null when
// the path does not tell it.
QString kernelName(const QString &nodePath);

// Replaces `file` by `data` at once: written into a new file in the same
// folder, synced, then renamed over it, so a reader sees the old or the new
// contents, never a part. Refuses (false, *error set) a symbolic link or
// anything but a regular file at `file`; leaves no temporary file behind.
bool writeFileAtomically(const QString &file, const QByteArray &data, QString *error);

// `drivescope-report --prometheus [FILE] [--drive PATH] [--redact]`: args as
// runReport got them. Exit status: 0 written (a drive that cannot be read is
// a metric, not a failure), 2 bad arguments, 1 the source or FILE failed.
int runMetrics(const QStringList &args, QTextStream &out, QTextStream &err);

} // namespace Applications::DriveScope
