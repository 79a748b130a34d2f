#include "update/w_update.h"

#include "host/f_center.h"
#include "host/program_location.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "lang/language_lookup.h"
#include "lang/uo_std_st.h"
#include "signing/trusted_keys.h"
#include "update/signature_messages.h"

#include <QCoreApplication>
#include <QFont>
#include <QGridLayout>
#include <QLabel>

namespace tarnlow {
namespace {

QLabel* valueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(260);
    return label;
}

} // namespace

w_update::w_update(QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(
        lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序")));
    setFont(QFont(QStringLiteral("Arial")));
    setWindowModality(Qt::ApplicationModal);

    st_3 = valueLabel(this);
    st_3->setObjectName(QStringLiteral("st_3"));
    st_11 = new uo_std_st(QStringLiteral("FILE_SIZE"), QStringLiteral("大小："), this);
    st_11->setObjectName(QStringLiteral("st_11"));
    st_10 = new uo_std_st(QStringLiteral("FILE_NAME"), QStringLiteral("文件名："), this);
    st_10->setObjectName(QStringLiteral("st_10"));
    st_5 = valueLabel(this);
    st_5->setObjectName(QStringLiteral("st_5"));
    st_2 = valueLabel(this);
    st_2->setObjectName(QStringLiteral("st_2"));
    st_1 = new uo_std_st(QStringLiteral("FILE_VER"), QStringLiteral("版本："), this);
    st_1->setObjectName(QStringLiteral("st_1"));

    // The captions take the language's face name; the window's own texts stay in Arial.
    for (QLabel* value : {st_2, st_5, st_3})
        value->setFont(QFont(QStringLiteral("Arial")));

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    grid->setContentsMargins(24, 20, 24, 20);
    const std::array<std::pair<QLabel*, QLabel*>, 3> rows{{{st_1, st_2}, {st_10, st_5}, {st_11, st_3}}};
    for (int row = 0; row < 3; ++row) {
        rows[row].first->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(rows[row].first, row, 0);
        grid->addWidget(rows[row].second, row, 1);
    }
    grid->setColumnStretch(1, 1);
    adjustSize();
}

std::optional<int> w_update::open(Transaction& sqlca, const QString& commandLine) {
    ii_comp_index = 0;
    f_center(this);
    // The keys this computer trusts decide whether the package needs a signature.
    const Result<TrustedKeys> trusted = loadTrustedKeys(SettingsStore::standard(), gs_path);
    if (!trusted) {
        m_report = ImportReport{};
        m_report.failure = NumberedMessage{kMsgTrustedKeysUnreadable, {trusted.error()}};
        done(0);
        f_msgbox(*m_report.failure);
        return std::nullopt;
    }
    m_report = importPackage(
        sqlca, commandLine, ImportObserver{[this](const ImportFile& file) { showFile(file); }, {}}, *trusted);
    hide();
    if (m_report.warning)
        f_msgbox(*m_report.warning);
    switch (m_report.result) {
    case ImportResult::Stored:
        done(1);
        return 1;
    case ImportResult::AlreadyStored:
        done(0);
        return std::nullopt;
    case ImportResult::Failed:
        break;
    }
    done(0);
    if (m_report.failure)
        f_msgbox(*m_report.failure);
    return std::nullopt;
}

void w_update::showFile(const ImportFile& file) {
    ii_comp_index = static_cast<std::int16_t>(file.updateIndex);
    st_2->setText(file.versionLabel);
    st_5->setText(file.name);
    st_3->setText(QString::number(file.size));
    if (!isVisible()) {
        show();
        f_center(this);
    }
    // Storing runs on this thread: let the window paint the new values before it goes on.
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace tarnlow
