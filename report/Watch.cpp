// drivescope-report --watch: one JSON line per drive that comes, goes or
// changes, from the backend's drive-list watcher, until interrupted or until
// standard input closes.
#include "report/Report.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <thread>
#include <unistd.h>

#include "platform/Nodes.h"
#include "platform/Ref.h"

namespace Applications::DriveScope {

using Services::Nodes::DriveEntry;

QStringList watchLines(const QList<DriveEntry> &before, const QList<DriveEntry> &after)
{
    auto find = [](const QList<DriveEntry> &list, const QString &path) -> const DriveEntry * {
        for (const DriveEntry &e : list) {
            if (e.path == path)
                return &e;
        }
        return nullptr;
    };
    auto line = [](const char *event, const DriveEntry &e) {
        return QString::fromUtf8(QJsonDocument(QJsonObject{{"event", event}, {"path", e.path}, {"name", e.label}})
                                     .toJson(QJsonDocument::Compact));
    };
    QStringList lines;
    for (const DriveEntry &e : before) {
        if (!find(after, e.path))
            lines << line("remove", e);
    }
    for (const DriveEntry &e : after) {
        const DriveEntry *old = find(before, e.path);
        if (!old)
            lines << line("add", e);
        else if (old->label != e.label)
            lines << line("change", e);
    }
    return lines;
}

int runWatch(QTextStream &out, QTextStream &err)
{
    Services::Nodes::Backend &backend = Services::Nodes::Backend::instance();
    const Ref<Services::Nodes::DeviceClient> client = backend.driveListClient();
    if (!client) {
        err << "drivescope-report: cannot watch the drive list (" << backend.describe() << ")\n";
        return 1;
    }
    // The drives present when watching starts, so that a reader knows it has begun.
    QList<DriveEntry> drives = backend.drives();
    for (const DriveEntry &e : drives)
        out << watchLines({}, {e}).first().replace(QLatin1String("\"add\""), QLatin1String("\"present\"")) << "\n";
    out.flush();

    // End of input ends the watch: a blocked wait() is woken from this thread,
    // which stays blocked in read() when input never closes (left to exit).
    std::atomic_bool inputClosed = false;
    std::thread([client, &inputClosed] {
        char buffer[256];
        while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
        }
        inputClosed = true;
        client->interrupt();
    }).detach();

    while (!inputClosed) {
        if (!client->wait(0xFFFFFFFF))
            continue;
        client->acknowledge();
        if (inputClosed)
            break;
        const QList<DriveEntry> now = backend.drives();
        for (const QString &line : watchLines(drives, now))
            out << line << "\n";
        out.flush();
        drives = now;
    }
    return 0;
}

} // namespace Applications::DriveScope
