#include "report/Report.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <future>
#include <memory>
#include <unistd.h>

#include "model/Ata.h"
#include "model/Group.h"
#include "model/OneColumn.h"
#include "model/Partitions.h"
#include "model/Roles.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/Startup.h"
#include "model/TabStatus.h"
#include "platform/I18n.h"
#include "platform/Log.h"
#include "platform/Nodes.h"
#include "platform/Sys.h"
#include "platform/Version.h"
#include "report/Metrics.h"
#include "report/Snapshot.h"

namespace Applications::DriveScope {

using namespace Model;

namespace {

struct Row {
    bool header = false;
    QString label;
    QVariant value;
    bool dimmed = false;
    QString detail; // the hardware database's name of an id
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
            row.detail = flat->data(value, Qt::ToolTipRole).toString();
        }
        rows << row;
    }
    return rows;
}

// "     LABEL: value", the lines of a multi-line value indented under its first.
QString valueLine(const Row &row)
{
    const QString prefix = QStringLiteral("     %1: ").arg(row.label);
    QString value = row.value.toString();
    value.replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(prefix.size(), QLatin1Char(' ')));
    return prefix + value + (row.dimmed ? QStringLiteral(" (dimmed)") : QString());
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
    case Verdict::Ok:
        return QStringLiteral("ok");
    case Verdict::Warning:
        return QStringLiteral("warning");
    case Verdict::Error:
        return QStringLiteral("error");
    }
    return QString();
}

// One object per attribute row, beside the rows the table shows.
QJsonArray attributesJson(const Smart &smart)
{
    QJsonArray list;
    for (const SmartAttribute &a : smart.attributes()) {
        list.append(QJsonObject{{"id", int(a.id)},
                                {"name", smartAttributeName(a.id)},
                                {"value", int(a.value)},
                                {"worst", int(a.worst)},
                                {"threshold", int(a.threshold)},
                                {"raw", qint64(rawNumber(a))},
                                {"rawText", rawText(a)},
                                {"state", attributeStateName(attributeState(a))}});
    }
    return list;
}

bool hostedMode()
{
    return Sys::info(Sys::InfoHosted) != 0;
}

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
            t["attributes"] = attributesJson(*data->smart);
        } else if (model) {
            for (const Row &row : flatRows(model)) {
                if (row.header)
                    rows.append(QJsonObject{{"label", row.label}, {"header", true}});
                else {
                    QJsonObject r{
                        {"label", row.label}, {"value", QJsonValue::fromVariant(row.value)}, {"dimmed", row.dimmed}};
                    if (!row.detail.isEmpty())
                        r["detail"] = row.detail;
                    rows.append(r);
                }
            }
        }
        t["rows"] = rows;
        if (tab == Tab::Partitions && data && data->partitions)
            t["layout"] = data->partitions->layout().toJson();
        tabs[tabEnglishTitle(tab)] = t;
    }
    drive["tabs"] = tabs;
    return drive;
}

QStringList tabText(const DriveData *data, Tab tab)
{
    QStringList lines;
    QAbstractItemModel *model = data ? tabModel(*data, tab) : nullptr;
    const TabState state = tabState(data, tab, hostedMode());
    lines << QStringLiteral("-- %1 [%2]").arg(tabEnglishTitle(tab), model ? "enabled" : "disabled");
    for (int i = 0; i < state.lines.size(); ++i) {
        QString line = QStringLiteral("   status: ") + state.lines[i];
        if (state.verdict && i == state.lines.size() - 1)
            line += QStringLiteral(" [%1]").arg(verdictName(*state.verdict));
        lines << line;
    }
    if (!model)
        return lines;
    if (tab == Tab::Partitions && data->partitions)
        lines << QStringLiteral("   LAYOUT: ") + data->partitions->layout().summary();
    if (tab == Tab::Smart) {
        lines << QStringLiteral("   ") + columns(model).join(QStringLiteral(" | "));
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model->columnCount(); ++c)
                cells << model->data(model->index(r, c)).toString();
            const SmartAttribute &a = data->smart->attributes()[r];
            cells << rawText(a) << attributeStateName(attributeState(a));
            lines << QStringLiteral("   ") + cells.join(QStringLiteral(" | "));
        }
        return lines;
    }
    for (const Row &row : flatRows(model))
        lines << (row.header ? QStringLiteral("   ") + row.label : valueLine(row));
    return lines;
}

QStringList driveText(Acquisition &acquisition, const QString &path, const QString &name)
{
    QStringList lines;
    std::unique_ptr<DriveData> data = acquisition.acquireDrive(path, name);
    lines << QStringLiteral("== %1: %2%3")
                 .arg(path, name, acquisition.isDriveSupported(path) ? QString() : QStringLiteral(" (not supported)"));
    if (!data)
        lines << QStringLiteral("   error: ") + openDriveError(name);
    for (Tab tab : allTabs())
        lines << tabText(data.get(), tab);
    return lines;
}

namespace {

struct Options {
    bool json = false;
    bool withImages = false;
    bool redact = false;
    bool fullAccess = false;
    QString value; // the argument of the mode: PATH, FILE
};

struct Context {
    const Options &options;
    QTextStream &out;
    QTextStream &err;
};

int showUsage(Context &c);
int showVersion(Context &c);
int runList(Context &c);
int runAll(Context &c);
int runDrive(Context &c);
int runSnapshot(Context &c);
int runWatchMode(Context &c)
{
    return runWatch(c.out, c.err);
}

// What the program does; exactly one per run. A new mode is one row here.
struct Mode {
    const char *name;
    const char *argument; // null when the mode takes none
    bool needsSource;     // reads drives (false: answers without the machine)
    int (*run)(Context &);
    const char *help;
};
const Mode modes[] = {
    {"--list", nullptr, true, runList, "the drive list: node path, kernel name, display name, supported or not"},
    {"--all", nullptr, true, runAll, "every tab of every drive"},
    {"--drive", "NAME", true, runDrive,
     "every tab of one drive: its node path, /dev/sda, sda or a link such as /dev/disk/by-id/..."},
    {"--snapshot", "FILE", true, runSnapshot, "write every drive as a node-tree file that DRIVESCOPE_NODES can replay"},
    {"--watch", nullptr, true, runWatchMode, "one JSON line per drive added, removed or changed, until input closes"},
    {"--help", nullptr, false, showUsage, "this text"},
    {"--version", nullptr, false, showVersion, "the program's name and version"},
};

// Switches that modify a mode; `with` names the only mode they go with.
struct Flag {
    const char *name;
    bool Options::*member;
    const char *with;
    const char *help;
};
const Flag flags[] = {
    {"--json", &Options::json, nullptr, "JSON instead of text"},
    {"--with-images", &Options::withImages, "--snapshot", "the first and last MiB of every drive beside the file"},
    {"--redact", &Options::redact, "--snapshot", "serial numbers, WWNs, GUIDs and signatures replaced by stand-ins"},
    {"--full-access", &Options::fullAccess, nullptr,
     "without the rights to read the drives: read them through the read-only helper (one pkexec prompt)"},
};

QString usageText()
{
    QString text = QStringLiteral("Usage: drivescope-report MODE [SWITCHES]\nModes (give exactly one):\n");
    const auto line = [&](QString name, const char *help) {
        text += QStringLiteral("  %1 %2\n").arg(name.leftJustified(16), QString::fromUtf8(help));
    };
    for (const Mode &m : modes)
        line(QString::fromLatin1(m.name) + (m.argument ? QLatin1Char(' ') + QLatin1String(m.argument) : QString()),
             m.help);
    text += QStringLiteral("Switches:\n");
    for (const Flag &f : flags)
        line(QString::fromLatin1(f.name),
             f.with ? QByteArray(f.help).append(" (with ").append(f.with).append(")").constData() : f.help);
    text += QStringLiteral("The drives come from DRIVESCOPE_NODES (a node-tree file) or else from this machine.\n"
                           "Exit status: 0 success, 1 a drive or the drive source cannot be read, 2 bad arguments.\n");
    return text;
}

int showUsage(Context &c)
{
    c.out << usageText();
    return 0;
}

int showVersion(Context &c)
{
    c.out << "drivescope-report " << programVersion() << "\n";
    return 0;
}

Services::Nodes::Backend &backend()
{
    return Services::Nodes::Backend::instance();
}

int runList(Context &c)
{
    Acquisition acquisition;
    QJsonArray drives;
    for (const auto &entry : backend().drives()) {
        const bool supported = acquisition.isDriveSupported(entry.path);
        const QString kernel = backend().kernelName(entry.path);
        if (c.options.json) {
            QJsonObject d{{"path", entry.path}, {"name", entry.label}, {"supported", supported}};
            if (!kernel.isEmpty())
                d["kernel"] = kernel;
            drives.append(d);
        } else {
            c.out << entry.path << "\t" << (kernel.isEmpty() ? QStringLiteral("-") : kernel) << "\t" << entry.label
                  << "\t" << (supported ? "supported" : "not supported") << "\n";
        }
    }
    if (c.options.json)
        c.out << QJsonDocument(QJsonObject{{"drives", drives}}).toJson(QJsonDocument::Indented);
    return 0;
}

int report(Context &c, const QList<Services::Nodes::DriveEntry> &entries)
{
    Acquisition acquisition;
    QStringList failed;
    c.out << writeReport(acquisition, entries, c.options.json, &failed);
    c.out.flush();
    for (const QString &name : failed)
        c.err << openDriveError(name) << "\n";
    return failed.isEmpty() ? 0 : 1;
}

int runAll(Context &c)
{
    // Drives that cannot be opened are named in the report; the others still count.
    report(c, backend().drives());
    return 0;
}

int runDrive(Context &c)
{
    const QString path = backend().drivePath(c.options.value);
    if (path.isEmpty()) {
        c.err << "drivescope-report: no drive " << c.options.value << " (--list shows the drives)\n";
        return 1;
    }
    return report(c, {Services::Nodes::DriveEntry{path, displayName(path), 2}});
}

int runSnapshot(Context &c)
{
    QString error;
    if (!Services::Nodes::writeSnapshot(backend(), c.options.value, c.options.withImages, c.options.redact, &error)) {
        c.err << "drivescope-report: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace

QString writeReport(Acquisition &acquisition, const QList<Services::Nodes::DriveEntry> &drives, bool json,
                    QStringList *failed)
{
    QString text;
    QJsonArray array;
    for (const auto &entry : drives) {
        bool opened = true;
        if (json) {
            const QJsonObject d = driveJson(acquisition, entry.path, entry.label);
            opened = !d.contains("error");
            array.append(d);
        } else {
            const QStringList lines = driveText(acquisition, entry.path, entry.label);
            for (const QString &line : lines)
                text += line + QLatin1Char('\n');
            opened = !(lines.size() > 1 && lines[1].startsWith(QLatin1String("   error: ")));
        }
        if (!opened && failed)
            *failed << entry.label;
    }
    if (json)
        text = QString::fromUtf8(QJsonDocument(QJsonObject{{"drives", array}}).toJson(QJsonDocument::Indented));
    return text;
}

int runReport(const QStringList &args, QTextStream &out, QTextStream &err)
{
    // Metrics take their own arguments (--prometheus [FILE], --drive, --redact).
    if (args.contains(QLatin1String("--prometheus")))
        return runMetrics(args, out, err);
    Options options;
    const Mode *mode = nullptr;
    const auto fail = [&](const QString &why) {
        err << "drivescope-report: " << why << "\n" << usageText();
        return 2;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const Flag *flag =
            std::find_if(std::begin(flags), std::end(flags), [&](const Flag &f) { return a == QLatin1String(f.name); });
        if (flag != std::end(flags)) {
            options.*(flag->member) = true;
            continue;
        }
        const Mode *m = std::find_if(std::begin(modes), std::end(modes),
                                     [&](const Mode &candidate) { return a == QLatin1String(candidate.name); });
        if (a == QLatin1String("-h"))
            m = std::find_if(std::begin(modes), std::end(modes),
                             [](const Mode &candidate) { return candidate.run == showUsage; });
        if (m == std::end(modes))
            return fail(QStringLiteral("unknown argument: ") + a);
        if (mode)
            return fail(QStringLiteral("give exactly one of the modes"));
        mode = m;
        if (m->argument) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                return fail(QStringLiteral("%1 needs %2").arg(QLatin1String(m->name), QLatin1String(m->argument)));
            options.value = args[++i];
        }
    }
    if (!mode)
        return fail(QStringLiteral("give exactly one of the modes"));
    for (const Flag &f : flags) {
        if (options.*(f.member) && f.with && qstrcmp(f.with, mode->name) != 0)
            return fail(QStringLiteral("%1 goes with %2").arg(QLatin1String(f.name), QLatin1String(f.with)));
    }
    Context context{options, out, err};
    if (!mode->needsSource)
        return mode->run(context);

    // Problems with the source itself were reported once, as it was read.
    if (!backend().available()) {
        err << "drivescope-report: cannot read the drive source (" << backend().describe() << ")\n";
        return 1;
    }
    // The drives are read once the prompt has been answered.
    if (options.fullAccess && backend().fullAccessOffered()) {
        std::promise<void> answered;
        backend().requestFullAccess([&answered](bool) { answered.set_value(); });
        answered.get_future().wait();
    }
    // What the source finds out while drives are read (missing rights, a drive
    // left asleep) is said once, after the report, each sentence a line of its own.
    const QStringList knownBefore = backend().errors();
    const int status = mode->run(context);
    out.flush();
    for (const QString &line : backend().errors()) {
        if (!knownBefore.contains(line))
            err << "drivescope-report: " << line << "\n";
    }
    err.flush();
    return status;
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
    // Log lines go to standard error while a report writes to standard output.
    SysLogFdPrinter printer(STDERR_FILENO);
    SysLogStream::setStdOutPrinter(&printer);
    QTextStream out(stdout), err(stderr);
    const int status = runReport(args, out, err);
    err.flush();
    SysLogStream::setStdOutPrinter(nullptr);
    return status;
}

} // namespace Applications::DriveScope
