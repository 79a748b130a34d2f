#include "w_about.h"

#include "app/application_globals.h"
#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"
#include "lang/uo_std_cb.h"
#include "lang/uo_std_st.h"
#include "signing/trusted_keys.h"

#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnlow {
namespace {

QLabel* value(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString serverText(const Transaction& sqlca) {
    if (sqlca.kind() == DbmsKind::SQLite) {
        const QString file = sqlca.Database.isEmpty() ? QStringLiteral("tarnlow_as.db") : sqlca.Database;
        return QDir::isAbsolutePath(file) ? file : gs_path + file;
    }
    if (sqlca.kind() == DbmsKind::Odbc && sqlca.ServerName.isEmpty())
        return sqlca.Database;
    return sqlca.Database.isEmpty() ? sqlca.ServerName
                                    : sqlca.ServerName + QStringLiteral(" / ") + sqlca.Database;
}

// Whether downloads into this program folder are checked against trusted keys, and against which.
QString downloadVerificationText() {
    const Result<TrustedKeys> trusted = loadTrustedKeys(SettingsStore::standard(), gs_path);
    if (!trusted)
        return lookup(QStringLiteral("TEXT"), QStringLiteral("ABOUT_KEYS_UNREADABLE"),
                      QStringLiteral("无法读取受信任的密钥，下载将被拒绝：%%"))
            .replace(QStringLiteral("%%"), trusted.error());
    if (trusted->isEmpty())
        return lookup(QStringLiteral("TEXT"), QStringLiteral("ABOUT_NOT_VERIFIED"),
                      QStringLiteral("不校验：本机没有设置受信任的密钥"));
    return lookup(QStringLiteral("TEXT"), QStringLiteral("ABOUT_VERIFIED"),
                  QStringLiteral("已校验，受信任的密钥：%%"))
        .replace(QStringLiteral("%%"), trusted->idsText());
}

} // namespace

w_about::w_about(const Transaction* sqlca, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("w_about"));
    const QString title =
        lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序"));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(title, this);
    name->setObjectName(QStringLiteral("st_name"));
    QFont bigger = name->font();
    bigger.setPointSizeF(bigger.pointSizeF() * 1.4);
    bigger.setBold(true);
    name->setFont(bigger);
    layout->addWidget(name);

    auto* form = new QFormLayout;
    st_version = value(QStringLiteral("st_version"), gs_ver, this);
    st_qt = value(QStringLiteral("st_qt"), QString::fromLatin1(qVersion()), this);
    const bool connected = sqlca != nullptr && sqlca->isConnected();
    const QString none =
        lookup(QStringLiteral("TEXT"), QStringLiteral("ABOUT_NOT_CONNECTED"), QStringLiteral("（未连接）"));
    st_dbms = value(QStringLiteral("st_dbms"), connected ? sqlca->DBMS : none, this);
    st_server = value(QStringLiteral("st_server"), connected ? serverText(*sqlca) : none, this);
    const QString languageName =
        lookup(currentLanguageFile(), QStringLiteral("FLF"), QStringLiteral("NAME"), QString());
    st_language =
        value(QStringLiteral("st_language"),
              languageName.isEmpty() ? gs_lang : QStringLiteral("%1 (%2)").arg(languageName, gs_lang), this);
    form->addRow(new uo_std_st(QStringLiteral("ABOUT_VERSION"), QStringLiteral("版本："), this), st_version);
    form->addRow(new uo_std_st(QStringLiteral("ABOUT_QT"), QStringLiteral("Qt 版本："), this), st_qt);
    form->addRow(new uo_std_st(QStringLiteral("ABOUT_DBMS"), QStringLiteral("数据库类型："), this), st_dbms);
    form->addRow(new uo_std_st(QStringLiteral("ABOUT_SERVER"), QStringLiteral("服务器 / 数据库："), this),
                 st_server);
    form->addRow(new uo_std_st(QStringLiteral("ABOUT_LANGUAGE"), QStringLiteral("语言文件："), this),
                 st_language);
    st_downloads = value(QStringLiteral("st_downloads"), downloadVerificationText(), this);
    st_downloads->setWordWrap(true);
    form->addRow(new uo_std_st(QStringLiteral("ABOUT_DOWNLOADS"), QStringLiteral("下载的程序文件："), this),
                 st_downloads);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new uo_std_cb(QStringLiteral("LOGIN_OK"), QStringLiteral("确定(&O)"), this);
    ok->setObjectName(QStringLiteral("cb_ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
}

} // namespace tarnlow
