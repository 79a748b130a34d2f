#pragma once

#include <QByteArray>
#include <QString>

namespace tarnlow {

// Names the file read instead of /etc/machine-id, so that a test can play several machines.
inline constexpr char kMachineIdFileVariable[] = "TARNLOW_AS_MACHINE_ID_FILE";

// What a client says about the machine it runs on when it records its version check.
struct ClientIdentity {
    QString machine; // 64 hex digits, the same on every start of the program on this machine
    QString host;
    QString user;
    QString version; // the program's version
};

// A keyed SHA-256 (HMAC) of the machine's own id under the program's name, as hex. The raw id
// cannot be recovered from it, and the same machine gives other programs another value, so the
// id that other software on the machine may rely on never leaves it.
QString machineIdentity(const QByteArray& rawMachineId, const QString& programName);

// The raw id of this machine: the first line of /etc/machine-id (or of the file
// TARNLOW_AS_MACHINE_ID_FILE names), else the operating system's own unique id, else the host
// name, so that a client always has one.
QByteArray rawMachineId();

// This machine, this user and this program, as recorded after every version check.
ClientIdentity currentClientIdentity();

} // namespace tarnlow
