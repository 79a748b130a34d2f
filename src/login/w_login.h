#pragma once

#include "host/numbered_message.h"
#include "lang/language_list.h"
#include "login/login_settings.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QListWidget;
class QTimer;

namespace tarnlow {

class DatabaseWorker;
struct LoginAttemptOutcome;
class Transaction;
class uo_std_cb;
class uo_std_chk;
class uo_std_sle;
class uo_std_st;

// The login dialog: collects login name, password, server and language settings, connects the
// program's database connection and, on success, stores the settings and closes with 1. With
// stored auto-login it connects during its open processing and is only shown when that fails.
// Controls carry their names as object names (sle_4 is the password, cb_1 logs in, ...).
class w_login : public QDialog {
    Q_OBJECT

public:
    explicit w_login(Transaction& sqlca, QWidget* parent = nullptr);
    ~w_login() override;

    // Opens the window modally and waits until it closes: 1 after a successful connection, no
    // value when it was cancelled or closed. first = 1 opens it expanded.
    static std::optional<int> openModal(Transaction& sqlca, int first, QWidget* parent = nullptr);

    // The open processing alone: centres, sizes and fills the window, and either shows it or, with
    // stored auto-login, connects at once and stays hidden unless the connection fails.
    void openWindow(int first);

    // The number the window closed with, no value while open or after a cancel.
    std::optional<int> closingResult() const { return m_closingResult; }

    bool isExpanded() const { return m_expanded; }

    // True while a connection attempt runs on its worker thread.
    bool isConnecting() const;

    // An automatic login that takes longer than this shows the window, so that the operator sees
    // what is happening and can cancel it.
    static constexpr int kShowSlowAutoLoginMs = 1000;

    // Escape and the title bar's close button abandon a running attempt, as Cancel does.
    void reject() override;

    // Window heights in layout units; the expanded part holds one row more than the server and
    // language settings: the database type.
    static constexpr int kWidth = 1353;
    static constexpr int kCollapsedHeight = 660;
    static constexpr int kExpandedHeight = 1316;

private:
    void createControls();
    void createLoginControls();
    void createServerControls();
    void connectControls();
    void askForLanguage();
    void place(QWidget* control, const char* name, int x, int y, int width, int height);
    void arrangeTabOrder();
    void setExpanded(bool expanded);
    void fillLanguageLists();
    void showStoredValues();
    // Automatic: the stored auto-login, which never creates a database file.
    enum class LoginKind { Manual, Automatic };
    void logIn(LoginKind kind = LoginKind::Manual);
    LoginInputs currentInputs() const;
    // Whether the SQLite file the inputs name may be opened: it exists, or the operator agrees to
    // create it (without asking for the embedded default file at the first start). An automatic
    // login to a missing file shows the window and says so instead.
    bool sqliteFileMayBeOpened(const LoginInputs& inputs, LoginKind kind);
    // Why a stored auto-login is not made, no value when it may be made.
    std::optional<NumberedMessage> autoLoginRefusal(const StoredLogin& stored) const;
    // With SQLite the server field takes no input and the database field offers a file chooser.
    void updateForDbms();
    void chooseDatabaseFile();
    void finishLogIn(const LoginInputs& inputs, const LoginAttemptOutcome& outcome);
    void setConnecting(bool connecting);
    void cancel();
    void toggleExpanded();

    Transaction& m_sqlca;
    QList<LanguageEntry> m_languages;
    std::optional<int> m_closingResult;
    int m_first = 0; // 1 when opened for the first start on this computer
    bool m_expanded = false;
    DatabaseWorker* m_attempt = nullptr; // the running connection attempt
    QTimer* m_showWhenSlow = nullptr;

    uo_std_st* st_21 = nullptr;
    uo_std_sle* sle_3 = nullptr;
    uo_std_st* st_20 = nullptr;
    uo_std_sle* sle_4 = nullptr;
    uo_std_chk* cbx_1 = nullptr;
    uo_std_cb* cb_1 = nullptr;
    uo_std_cb* cb_2 = nullptr;
    uo_std_cb* cb_3 = nullptr;
    uo_std_st* st_7 = nullptr;
    uo_std_sle* sle_2 = nullptr;
    uo_std_st* st_8 = nullptr;
    uo_std_sle* sle_1 = nullptr;
    uo_std_st* st_19 = nullptr;
    uo_std_sle* sle_6 = nullptr;
    uo_std_st* st_28 = nullptr;
    QComboBox* ddlb_1 = nullptr;
    QListWidget* lb_1 = nullptr;
    uo_std_st* st_29 = nullptr;
    QComboBox* ddlb_2 = nullptr;
    uo_std_cb* cb_4 = nullptr; // chooses the SQLite database file
    QLabel* st_busy = nullptr; // says that a busy server is being waited for
};

} // namespace tarnlow
