// Drive Scope: names the process for the log, installs the crash handler, sets
// up translation and number formatting, and runs the main window. Without a
// display it prints the report of all drives instead.
#include <QApplication>
#include <QStringList>
#include <mutex>

#include "app/MainWindow.h"
#include "app/Resources.h"
#include "crash/CrashHandler.h"
#include "model/Startup.h"
#include "platform/Log.h"
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

} // namespace

int main(int argc, char **argv)
{
    SysLog::procName(QStringLiteral("DriveScope"));
    SysLog::routeQtMessages();
    SysLog::thdName(QStringLiteral("Main"));
    installCrashHandlerOnce();

    if (!haveDisplay())
        return Applications::DriveScope::runReport({QStringLiteral("--all")});

    QApplication app(argc, argv);
    // Before the translation set-up, which looks for catalogues among them.
    Applications::DriveScope::initResources();
    Applications::DriveScope::setupTranslationAndFormatting();

    auto window = std::make_unique<Applications::DriveScope::MainWindow>();
    window->show();
    const int result = app.exec();
    window.reset();
    return result;
}
