#include "report/Report.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <memory>
#include <unistd.h>

#include "model/Startup.h"
#include "model/Ata.h"
#include "model/Group.h"
#include "model/OneColumn.h"
#include "model/Roles.h"
#include "model/Smart.h"
#include "model/TabStatus.h"
#include "platform/I18n.h"
#include "platform/Log.h"
#include "platform/Nodes.h"
#include "report/Metrics.h"
#include "report/Snapshot.h"
#include "platform/Sys.h"

namespace Applications::DriveScope {

using namespace Model;

namespace {

const char usage[] =
    "Usage: drivescope-report [--json] (--list | --all | --drive PATH)\n"
    "       drivescope-report --snapshot FILE [--with-images] [--redact]\n"
    "  --list        the drive list: path, display name, supported or not\n"
    "  --all         every tab of every drive\n"
    "  --drive PATH  every tab of one drive\n"
    "  --json        JSON instead of text\n"
    "  --snapshot FILE  write every drive as a node-tree file that DRIVESCOPE_NODES can replay\n"
    "  --with-images    with it, the first and last MiB of every drive beside the file\n"
    "  --redact         with it, serial numbers, WWNs, GUIDs and signatures replaced by stand-ins\n"
    "  --prometheus [FILE]  metrics for Prometheus (also with --drive PATH, --redact), FILE replaced atomically\n"
    "The drives come from DRIVESCOPE_NODES (a node-tree file) or else from this machine.\n";

// Log lines go to standard error while a report writes to standard output.
class StdErrPrinter : public SysLogPrinter {
public:
    void write(const char *data, size_t length) override
    {
        while (length > 0) {
            const ssize_t n = ::write(STDERR_FILENO, data, length);
            if (n <= 0)
                return;
            data += n;
            length -= size_t(n);
        }
    }
};

struct Row {
    bool header = false;
    QString label;
    QVariant value;
    bool dimmed = false;
};

bool isDimmed(const QAbstractItemModel &model, const QModelIndex &index)
{
    return model.data(index, Roles::Dimmed).toBool();
}

// Rows of a two-column tab as the view shows them.
QList<Row> flatRows(QAbstractItemModel *model)
{
    QList<Row> rows;
    std::unique_ptr<OneColumn> adapter;
    QAbstractItemModel *flat = model;
    QList<int> headers;
    if (auto *ata = qobject_cast<Ata *>(model)) {
        headers = ata->headerRows();
    } else if (qobject_cast<Group *>(model)) {
        adapter = std::make_unique<OneColumn>(model);
        flat = adapter.get();
        headers = adapter->headerRows();
    }
    for (int r = 0; r < flat->rowCount(); ++r) {
        Row row;
        row.header = headers.contains(r);
        row.label = flat->data(flat->index(r, 0)).toString();
        if (!row.header) {
            const QModelIndex value = flat->index(r, 1);
            row.value = flat->data(value);
            row.dimmed = isDimmed(*flat, value);
        }
        rows << row;
    }
    return rows;
}

QStringList columns(QAbstractItemModel *model)
{
    QStringList names;
    for (int c = 0; c < model->columnCount(); ++c)
        names << model->headerData(c, Qt::Horizontal).toString();
    return names;
}

QString verdictName(Verdict v)
{
    switch (v) {
    case Verdict::Ok: return QStringLiteral("ok");
    case Verdict::Warning: return QStringLiteral("warning");
    case Verdict::Error: return QStringLiteral("error");
    }
    return QString();
}

bool hostedMode() { return Sys::info(Sys::InfoHosted) != 0; }

QString displayName(const QString &path)
{
    for (const auto &entry : Services::Nodes::Backend::instance().drives())
        if (entry.path == path)
            return entry.label;
    return path;
}

} // namespace

QString openDriveError(const QString &name)
{
    return trKey("dlg.err.opendrive.text", "Could not open drive %1").arg(name);
}

QJsonObject driveJson(Acquisition &acquisition, const QString &path, const QString &name)
{
    QJsonObject drive{{"path", path}, {"name", name}};
    std::unique_ptr<DriveData> data = acquisition.acquireDrive(path, name);
    drive["supported"] = acquisition.isDriveSupported(path);
    if (!data)
        drive["error"] = openDriveError(name);
    drive["interfaces"] = data ? int(data->interfaces) : 0;

    QJsonObject tabs;
    for (Tab tab : allTabs()) {
        QAbstractItemModel *model = data ? tabModel(*data, tab) : nullptr;
        const TabState state = tabState(data.get(), tab, hostedMode());
        QJsonObject t{{"enabled", model != nullptr}, {"status", QJsonArray::fromStringList(state.lines)}};
        if (state.verdict)
            t["verdict"] = verdictName(*state.verdict);
        QJsonArray rows;
        if (tab == Tab::Smart && model) {
            t["columns"] = QJsonArray::fromStringList(columns(model));
            for (int r = 0; r < model->rowCount(); ++r) {
                QJsonArray cells;
                for (int c = 0; c < model->columnCount(); ++c)
                    cells.append(QJsonValue::fromVariant(model->data(model->index(r, c))));
                rows.append(cells);
            }
        } else if (model) {
            for (const Row &row : flatRows(model)) {
                if (row.header)
                    rows.append(QJsonObject{{"label", row.label}, {"header", true}});
                else
                    rows.append(QJsonObject{{"label", row.label},
                                            {"value", QJsonValue::fromVariant(row.value)},
                                            {"dimmed", row.dimmed}});
            }
        }
        t["rows"] = rows;
        tabs[tabEnglishTitle(tab)] = t;
    }
    drive["tabs"] = tabs;
    return drive;
}

QStringList driveText(Acquisition &acquisition, const QString &path, const QString &name)
{
    QStringList lines;
    std::unique_ptr<DriveData> data = acquisition.acquireDrive(path, name);
    lines << QStringLiteral("== %1: %2%3").arg(path, name,
                                               acquisition.isDriveSupported(path) ? QString() : QStringLiteral(" (not supported)"));
    if (!data)
        lines << QStringLiteral("   error: ") + openDriveError(name);
    for (Tab tab : allTabs()) {
        QAbstractItemModel *model = data ? tabModel(*data, tab) : nullptr;
        const TabState state = tabState(data.get(), tab, hostedMode());
        lines << QStringLiteral("-- %1 [%2]").arg(tabEnglishTitle(tab), model ? "enabled" : "disabled");
        for (int i = 0; i < state.lines.size(); ++i) {
            QString line = QStringLiteral("   status: ") + state.lines[i];
            if (state.verdict && i == state.lines.size() - 1)
                line += QStringLiteral(" [%1]").arg(verdictName(*state.verdict));
            lines << line;
        }
        if (!model)
            continue;
        if (tab == Tab::Smart) {
            lines << QStringLiteral("   ") + columns(model).join(QStringLiteral(" | "));
            for (int r = 0; r < model->rowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < model->columnCount(); ++c)
                    cells << model->data(model->index(r, c)).toString();
                lines << QStringLiteral("   ") + cells.join(QStringLiteral(" | "));
            }
            continue;
        }
        for (const Row &row : flatRows(model)) {
            if (row.header)
                lines << QStringLiteral("   ") + row.label;
            else
                lines << QStringLiteral("     %1: %2%3").arg(row.label, row.value.toString(),
                                                            row.dimmed ? QStringLiteral(" (dimmed)") : QString());
        }
    }
    return lines;
}

int runReport(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.contains(QLatin1String("--prometheus")))
        return runMetrics(args, out, err);
    bool json = false, list = false, all = false, withImages = false, redact = false;
    QString drive, snapshot;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--json"))
            json = true;
        else if (a == QLatin1String("--list"))
            list = true;
        else if (a == QLatin1String("--all"))
            all = true;
        else if (a == QLatin1String("--drive") && i + 1 < args.size())
            drive = args[++i];
        else if (a == QLatin1String("--snapshot") && i + 1 < args.size() && !args[i + 1].isEmpty())
            snapshot = args[++i];
        else if (a == QLatin1String("--with-images"))
            withImages = true;
        else if (a == QLatin1String("--redact"))
            redact = true;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << usage;
            return 0;
        } else {
            err << "drivescope-report: unknown or incomplete argument: " << a << "\n" << usage;
            return 2;
        }
    }
    if (int(list) + int(all) + int(!drive.isEmpty()) + int(!snapshot.isEmpty()) != 1) {
        err << "drivescope-report: give exactly one of --list, --all, --drive PATH, --snapshot FILE\n" << usage;
        return 2;
    }
    if ((withImages || redact) && snapshot.isEmpty()) {
        err << "drivescope-report: --with-images and --redact go with --snapshot FILE\n" << usage;
        return 2;
    }

    // Problems with the source itself were reported once, as it was read.
    Services::Nodes::Backend &backend = Services::Nodes::Backend::instance();
    if (!backend.available()) {
        err << "drivescope-report: cannot read the drive source (" << backend.describe() << ")\n";
        return 1;
    }

    // What the source finds out while drives are read (missing rights, a drive
    // left asleep) is said once, after the report.
    const QStringList knownBefore = backend.errors();
    auto tellNotices = [&] {
        for (const QString &line : backend.errors()) {
            if (!knownBefore.contains(line))
                err << "drivescope-report: " << line << "\n";
        }
    };

    if (!snapshot.isEmpty()) {
        QString error;
        const bool written = Services::Nodes::writeSnapshot(backend, snapshot, withImages, redact, &error);
        tellNotices();
        if (!written) {
            err << "drivescope-report: " << error << "\n";
            return 1;
        }
        return 0;
    }

    Acquisition acquisition;
    QList<Services::Nodes::DriveEntry> entries;
    if (!drive.isEmpty())
        entries << Services::Nodes::DriveEntry{drive, displayName(drive), 2};
    else
        entries = backend.drives();

    QJsonArray drives;
    for (const auto &entry : entries) {
        if (list) {
            const bool supported = acquisition.isDriveSupported(entry.path);
            if (json)
                drives.append(QJsonObject{{"path", entry.path}, {"name", entry.label}, {"supported", supported}});
            else
                out << entry.path << "\t" << entry.label << "\t" << (supported ? "supported" : "not supported") << "\n";
            continue;
        }
        if (json) {
            const QJsonObject d = driveJson(acquisition, entry.path, entry.label);
            if (d.contains("error"))
                err << d["error"].toString() << "\n";
            drives.append(d);
        } else {
            const QStringList lines = driveText(acquisition, entry.path, entry.label);
            for (const QString &line : lines)
                out << line << "\n";
            if (lines.size() > 1 && lines[1].startsWith(QLatin1String("   error: ")))
                err << openDriveError(entry.label) << "\n";
        }
    }
    if (json)
        out << QJsonDocument(QJsonObject{{"drives", drives}}).toJson(QJsonDocument::Indented);
    out.flush();
    tellNotices();
    return 0;
}

int runReport(const QStringList &args)
{
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "drivescope-report";
        static char *argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    setupTranslationAndFormatting();
    StdErrPrinter printer;
    SysLogStream::setStdOutPrinter(&printer);
    QTextStream out(stdout), err(stderr);
    const int status = runReport(args, out, err);
    err.flush();
    SysLogStream::setStdOutPrinter(nullptr);
    return status;
}

} // namespace Applications::DriveScope
