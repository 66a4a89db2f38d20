// drivescope-report: the drives and their tabs, headless.
#include <QCoreApplication>
#include <QStringList>

#include "report/Report.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    return Applications::DriveScope::runReport(args);
}
