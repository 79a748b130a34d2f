#pragma once

#include <QString>

namespace tarnlow {

// The program folder, always ending in the platform's separator; start-up sets it before anything
// reads a file of the program folder (language files, the embedded database).
extern QString gs_path;

// The full path of the running executable.
QString runningExecutablePath();

// Whether the running program has a module handle of its own. True for a normal start; setting
// TARNLOW_AS_NO_MODULE_HANDLE=1 selects the other branch (program folder from the current
// directory, no single-instance lock, no library list from the database), which tests exercise.
bool moduleHandleAvailable();

// The folder part of an executable path, up to and including its last separator ('/' or '\'):
// "/opt/tool/app" gives "/opt/tool/", "C:\Prog\Tool\app.exe" gives "C:\Prog\Tool\". Empty when
// the path holds no separator.
QString folderOfExecutable(const QString& executablePath);

// A directory with a separator appended when its last character is not one: "/work" gives
// "/work/", "/" stays "/", "C:\" stays "C:\". The appended separator is a backslash for a path
// written with backslashes only, '/' otherwise.
QString folderWithSeparator(const QString& directory);

} // namespace tarnlow
