#include "host/output_file.h"

#include <QSaveFile>

namespace tarnlow {
namespace {

class SaveFile final : public OutputFile {
public:
    explicit SaveFile(const QString& path)
        : m_file(path) {}

    bool open() override { return m_file.open(QIODevice::WriteOnly); }
    qint64 write(const char* data, qint64 size) override { return m_file.write(data, size); }
    bool commit() override { return m_file.commit(); }
    void cancel() override {
        if (!m_file.isOpen())
            return;
        m_file.cancelWriting();
        // A cancelled commit removes the temporary file now rather than when this object goes.
        m_file.commit();
    }
    QString errorString() const override { return m_file.errorString(); }
    QString fileName() const override { return m_file.fileName(); }
    QFileDevice* fileDevice() override { return &m_file; }

private:
    QSaveFile m_file;
};

} // namespace

std::unique_ptr<OutputFile> createSaveFile(const QString& path) {
    return std::make_unique<SaveFile>(path);
}

std::unique_ptr<OutputFile> createOutputFile(const OutputFileFactory& factory, const QString& path) {
    if (factory)
        return factory(path);
    return createSaveFile(path);
}

} // namespace tarnlow
