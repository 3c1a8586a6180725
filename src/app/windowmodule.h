#pragma once

#include <QString>
#include <QStringList>

struct AppOptions;

// Where the window module is looked for, in order: beside the program (the build tree), then in the
// library folder of the installed layout, relative to the program's folder.
QStringList windowModuleCandidates(const QString &programFolder);

// Loads the window module and runs the window (see windowentry.h). When the module is missing, does
// not load or belongs to another version, says so on standard error and returns 1.
int runWindowModule(int &argc, char **argv, const AppOptions &options, const QString &programFolder);
