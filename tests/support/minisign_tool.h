#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <initializer_list>

namespace tarnlow::test {

struct ToolRun {
    int exitCode = -1;
    QString output; // standard output and error together
};

// Runs the minisign command in the folder with the input on its standard input (where it reads
// a passphrase when it has no terminal). A missing minisign fails the test.
ToolRun runMinisign(const QString& folder, std::initializer_list<const char*> arguments,
                    const QByteArray& input = {});

} // namespace tarnlow::test
