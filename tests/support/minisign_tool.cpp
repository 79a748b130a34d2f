#include "support/minisign_tool.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace tarnlow::test {

ToolRun runMinisign(const QString& folder, std::initializer_list<const char*> arguments,
                    const QByteArray& input) {
    ToolRun run;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("minisign"));
    if (program.isEmpty()) {
        ADD_FAILURE() << "minisign is not installed (scripts/setup-deps installs it)";
        return run;
    }
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList list;
    for (const char* argument : arguments)
        list << QString::fromUtf8(argument);
    process.start(program, list);
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "minisign did not start";
        return run;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "minisign did not finish";
        return run;
    }
    run.output = QString::fromUtf8(process.readAll());
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

} // namespace tarnlow::test
