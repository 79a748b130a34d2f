#pragma once

#include "host/result.h"

#include <QString>

#include <cstdint>

namespace tarnlow {

// Keeps a second copy of the program from running: an exclusive lock on the file <name>.lock in
// a per-user runtime folder. The operating system drops the lock when the process ends in any way,
// so a crashed copy never blocks the next start. The lock file is opened close-on-exec, so programs
// started from here (a shell open, a helper) never inherit it.
class SingleInstanceLock {
public:
    // directory: where the lock file lives; defaultDirectory() unless a test says otherwise.
    explicit SingleInstanceLock(QString name, QString directory = defaultDirectory());
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // $XDG_RUNTIME_DIR when set and present, else the temporary folder.
    static QString defaultDirectory();

    // Takes the lock: true when this object now holds it, false when another holder (another
    // process, or another lock object of the same file) has it. An error when the lock file cannot
    // be opened or locked for another reason; the text names the file.
    Result<bool> acquire();

    // Gives the lock up; nothing happens when it is not held.
    void release();

    bool isHeld() const { return m_fd >= 0; }

    // A number standing for the current hold: non-zero while held, different for every acquisition
    // in this process, 0 when not held.
    std::uint32_t handle() const { return m_handle; }

    QString filePath() const;

private:
    QString m_name;
    QString m_directory;
    int m_fd = -1;
    std::uint32_t m_handle = 0;
};

} // namespace tarnlow
