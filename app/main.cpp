// Drive Scope: names the process for the log, installs the crash handler, sets
// up translation and number formatting, and runs the main window. Without a
// display it prints the report of all drives instead.
#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>
#include <mutex>

#include "app/MainWindow.h"
#include "app/Resources.h"
#include "crash/CrashHandler.h"
#include "model/Startup.h"
#include "platform/Log.h"
#include "platform/Version.h"
#include "report/Report.h"

namespace {

void installCrashHandlerOnce()
{
    static std::once_flag once;
    std::call_once(once, Applications::DriveScope::installCrashHandler);
}

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

bool fullAccess = false;

const char usage[] = "Usage: drivescope [--nodes FILE | FILE]\n"
                     "Shows the drives of this machine, or of the simulated machine in a node-tree FILE\n"
                     "(as drivescope-report --snapshot writes it; the same as DRIVESCOPE_NODES=FILE).\n"
                     "Without a display it prints the report of every drive (drivescope-report --all).\n"
                     "  --nodes FILE  the node-tree file to show\n"
                     "  --full-access read the drives through the read-only helper, after one\n"
                     "                password prompt (pkexec), when this user cannot read them\n"
                     "  --help        this text\n"
                     "  --version     the program's name and version\n";

// Reads the arguments before anything uses the drive source; -1 to go on,
// otherwise the exit status.
int parseArguments(int argc, char **argv)
{
    QTextStream out(stdout), err(stderr);
    QString nodes;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << usage;
            return 0;
        }
        if (a == QLatin1String("--version")) {
            out << "drivescope " << programVersion() << "\n";
            return 0;
        }
        if (a == QLatin1String("--full-access")) {
            fullAccess = true;
        } else if (a == QLatin1String("--nodes") && i + 1 < argc && argv[i + 1][0]) {
            nodes = QString::fromLocal8Bit(argv[++i]);
        } else if (!a.startsWith(QLatin1Char('-')) && nodes.isEmpty()) {
            // The file a file manager hands over (the desktop entry's %f).
            nodes = a;
        } else if (!a.startsWith(QLatin1String("-platform")) && !a.startsWith(QLatin1String("-style"))) {
            err << "drivescope: unknown or incomplete argument: " << a << "\n" << usage;
            return 2;
        } else {
            ++i; // Qt's own options take a value
        }
    }
    if (!nodes.isEmpty()) {
        if (!QFileInfo(nodes).isFile()) {
            err << "drivescope: no node-tree file " << nodes << "\n";
            return 1;
        }
        // The drive source is chosen from the environment when first used.
        qputenv("DRIVESCOPE_NODES", QFile::encodeName(QFileInfo(nodes).absoluteFilePath()));
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    SysLog::procName(QStringLiteral("DriveScope"));
    SysLog::routeQtMessages();
    SysLog::thdName(QStringLiteral("Main"));
    if (const int status = parseArguments(argc, argv); status >= 0)
        return status;
    installCrashHandlerOnce();

    if (!haveDisplay())
        return Applications::DriveScope::runReport({QStringLiteral("--all")});

    QApplication app(argc, argv);
    // Before the translation set-up, which looks for catalogues among them.
    Applications::DriveScope::initResources();
    Applications::DriveScope::setupTranslationAndFormatting();

    auto window = std::make_unique<Applications::DriveScope::MainWindow>();
    window->show();
    if (fullAccess)
        window->askForFullAccess();
    const int result = app.exec();
    window.reset();
    return result;
}
