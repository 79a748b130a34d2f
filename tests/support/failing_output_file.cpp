#include "support/failing_output_file.h"

#include <algorithm>

namespace tarnlow::test {
namespace {

class FailingOutputFile final : public OutputFile {
public:
    FailingOutputFile(const QString& path, std::shared_ptr<OutputFailurePlan> plan)
        : m_real(createSaveFile(path))
        , m_plan(std::move(plan)) {}

    bool open() override {
        if (!m_real->open())
            return false;
        ++m_plan->filesOpened;
        return true;
    }

    qint64 write(const char* data, qint64 size) override {
        if (m_full)
            return -1;
        qint64 room = size;
        if (m_plan->bytesBeforeFull >= 0)
            room = std::min(size, m_plan->bytesBeforeFull - m_written);
        // The part that still fits reaches the temporary file, as it would on a real disk.
        if (room > 0 && m_real->write(data, room) != room)
            return -1;
        m_written += std::max<qint64>(room, 0);
        m_plan->bytesAccepted += std::max<qint64>(room, 0);
        if (room < size) {
            m_full = true;
            m_error = kDiskFullText;
            return -1;
        }
        return size;
    }

    bool commit() override {
        if (m_full || m_plan->failAtCommit) {
            if (!m_full)
                m_error = kCommitFailedText;
            m_real->cancel();
            return false;
        }
        if (!m_real->commit())
            return false;
        ++m_plan->filesCommitted;
        return true;
    }

    void cancel() override { m_real->cancel(); }
    QString errorString() const override { return m_error.isEmpty() ? m_real->errorString() : m_error; }
    QString fileName() const override { return m_real->fileName(); }

private:
    std::unique_ptr<OutputFile> m_real;
    std::shared_ptr<OutputFailurePlan> m_plan;
    qint64 m_written = 0;
    bool m_full = false;
    QString m_error;
};

} // namespace

OutputFileFactory failingOutputFiles(std::shared_ptr<OutputFailurePlan> plan) {
    return [plan](const QString& path) -> std::unique_ptr<OutputFile> {
        return std::make_unique<FailingOutputFile>(path, plan);
    };
}

} // namespace tarnlow::test
