#include "login/w_login.h"

#include "db/connection_settings.h"
#include "db/database_worker.h"
#include "db/transaction.h"
#include "host/f_center.h"
#include "host/layout_units.h"
#include "host/message_box.h"
#include "host/settings_store.h"
#include "host/window_fit.h"
#include "lang/change_language.h"
#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"
#include "lang/uo_std_cb.h"
#include "lang/uo_std_chk.h"
#include "lang/uo_std_sle.h"
#include "lang/uo_std_st.h"
#include "login/f_password.h"
#include "login/login_connection.h"
#include "login/login_settings.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

namespace tarnlow {

namespace {

// Window heights count the title bar and frame, as on the desktop the layout was drawn for; the
// client area is that much smaller, so the expanded rows lie below the collapsed window's edge.
constexpr int kFrameAllowanceUnits = 92;

// Shown when the login worked but not every setting could be stored.
constexpr int kMessageSettingsNotStored = 10500;
// Shown under the buttons while a busy server is waited for: the attempt number.
constexpr int kMessageServerBusy = 10505;

// The row of the database type, below the language.
constexpr int kDbmsRowY = 1052;

} // namespace

w_login::w_login(Transaction& sqlca, QWidget* parent)
    : QDialog(parent)
    , m_sqlca(sqlca) {
    setObjectName(QStringLiteral("w_login"));
    setWindowTitle(QStringLiteral("Login"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Modal from its first show, also when a failed auto-login shows it before the event loop runs.
    setWindowModality(Qt::ApplicationModal);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    // The design font; the language-aware controls take over the face name of the language file.
    QFont designFont(QStringLiteral("宋体"), 9);
    setFont(designFont);
    createControls();
    arrangeTabOrder();
    setExpanded(false);
    m_showWhenSlow = new QTimer(this);
    m_showWhenSlow->setSingleShot(true);
    m_showWhenSlow->setInterval(kShowSlowAutoLoginMs);
    connect(m_showWhenSlow, &QTimer::timeout, this, [this] {
        if (isConnecting())
            show();
    });
}

w_login::~w_login() = default;

bool w_login::isConnecting() const {
    return m_attempt != nullptr && m_attempt->isRunning();
}

// Names a control and places it by layout units.
void w_login::place(QWidget* control, const char* name, int x, int y, int width, int height) {
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    control->setObjectName(QLatin1String(name));
    control->setGeometry(unitsToPixelsX(x, dpiX), unitsToPixelsY(y, dpiY), unitsToPixelsX(width, dpiX),
                         unitsToPixelsY(height, dpiY));
}

void w_login::createControls() {
    createLoginControls();
    createServerControls();
    connectControls();
    askForLanguage();
}

// The login name, the password, the automatic login and the three buttons.
void w_login::createLoginControls() {
    st_21 = new uo_std_st(QStringLiteral("SYS_SERVER_LOGIN"), QStringLiteral("登录名："), this);
    place(st_21, "st_21", 73, 56, 347, 60);
    sle_3 = new uo_std_sle(this);
    place(sle_3, "sle_3", 494, 56, 672, 84);
    st_20 = new uo_std_st(QStringLiteral("SYS_PASSWORD"), QStringLiteral("登录密码："), this);
    place(st_20, "st_20", 73, 208, 347, 56);
    sle_4 = new uo_std_sle(this);
    sle_4->setEchoMode(QLineEdit::Password);
    place(sle_4, "sle_4", 494, 208, 672, 84);
    cbx_1 = new uo_std_chk(QStringLiteral("AUTO_LOGIN"), QStringLiteral("自动登录"), this);
    place(cbx_1, "cbx_1", 73, 416, 430, 76);
    cb_1 = new uo_std_cb(QStringLiteral("LOGIN_OK"), QStringLiteral("确定(&O)"), this);
    place(cb_1, "cb_1", 530, 408, 311, 92);
    cb_2 = new uo_std_cb(QStringLiteral("LOGIN_CANCEL"), QStringLiteral("取消(&C)"), this);
    place(cb_2, "cb_2", 855, 408, 311, 92);
    cb_3 = new uo_std_cb(this);
    cb_3->setText(QStringLiteral(">>"));
    place(cb_3, "cb_3", 1184, 408, 105, 92);
    st_busy = new QLabel(this);
    place(st_busy, "st_busy", 73, 504, 1280, 60);
    st_busy->setVisible(false);
}

// The fields that ">>" shows: server path and address, database, language and database type.
void w_login::createServerControls() {
    st_7 = new uo_std_st(QStringLiteral("SYS_SERVER"), QStringLiteral("服务器程序路径："), this);
    place(st_7, "st_7", 73, 632, 471, 56);
    sle_2 = new uo_std_sle(this);
    place(sle_2, "sle_2", 494, 632, 672, 84);
    st_8 = new uo_std_st(QStringLiteral("SYS_SERVER_IP"), QStringLiteral("服务器内网IP："), this);
    place(st_8, "st_8", 73, 740, 471, 56);
    sle_1 = new uo_std_sle(this);
    place(sle_1, "sle_1", 494, 740, 672, 84);
    st_19 = new uo_std_st(QStringLiteral("SYS_DATABASE"), QStringLiteral("默认数据库："), this);
    place(st_19, "st_19", 73, 844, 471, 56);
    sle_6 = new uo_std_sle(this);
    place(sle_6, "sle_6", 494, 844, 672, 84);
    st_28 = new uo_std_st(QStringLiteral("SYS_LANGUAGE"), QStringLiteral("默认语言："), this);
    place(st_28, "st_28", 73, 948, 471, 56);
    ddlb_1 = new QComboBox(this);
    ddlb_1->setEditable(false);
    place(ddlb_1, "ddlb_1", 494, 948, 672, 84);
    lb_1 = new QListWidget(this);
    lb_1->setSortingEnabled(false);
    lb_1->setVisible(false);
    place(lb_1, "lb_1", 2107, 332, 480, 300);
    st_29 = new uo_std_st(QStringLiteral("SYS_DBMS"), QStringLiteral("数据库类型："), this);
    place(st_29, "st_29", 73, kDbmsRowY, 471, 56);
    ddlb_2 = new QComboBox(this);
    ddlb_2->setEditable(false);
    for (const DbmsChoice& choice : dbmsChoices())
        ddlb_2->addItem(lookup(QStringLiteral("TEXT"), choice.languageKey, choice.displayText), choice.dbms);
    place(ddlb_2, "ddlb_2", 494, kDbmsRowY, 672, 84);
    cb_4 = new uo_std_cb(QStringLiteral("LOGIN_CHOOSE_FILE"), QStringLiteral("..."), this);
    place(cb_4, "cb_4", 1184, 844, 105, 84);
}

void w_login::connectControls() {
    // The labels' captions sit level with the text of the edit beside them.
    for (uo_std_st* label : {st_21, st_20, st_7, st_8, st_19, st_28, st_29}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->resize(label->width(), unitsToPixelsY(84, logicalDpiY()));
    }

    // Enter in a field logs in; Enter on a focused button presses that button (Cancel cancels).
    cb_1->setDefault(true);
    for (uo_std_cb* button : {cb_2, cb_3, cb_4})
        button->setAutoDefault(true);
    connect(cb_1, &QPushButton::clicked, this, [this] { logIn(); });
    connect(cb_2, &QPushButton::clicked, this, &w_login::cancel);
    connect(cb_3, &QPushButton::clicked, this, &w_login::toggleExpanded);
    connect(cb_4, &QPushButton::clicked, this, &w_login::chooseDatabaseFile);
    connect(ddlb_2, &QComboBox::currentIndexChanged, this, &w_login::updateForDbms);
}

void w_login::askForLanguage() {
    // Every control but st_28 and lb_1 asks for the language once the open processing is over.
    for (uo_std_st* label : {st_21, st_20, st_7, st_8, st_19, st_29})
        label->postChangeLanguage();
    for (uo_std_sle* edit : {sle_3, sle_4, sle_2, sle_1, sle_6})
        edit->postChangeLanguage();
    for (uo_std_cb* button : {cb_1, cb_2, cb_3, cb_4})
        button->postChangeLanguage();
    cbx_1->postChangeLanguage();
    for (QComboBox* list : {ddlb_1, ddlb_2}) {
        QMetaObject::invokeMethod(
            list, [list] { changeComboBoxLanguage(*list, QString()); }, Qt::QueuedConnection);
    }
}

void w_login::arrangeTabOrder() {
    // Password first; the check box, which the layout leaves out of the order, comes last so that
    // it stays reachable from the keyboard.
    const QList<QWidget*> order{sle_4, sle_2, lb_1, cb_2,   cb_1,   sle_1, cb_3,
                                sle_3, sle_6, cb_4, ddlb_1, ddlb_2, cbx_1};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    sle_4->setFocus();
}

void w_login::setExpanded(bool expanded) {
    m_expanded = expanded;
    cb_3->setText(expanded ? QStringLiteral("<<") : QStringLiteral(">>"));
    // Hidden rows also leave the tab order while the window is collapsed.
    for (QWidget* control :
         {static_cast<QWidget*>(st_7), static_cast<QWidget*>(sle_2), static_cast<QWidget*>(st_8),
          static_cast<QWidget*>(sle_1), static_cast<QWidget*>(st_19), static_cast<QWidget*>(sle_6),
          static_cast<QWidget*>(st_28), static_cast<QWidget*>(ddlb_1), static_cast<QWidget*>(st_29),
          static_cast<QWidget*>(ddlb_2), static_cast<QWidget*>(cb_4)})
        control->setVisible(expanded);
    const int heightUnits = (expanded ? kExpandedHeight : kCollapsedHeight) - kFrameAllowanceUnits;
    setFixedSize(unitsToPixelsX(kWidth, logicalDpiX()), unitsToPixelsY(heightUnits, logicalDpiY()));
    // A small or scaled screen gets the whole window, shrunk if it must be.
    fitToScreen(*this);
}

void w_login::toggleExpanded() {
    setExpanded(!m_expanded);
}

void w_login::fillLanguageLists() {
    m_languages = languageList(gs_path);
    lb_1->clear();
    ddlb_1->clear();
    for (const LanguageEntry& entry : m_languages)
        lb_1->addItem(entry.fileName);
    for (const LanguageEntry& entry : m_languages)
        ddlb_1->addItem(entry.name);
    ddlb_1->setCurrentIndex(-1);
}

void w_login::showStoredValues() {
    const StoredLogin stored = readStoredLogin(SettingsStore::standard());
    sle_3->setText(stored.login);
    // A stored value that is no scrambled password leaves the field empty rather than showing bytes.
    const Result<QString> password = f_password(stored.password, false, kPasswordAccessKey);
    sle_4->setText(password ? *password : QString());
    sle_2->setText(normalizedServerPath(stored.serverPath));
    sle_1->setText(stored.serverIp);
    sle_6->setText(stored.database);
    const std::optional<qsizetype> choice = dbmsChoiceIndex(stored.dbms);
    ddlb_2->setCurrentIndex(static_cast<int>(choice.value_or(0)));
    updateForDbms();
    if (wantsAutoLogin(stored))
        cbx_1->setChecked(true);
    if (!wantsAutoLogin(stored)) {
        show();
        return;
    }
    // A stored database system that is missing or that the list cannot offer is never replaced
    // unseen by a login to the embedded database: the window opens, expanded, and says why.
    if (const std::optional<NumberedMessage> refusal = autoLoginRefusal(stored)) {
        setExpanded(true);
        show();
        f_msgbox(*refusal);
        return;
    }
    logIn(LoginKind::Automatic);
}

std::optional<NumberedMessage> w_login::autoLoginRefusal(const StoredLogin& stored) const {
    if (stored.dbms.trimmed().isEmpty())
        return NumberedMessage{kMessageAutoLoginNoDbms, {}};
    if (!dbmsChoiceIndex(stored.dbms))
        return NumberedMessage{kMessageAutoLoginUnknownDbms, {stored.dbms}};
    return std::nullopt;
}

void w_login::updateForDbms() {
    const bool sqlite = ddlb_2->currentData().toString() == kDbmsSqlite;
    st_8->setEnabled(!sqlite);
    sle_1->setEnabled(!sqlite);
    cb_4->setEnabled(sqlite);
}

void w_login::chooseDatabaseFile() {
    const QString current = sle_6->text().isEmpty() ? kEmbeddedDatabaseFile : sle_6->text();
    const QString start = QDir(gs_path).absoluteFilePath(current);
    // Save-style, so that a file that does not exist yet may be named; the login asks before it
    // creates one.
    const QString chosen =
        QFileDialog::getSaveFileName(this,
                                     lookup(QStringLiteral("TEXT"), QStringLiteral("LOGIN_CHOOSE_FILE_TITLE"),
                                            QStringLiteral("数据库文件")),
                                     start, QStringLiteral("SQLite (*.db *.sqlite *.sqlite3);;* (*)"),
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty())
        sle_6->setText(QDir::toNativeSeparators(chosen));
}

bool w_login::sqliteFileMayBeOpened(const LoginInputs& inputs, LoginKind kind) {
    const std::optional<QString> missing = missingSqliteFile(inputs, gs_path);
    if (!missing)
        return true;
    if (kind == LoginKind::Automatic) {
        setExpanded(true);
        show();
        f_msgbox(NumberedMessage{kMessageAutoLoginFileMissing, {*missing}});
        sle_6->setFocus();
        return false;
    }
    // The first start makes its embedded database without asking.
    if (m_first == 1 && namesEmbeddedDatabase(inputs))
        return true;
    return askYesNo(NumberedMessage{kMessageCreateSqliteFile, {*missing}});
}

LoginInputs w_login::currentInputs() const {
    LoginInputs inputs;
    inputs.login = sle_3->text();
    inputs.password = sle_4->text();
    inputs.serverPath = sle_2->text();
    inputs.serverAddress = sle_1->text();
    inputs.database = sle_6->text();
    inputs.dbms = ddlb_2->currentData().toString();
    inputs.autoLogin = cbx_1->isChecked();
    return inputs;
}

void w_login::openWindow(int first) {
    m_first = first;
    f_center(this);
    if (first == 1)
        setExpanded(true);
    fillLanguageLists();
    showStoredValues();
}

std::optional<int> w_login::openModal(Transaction& sqlca, int first, QWidget* parent) {
    w_login window(sqlca, parent);
    window.openWindow(first);
    if (window.isConnecting() && !window.isVisible()) {
        // An automatic login runs unseen; wait for it without showing the window, unless it is
        // slow and shows itself.
        QEventLoop waiting;
        connect(window.m_attempt, &DatabaseWorker::finished, &waiting, &QEventLoop::quit);
        connect(window.m_showWhenSlow, &QTimer::timeout, &waiting, &QEventLoop::quit);
        waiting.exec();
    }
    if (!window.closingResult() && window.isVisible())
        window.exec();
    return window.closingResult();
}

void w_login::logIn(LoginKind kind) {
    if (isConnecting())
        return;
    const LoginInputs inputs = currentInputs();
    if (!sqliteFileMayBeOpened(inputs, kind))
        return;

    // The attempt runs on a thread of its own with a connection object of its own, so the window
    // keeps answering and Cancel can give up on a server that does not answer. The program's
    // connection changes only when the attempt succeeds.
    Transaction fields;
    setConnectionFields(fields, inputs, gs_path);
    if (m_attempt != nullptr)
        m_attempt->deleteLater();
    m_attempt = new DatabaseWorker(ConnectionSettings::of(fields), this);
    setConnecting(true);
    if (!isVisible())
        m_showWhenSlow->start();
    m_attempt->start(
        loginAttemptJob([this, inputs](const LoginAttemptOutcome& outcome) { finishLogIn(inputs, outcome); },
                        [this](const ConnectWait& wait) {
                            st_busy->setText(messageText(
                                NumberedMessage{kMessageServerBusy, {QString::number(wait.attempt + 1)}}));
                            st_busy->setVisible(true);
                        }));
}

void w_login::finishLogIn(const LoginInputs& inputs, const LoginAttemptOutcome& outcome) {
    m_showWhenSlow->stop();
    setConnecting(false);
    if (const std::optional<LoginFailure> failure = takeOverLogin(m_sqlca, outcome)) {
        show();
        MessageBoxRequest request;
        request.title = QStringLiteral("SQL Code: ") + QString::number(failure->code);
        request.text = failure->text;
        showMessageBox(request);
        sle_4->setFocus();
        return;
    }

    SettingsStore store = SettingsStore::standard();
    const StoredSettings stored = storeSettingsAfterLogin(store, inputs, m_languages, ddlb_1->currentText());
    if (!stored.problems.isEmpty())
        f_msgbox(kMessageSettingsNotStored, {stored.problems.join(QLatin1Char('\n'))});
    m_closingResult = 1;
    done(1);
}

// While an attempt runs, the fields and the other buttons take no input, so that what is stored
// afterwards is what was tried; Cancel stays available.
void w_login::setConnecting(bool connecting) {
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control != cb_2 && control != st_busy)
            control->setEnabled(!connecting);
    }
    if (connecting)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    st_busy->setVisible(false);
    if (connecting) {
        cb_2->setFocus();
        return;
    }
    updateForDbms();
    sle_4->setFocus();
}

// Cancel while connecting gives up on the attempt and leaves the window as it was; otherwise it
// closes the window without a result.
void w_login::cancel() {
    if (!isConnecting()) {
        QDialog::reject();
        return;
    }
    m_showWhenSlow->stop();
    m_attempt->abandon();
    setConnecting(false);
    show();
}

void w_login::reject() {
    cancel();
}

} // namespace tarnlow
