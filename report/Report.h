// The headless report: the drive list, or every tab of one or all drives, as
// text or JSON, from the same acquisition and models the window uses.
#pragma once
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include "model/Acquisition.h"
#include "model/TabStatus.h"
#include "platform/Nodes.h"

namespace Applications::DriveScope {

// args without the program name. Exit status: 0 success, 2 bad arguments,
// 1 when the drive source or the named drive cannot be read. Creates a QCoreApplication when
// none exists.
int runReport(const QStringList &args);
int runReport(const QStringList &args, QTextStream &out, QTextStream &err);

// The report of `drives` exactly as drivescope-report --drive/--all writes it,
// text or JSON; drives that cannot be opened are in it with their error, and
// their names are appended to *failed.
QString writeReport(Acquisition &acquisition, const QList<Services::Nodes::DriveEntry> &drives, bool json,
                    QStringList *failed = nullptr);

// One drive as the JSON report shows it ("error" set when it cannot be opened).
QJsonObject driveJson(Acquisition &acquisition, const QString &path, const QString &name);
// The same as text lines.
QStringList driveText(Acquisition &acquisition, const QString &path, const QString &name);
// One tab of a record as the text report shows it (`data` null: no drive).
QStringList tabText(const DriveData *data, Model::Tab tab);

// --watch: prints the drives present, then one JSON line per drive added,
// removed or changed until standard input closes. 1 when nothing can be watched.
int runWatch(QTextStream &out, QTextStream &err);
// The lines for a drive list that went from `before` to `after`:
// {"event":"add"|"remove"|"change","path":...,"name":...}.
QStringList watchLines(const QList<Services::Nodes::DriveEntry> &before,
                       const QList<Services::Nodes::DriveEntry> &after);

// The message of the window's error dialog for a drive that cannot be opened.
QString openDriveError(const QString &name);

} // namespace Applications::DriveScope
