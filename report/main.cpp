// drivescope-report: the drives and their tabs, headless.
#include <QCoreApplication>
#include <QStringList>

#include "platform/Log.h"
#include "report/Report.h"

int main(int argc, char **argv)
{
    SysLog::routeQtMessages();
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    return Applications::DriveScope::runReport(args);
}
