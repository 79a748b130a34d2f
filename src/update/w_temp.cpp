#include "update/w_temp.h"

#include "host/window_fit.h"
#include "lang/f_msgbox.h"
#include "lang/language_lookup.h"
#include "update/package_messages.h"
#include "update/package_reader.h"
#include "update/package_signature.h"
#include "update/signature_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>

#include <array>

namespace tarnlow {
namespace {

QLabel* label(const QString& text, QWidget* parent) {
    auto* widget = new QLabel(text, parent);
    widget->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return widget;
}

} // namespace

w_temp::w_temp(FileDialogs dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_dialogs(std::move(dialogs))
    , m_packageFolder(QDir::homePath()) {
    setFont(QFont(QStringLiteral("Arial"), 9));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    createControls();
    arrangeControls();
    arrangeTabOrder();
    applyLanguage();
    // Tab moves on to the next control rather than into the script; Escape closes the window.
    mle_1->setTabChangesFocus(true);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    resize(600, 420);
    placeWhenFirstShown(*this);
}

// Title, captions and buttons from the language file; the design texts where it has none.
void w_temp::applyLanguage() {
    setWindowTitle(
        lookup(QStringLiteral("TEXT"), QStringLiteral("BUILDER_TITLE"), QStringLiteral("Untitled")));
    const std::array<QLabel*, 4> captions{st_1, st_2, st_3, st_4};
    const std::array<QPushButton*, 4> pickers{cb_2, cb_3, cb_4, cb_5};
    for (size_t i = 0; i < captions.size(); ++i) {
        const QString number = QString::number(i + 1);
        captions.at(i)->setText(
            controlCaption(QStringLiteral("BUILDER_FILE") + number, captions.at(i)->text()));
        pickers.at(i)->setText(
            controlCaption(QStringLiteral("BUILDER_PICK") + number, pickers.at(i)->text()));
    }
    st_5->setText(controlCaption(QStringLiteral("BUILDER_NUMBERS"), st_5->text()));
    st_6->setText(controlCaption(QStringLiteral("BUILDER_KEY"), st_6->text()));
    cb_6->setText(controlCaption(QStringLiteral("BUILDER_WRITE"), cb_6->text()));
    cb_7->setText(controlCaption(QStringLiteral("BUILDER_PICK_KEY"), cb_7->text()));
}

// The controls in the order the window has always created them, with their names.
void w_temp::createControls() {
    mle_1 = new QPlainTextEdit(this);
    mle_1->setObjectName(QStringLiteral("mle_1"));
    mle_1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mle_1->setLineWrapMode(QPlainTextEdit::NoWrap);
    sle_6 = new QLineEdit(QStringLiteral("076"), this);
    sle_5 = new QLineEdit(QStringLiteral("01"), this);
    st_5 = label(QStringLiteral("编译号"), this);
    cb_6 = new QPushButton(QStringLiteral("wirete"), this);
    cb_5 = new QPushButton(QStringLiteral("none"), this);
    cb_4 = new QPushButton(QStringLiteral("none"), this);
    cb_3 = new QPushButton(QStringLiteral("none"), this);
    cb_2 = new QPushButton(QStringLiteral("none"), this);
    sle_4 = new QLineEdit(this);
    sle_3 = new QLineEdit(this);
    sle_2 = new QLineEdit(this);
    sle_1 = new QLineEdit(this);
    st_4 = label(QStringLiteral("文件4："), this);
    st_3 = label(QStringLiteral("文件3："), this);
    st_2 = label(QStringLiteral("文件2："), this);
    st_1 = label(QStringLiteral("文件1："), this);
    st_1->setFont(QFont(QStringLiteral("Arial Black"), 9));
    st_6 = label(QStringLiteral("签名私钥："), this);
    sle_7 = new QLineEdit(this);
    sle_7->setPlaceholderText(QStringLiteral("minisign.key"));
    cb_7 = new QPushButton(QStringLiteral("none"), this);

    const QList<std::pair<QWidget*, QString>> names{
        {sle_6, QStringLiteral("sle_6")}, {sle_5, QStringLiteral("sle_5")}, {st_5, QStringLiteral("st_5")},
        {cb_6, QStringLiteral("cb_6")},   {cb_5, QStringLiteral("cb_5")},   {cb_4, QStringLiteral("cb_4")},
        {cb_3, QStringLiteral("cb_3")},   {cb_2, QStringLiteral("cb_2")},   {sle_4, QStringLiteral("sle_4")},
        {sle_3, QStringLiteral("sle_3")}, {sle_2, QStringLiteral("sle_2")}, {sle_1, QStringLiteral("sle_1")},
        {st_4, QStringLiteral("st_4")},   {st_3, QStringLiteral("st_3")},   {st_2, QStringLiteral("st_2")},
        {st_1, QStringLiteral("st_1")},   {st_6, QStringLiteral("st_6")},   {sle_7, QStringLiteral("sle_7")},
        {cb_7, QStringLiteral("cb_7")},
    };
    for (const auto& [widget, name] : names)
        widget->setObjectName(name);
}

void w_temp::arrangeControls() {
    // Four file rows (label, path, picker), the number row with the build button in the pickers'
    // column, and the script across the whole width below.
    auto* grid = new QGridLayout(this);
    const std::array<std::tuple<QLabel*, QLineEdit*, QPushButton*>, 4> rows{
        std::tuple{st_1, sle_1, cb_2}, std::tuple{st_2, sle_2, cb_3}, std::tuple{st_3, sle_3, cb_4},
        std::tuple{st_4, sle_4, cb_5}};
    for (int row = 0; row < 4; ++row) {
        const auto& [caption, edit, picker] = rows.at(static_cast<size_t>(row));
        caption->setBuddy(edit);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(picker, row, 2);
        connect(picker, &QPushButton::clicked, this, [this, edit = edit] { pickFile(edit); });
    }
    auto* numbers = new QHBoxLayout;
    sle_5->setMaximumWidth(80);
    sle_6->setMaximumWidth(80);
    numbers->addWidget(sle_5);
    numbers->addWidget(sle_6);
    numbers->addStretch();
    grid->addWidget(st_5, 4, 0);
    grid->addLayout(numbers, 4, 1);
    grid->addWidget(cb_6, 4, 2);
    st_6->setBuddy(sle_7);
    grid->addWidget(st_6, 5, 0);
    grid->addWidget(sle_7, 5, 1);
    grid->addWidget(cb_7, 5, 2);
    connect(cb_7, &QPushButton::clicked, this, [this] { pickFile(sle_7); });
    grid->addWidget(mle_1, 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    connect(cb_6, &QPushButton::clicked, this, [this] { build(); });
}

void w_temp::arrangeTabOrder() {
    setTabOrder(sle_1, cb_2);
    setTabOrder(cb_2, sle_2);
    setTabOrder(sle_2, cb_3);
    setTabOrder(cb_3, sle_3);
    setTabOrder(sle_3, cb_4);
    setTabOrder(cb_4, sle_4);
    setTabOrder(sle_4, cb_5);
    setTabOrder(cb_5, sle_5);
    setTabOrder(sle_5, sle_6);
    setTabOrder(sle_6, cb_6);
    setTabOrder(cb_6, sle_7);
    setTabOrder(sle_7, cb_7);
    setTabOrder(cb_7, mle_1);
}

PackageSource w_temp::source() const {
    PackageSource source;
    source.version = sle_5->text();
    source.component = sle_6->text();
    source.files = {sle_1->text(), sle_2->text(), sle_3->text(), sle_4->text()};
    source.sqlScript = mle_1->toPlainText();
    return source;
}

QString w_temp::secretKeyPath() const {
    return sle_7->text().trimmed();
}

Result<std::optional<SecretKey>, bool> w_temp::chosenSecretKey() {
    const QString path = secretKeyPath();
    if (path.isEmpty())
        return std::optional<SecretKey>();
    const auto refuse = [&path](const QString& reason) -> Result<std::optional<SecretKey>, bool> {
        f_msgbox(kMsgSecretKeyUnusable, {QDir::toNativeSeparators(path), reason});
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    const QByteArray text = file.read(64 * 1024);
    const Result<bool> encrypted = secretKeyIsEncrypted(text);
    if (!encrypted)
        return refuse(encrypted.error());
    std::optional<QByteArray> passphrase;
    if (*encrypted) {
        const std::optional<QString> typed =
            m_dialogs.askPassphrase
                ? m_dialogs.askPassphrase(
                      this, QStringLiteral("Passphrase of %1:").arg(QDir::toNativeSeparators(path)))
                : std::nullopt;
        if (!typed)
            return false; // cancelled: nothing to report
        passphrase = typed->toUtf8();
    }
    setCursor(Qt::WaitCursor);
    const Result<SecretKey> key = parseSecretKey(text, passphrase);
    unsetCursor();
    if (!key)
        return refuse(key.error());
    return std::optional<SecretKey>(*key);
}

void w_temp::pickFile(QLineEdit* edit) {
    if (!m_dialogs.openFile)
        return;
    const std::optional<QString> path =
        m_dialogs.openFile(this, QStringLiteral("Select File"), QStringLiteral("所有文件 (*)"));
    if (path && !path->isEmpty())
        edit->setText(QDir::toNativeSeparators(*path));
}

bool w_temp::confirmReplace(const QString& path) {
    return askYesNo(NumberedMessage{kMsgPackageReplaceQuestion, {path}});
}

void w_temp::build() {
    const PackageSource packageSource = source();
    // Everything wrong with the input is reported before the operator is asked where to save.
    const Result<PackagePlan, NumberedMessage> plan = planPackage(packageSource);
    if (!plan) {
        f_msgbox(plan.error());
        return;
    }
    if (!m_dialogs.saveFile)
        return;
    const std::optional<QString> chosen =
        m_dialogs.saveFile(this, QStringLiteral("Save"), QDir(m_packageFolder).filePath(defaultPackageName()),
                           QStringLiteral("*.fuf;;所有文件 (*)"));
    if (!chosen || chosen->isEmpty())
        return;
    const QString target = QFileInfo(*chosen).absoluteFilePath();
    const bool replace = QFileInfo::exists(target);
    if (replace && !confirmReplace(QDir::toNativeSeparators(target)))
        return;
    const Result<std::optional<SecretKey>, bool> key = chosenSecretKey();
    if (!key)
        return;

    QProgressDialog progress(QDir::toNativeSeparators(target), QString(), 0, static_cast<int>(plan->size),
                             this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    PackageWriteOptions options;
    options.replaceExisting = replace;
    options.progress = [&progress](qint64 written, qint64) { progress.setValue(static_cast<int>(written)); };
    setCursor(Qt::WaitCursor);
    const Result<PackageWritten, NumberedMessage> written = writePackage(packageSource, target, options);
    unsetCursor();
    progress.close();

    if (!written) {
        f_msgbox(written.error());
        return;
    }
    m_packageFolder = QFileInfo(written->path).absolutePath();
    if (!*key) {
        // The package cannot know its database: say which would refuse the script.
        const QString shown = QDir::toNativeSeparators(written->path);
        if (written->scriptVerdicts.refusedSomewhere())
            f_msgbox(kMsgPackageWrittenScriptPartly,
                     {shown, QString::number(written->size), written->scriptVerdicts.explained()});
        else
            f_msgbox(kMsgPackageWritten, {shown, QString::number(written->size)});
        return;
    }
    signBuiltPackage(*written, **key);
}

void w_temp::signBuiltPackage(const PackageWritten& written, const SecretKey& key) {
    const QString& path = written.path;
    const qint64 size = written.size;
    const QString shown = QDir::toNativeSeparators(path);
    const Result<PackageReader> package = PackageReader::open(path);
    if (!package) {
        f_msgbox(kMsgPackageNotSigned, {shown, package.error()});
        return;
    }
    setCursor(Qt::WaitCursor);
    const Result<FileSignature> signature = signPackage(*package, key);
    unsetCursor();
    if (!signature) {
        f_msgbox(kMsgPackageNotSigned, {shown, signature.error()});
        return;
    }
    const QStringList said = {shown, QString::number(size), key.id.text(),
                              QDir::toNativeSeparators(signaturePathFor(path))};
    if (written.scriptVerdicts.refusedSomewhere())
        f_msgbox(kMsgPackageSignedScriptPartly, said + QStringList{written.scriptVerdicts.explained()});
    else
        f_msgbox(kMsgPackageWrittenAndSigned, said);
}

} // namespace tarnlow
