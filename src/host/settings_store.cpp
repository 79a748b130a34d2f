#include "host/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace tarnlow {
namespace {

// In memory: sections in file order, each with its values in file order.
struct Section {
    QString key;
    std::vector<std::pair<QString, QString>> values;
};
using Document = std::vector<Section>;

bool needsEscape(QChar c, bool inName) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || u == u'%' || c.isSurrogate())
        return true;
    return inName && (u == u'=' || u == u'[' || u == u']' || u == u';');
}

// Percent-escapes control characters, '%', and blanks at either end so that every value,
// including trailing blanks and any byte the password scrambler produces, survives exactly.
QString escape(const QString& text, bool inName) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool edgeBlank = c == QLatin1Char(' ') && (i == 0 || i == text.size() - 1);
        if (edgeBlank || needsEscape(c, inName)) {
            if (c.unicode() > 0xFF)
                out += QStringLiteral("%u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

QString unescape(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%') && i + 5 < text.size() && text.at(i + 1) == QLatin1Char('u')) {
            bool ok = false;
            const ushort code = text.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 5;
                continue;
            }
        }
        if (c == QLatin1Char('%') && i + 2 < text.size()) {
            bool ok = false;
            const ushort code = text.mid(i + 1, 2).toUShort(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    return out;
}

Document parse(const QByteArray& bytes) {
    Document document;
    const QString text = QString::fromUtf8(bytes);
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            document.push_back({unescape(line.mid(1, line.size() - 2)), {}});
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0 || document.empty())
            continue;
        document.back().values.emplace_back(unescape(line.left(equals)), unescape(line.mid(equals + 1)));
    }
    return document;
}

QByteArray serialise(const Document& document) {
    QString text;
    for (const Section& section : document) {
        text += QLatin1Char('[') + escape(section.key, true) + QStringLiteral("]\n");
        for (const auto& [name, value] : section.values)
            text += escape(name, true) + QLatin1Char('=') + escape(value, false) + QLatin1Char('\n');
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

// Holds an flock on a lock file next to the store for as long as it lives. The operating
// system drops the lock when the process dies, so a crash never blocks another process.
class FileLock {
public:
    FileLock(const QString& storePath, int operation) {
        const QByteArray path = QFile::encodeName(storePath + QStringLiteral(".lock"));
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0 && ::flock(m_fd, operation) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

Document load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

} // namespace

SettingsStore::SettingsStore(QString filePath)
    : m_filePath(std::move(filePath)) {}

QString SettingsStore::standardFilePath() {
    const QString overridePath = qEnvironmentVariable("TARNLOW_AS_REGISTRY");
    if (!overridePath.isEmpty())
        return overridePath;
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/tarnlow_as/registry.ini");
}

SettingsStore SettingsStore::standard() {
    return SettingsStore(standardFilePath());
}

std::optional<QString> SettingsStore::read(const QString& key, const QString& name) const {
    if (!QFileInfo::exists(m_filePath))
        return std::nullopt;
    FileLock lock(m_filePath, LOCK_SH);
    const Document document = load(m_filePath);
    for (const Section& section : document) {
        if (section.key != key)
            continue;
        for (const auto& [valueName, value] : section.values) {
            if (valueName == name) {
                // A stored empty value stays distinguishable from a missing one.
                return value.isNull() ? QString(QLatin1String("")) : value;
            }
        }
    }
    return std::nullopt;
}

Result<void> SettingsStore::write(const QString& key, const QString& name, const QString& value) {
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder))
        return Error{QStringLiteral("the folder %1 cannot be created").arg(folder)};
    FileLock lock(m_filePath, LOCK_EX);
    if (!lock.held())
        return Error{QStringLiteral("the settings file %1 cannot be locked").arg(m_filePath)};

    // The file is created owner-only before the first save; QSaveFile keeps the mode of the file it
    // replaces, so the scrambled password is never readable by others.
    const QByteArray nativePath = QFile::encodeName(m_filePath);
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Error{QStringLiteral("the settings file %1 cannot be opened: %2")
                         .arg(m_filePath, QString::fromLocal8Bit(std::strerror(errno)))};
    ::fchmod(fd, 0600);
    ::close(fd);

    Document document = load(m_filePath);
    // A hand-edited file may hold a key twice: the write changes the value that read() finds (the
    // first occurrence), and a new value joins the first section of the key.
    Section* section = nullptr;
    QString* stored = nullptr;
    for (Section& candidate : document) {
        if (candidate.key != key)
            continue;
        if (!section)
            section = &candidate;
        for (auto& [valueName, existing] : candidate.values) {
            if (valueName == name) {
                stored = &existing;
                break;
            }
        }
        if (stored)
            break;
    }
    if (stored) {
        *stored = value;
    } else {
        if (!section) {
            document.push_back({key, {}});
            section = &document.back();
        }
        section->values.emplace_back(name, value);
    }

    QSaveFile file(m_filePath);
    const auto cannotWrite = [&file, this] {
        return Error{
            QStringLiteral("the settings file %1 cannot be written: %2").arg(m_filePath, file.errorString())};
    };
    if (!file.open(QIODevice::WriteOnly))
        return cannotWrite();
    const QByteArray bytes = serialise(document);
    if (file.write(bytes) != bytes.size()) {
        const Error failure = cannotWrite();
        file.cancelWriting();
        return failure;
    }
    if (!file.commit())
        return cannotWrite();
    return {};
}

QStringList SettingsStore::valueNames(const QString& key) const {
    QStringList names;
    if (!QFileInfo::exists(m_filePath))
        return names;
    FileLock lock(m_filePath, LOCK_SH);
    for (const Section& section : load(m_filePath))
        if (section.key == key)
            for (const auto& value : section.values)
                names.append(value.first);
    return names;
}

} // namespace tarnlow
