#include "support/cli_process.h"

#include "support/test_environment.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace tarnlow::test {

QString cliProgram() {
    return binaryDirectory() + QStringLiteral("/tarnlow_as_cli");
}

QProcessEnvironment environmentWithRegistry(const QString& registry) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TARNLOW_AS_REGISTRY"), registry);
    return environment;
}

CliRun runCli(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(cliProgram(), arguments);
    CliRun run;
    if (!process.waitForFinished(300000)) {
        ADD_FAILURE() << "tarnlow_as_cli did not finish: " << process.errorString().toStdString();
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish: ") + process.errorString();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

CliRun runCli(const QStringList& arguments, const QString& registry) {
    return runCli(arguments, environmentWithRegistry(registry));
}

} // namespace tarnlow::test
