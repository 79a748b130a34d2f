#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace tarnlow::test {

// What a run of tarnlow_as_cli left: its exit code (-1 when it crashed, was killed or never
// finished) and everything it wrote to standard output and standard error.
struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The path of the built tarnlow_as_cli.
QString cliProgram();

// The environment of this test with the settings store of the child redirected to registry.
QProcessEnvironment environmentWithRegistry(const QString& registry);

// Runs the built tarnlow_as_cli to its end in the given environment. A run that does not start
// or finish within five minutes is killed and counted as a test failure.
CliRun runCli(const QStringList& arguments,
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// Runs it with its settings store in registry, apart from this test's own.
CliRun runCli(const QStringList& arguments, const QString& registry);

} // namespace tarnlow::test
