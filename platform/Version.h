// The program's version, from the project version the build was configured with.
#pragma once
#include <QString>

// "0.1"
QString programVersion();
