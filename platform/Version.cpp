#include "platform/Version.h"

QString programVersion()
{
    // Set on this file alone by the build, so a new version rebuilds one file.
    return QStringLiteral(DRIVESCOPE_VERSION);
}
