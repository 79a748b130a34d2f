#include "lang/language_globals.h"
#include "signing/file_signature.h"
#include "signing/signing_key.h"
#include "support/message_box_recorder.h"
#include "support/package_layout_cases.h"
#include "support/test_environment.h"
#include "update/w_temp.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarnlow;
using tarnlow::test::MessageBoxRecorder;
using tarnlow::test::patternBytes;
using tarnlow::test::ScratchFolder;

namespace {

// Drives the builder with answered dialogs and the English language file.
class WTempTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath = gs_path;
        savedLang = gs_lang;
        gs_path = tarnlow::test::binaryDirectory() + QLatin1Char('/');
        gs_lang = QStringLiteral("English.flf");
        FileDialogs dialogs;
        dialogs.openFile = [this](QWidget*, const QString& title, const QString& filter) {
            openCalls.append(title + QLatin1Char('|') + filter);
            return openAnswer;
        };
        dialogs.saveFile = [this](QWidget*, const QString&, const QString& proposed, const QString&) {
            proposals.append(proposed);
            return saveAnswer;
        };
        dialogs.askPassphrase = [this](QWidget*, const QString&) {
            ++passphraseQuestions;
            return passphraseAnswer;
        };
        window = std::make_unique<w_temp>(dialogs);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        window.reset();
        gs_path = savedPath;
        gs_lang = savedLang;
    }
    QString file(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(scratch.write(name, bytes));
        return scratch.file(name);
    }
    // Clicks the build button with the save dialog answering `target`; returns what is there afterwards.
    QByteArray build(const QString& target) {
        saveAnswer = target;
        QTest::mouseClick(window->cb_6, Qt::LeftButton);
        return scratch.read(QFileInfo(target).fileName());
    }
    QString lastMessage() const {
        return boxes.requests().isEmpty() ? QString() : boxes.requests().last().text;
    }

    ScratchFolder scratch;
    MessageBoxRecorder boxes;
    std::unique_ptr<w_temp> window;
    std::optional<QString> openAnswer;
    std::optional<QString> saveAnswer;
    QStringList openCalls;
    QStringList proposals;
    std::optional<QString> passphraseAnswer;
    int passphraseQuestions = 0;
    QString savedPath;
    QString savedLang;
};

} // namespace

TEST_F(WTempTest, ControlsCarryTheirTextsFontsAndArrangement) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Update package builder"));
    const QList<QLabel*> labels{window->st_1, window->st_2, window->st_3, window->st_4};
    const QList<QLineEdit*> edits{window->sle_1, window->sle_2, window->sle_3, window->sle_4};
    const QList<QPushButton*> pickers{window->cb_2, window->cb_3, window->cb_4, window->cb_5};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(labels.at(row)->text(), QStringLiteral("File %1:").arg(row + 1));
        EXPECT_TRUE(edits.at(row)->text().isEmpty());
        EXPECT_EQ(pickers.at(row)->text(), QStringLiteral("File &%1...").arg(row + 1));
        // Label left of its edit, edit left of its picker, rows from top to bottom.
        EXPECT_LT(labels.at(row)->x(), edits.at(row)->x());
        EXPECT_LT(edits.at(row)->geometry().right(), pickers.at(row)->x());
        if (row > 0) {
            EXPECT_GT(edits.at(row)->y(), edits.at(row - 1)->y());
        }
    }
    EXPECT_EQ(window->st_5->text(), QStringLiteral("Version / build:"));
    EXPECT_EQ(window->sle_5->text(), QStringLiteral("01"));
    EXPECT_EQ(window->sle_6->text(), QStringLiteral("076"));
    EXPECT_EQ(window->cb_6->text(), QStringLiteral("&Write package..."));
    EXPECT_GT(window->sle_5->y(), window->sle_4->y());
    EXPECT_LT(window->sle_5->x(), window->sle_6->x());
    EXPECT_EQ(window->cb_6->x(), window->cb_5->x());
    EXPECT_GT(window->mle_1->y(), window->cb_6->geometry().bottom());
    EXPECT_LE(window->mle_1->x(), window->st_1->x());
    EXPECT_GE(window->mle_1->geometry().right(), window->cb_5->geometry().right());
    EXPECT_EQ(window->mle_1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(window->st_1->font().family(), QStringLiteral("Arial Black"));
    for (QWidget* widget : {static_cast<QWidget*>(window->st_2), static_cast<QWidget*>(window->sle_1),
                            static_cast<QWidget*>(window->cb_6), static_cast<QWidget*>(window->mle_1)}) {
        EXPECT_EQ(widget->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(widget->font().pointSize(), 9);
    }
}

// Every button has its own access key; Tab leaves the script instead of typing a tab into it, and
// Escape closes the window.
TEST_F(WTempTest, KeyboardReachesEveryButtonAndTabAndEscapeDoWhatTheySay) {
    QSet<QChar> keys;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        const QString text = button->text();
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        ASSERT_GE(amp, 0) << button->objectName().toStdString();
        EXPECT_FALSE(keys.contains(text.at(amp + 1).toLower())) << text.toStdString();
        keys.insert(text.at(amp + 1).toLower());
    }
    window->mle_1->setFocus();
    QTest::keyClick(window->mle_1, Qt::Key_Tab);
    EXPECT_TRUE(window->mle_1->toPlainText().isEmpty());
    EXPECT_NE(QApplication::focusWidget(), window->mle_1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WTempTest, PickersFillTheirOwnRowAndCancellingKeepsTheText) {
    openAnswer = QStringLiteral("/data/first.dll");
    QTest::mouseClick(window->cb_4, Qt::LeftButton);
    EXPECT_EQ(window->sle_3->text(), QStringLiteral("/data/first.dll"));
    EXPECT_TRUE(window->sle_1->text().isEmpty() && window->sle_2->text().isEmpty() &&
                window->sle_4->text().isEmpty());
    ASSERT_EQ(openCalls.size(), 1);
    EXPECT_TRUE(openCalls.first().startsWith(QStringLiteral("Select File|所有文件")));
    openAnswer.reset();
    QTest::mouseClick(window->cb_4, Qt::LeftButton);
    EXPECT_EQ(window->sle_3->text(), QStringLiteral("/data/first.dll"));
    openAnswer = QStringLiteral("/data/last.exe");
    QTest::mouseClick(window->cb_5, Qt::LeftButton);
    EXPECT_EQ(window->sle_4->text(), QStringLiteral("/data/last.exe"));
}

TEST_F(WTempTest, BuildWritesEveryLayoutByteForByteAndReportsIt) {
    const QList<QLineEdit*> edits{window->sle_1, window->sle_2, window->sle_3, window->sle_4};
    int built = 0;
    for (const tarnlow::test::PackageLayoutCase& layout : tarnlow::test::packageLayoutCases()) {
        SCOPED_TRACE(layout.what);
        for (std::size_t i = 0; i < layout.files.size(); ++i) {
            if (layout.files[i])
                edits.at(static_cast<qsizetype>(i))
                    ->setText(file(layout.files[i]->name, layout.files[i]->bytes));
            else
                edits.at(static_cast<qsizetype>(i))->clear();
        }
        window->sle_5->setText(layout.version.value_or(QStringLiteral("01")));
        window->sle_6->setText(layout.component.value_or(QStringLiteral("076")));
        window->mle_1->setPlainText(layout.script);
        const QString target = scratch.file(QStringLiteral("case%1.fuf").arg(++built));
        EXPECT_EQ(build(target), layout.expected);
        EXPECT_EQ(lastMessage(), QStringLiteral("The update package %1 was written (%2 bytes).")
                                     .arg(target)
                                     .arg(layout.expected.size()));
        // The controls are left as they were.
        EXPECT_EQ(window->sle_5->text(), layout.version.value_or(QStringLiteral("01")));
        EXPECT_EQ(window->mle_1->toPlainText(), layout.script);
    }
    // The first save dialog proposes the home folder; the next ones start where the last package went.
    ASSERT_EQ(proposals.size(), built);
    EXPECT_EQ(proposals.value(0), QDir::home().filePath(QStringLiteral("20031220.fuf")));
    EXPECT_EQ(proposals.value(1), scratch.file(QStringLiteral("20031220.fuf")));
}

// The builder cannot know the database a package will reach: it writes a script some databases
// run and names those that refuse it; a script every database refuses is not written.
TEST_F(WTempTest, ScriptSomeDatabasesRefuseIsWrittenWithTheirNamesAndOneAllRefuseIsNot) {
    window->mle_1->setPlainText(
        QStringLiteral("BEGIN TRAN\nUPDATE dbo.player SET level = 60 WHERE level > 60\n"
                       "COMMIT TRAN"));
    const QString target = scratch.file(QStringLiteral("tsql.fuf"));
    const QByteArray bytes = build(target);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_EQ(
        lastMessage(),
        QStringLiteral("The update package %1 was written (%2 bytes). Its SQL script applies on SQL Server; "
                       "refused on PostgreSQL and SQLite: line 1, BEGIN TRAN: it would end or split the "
                       "transaction the import runs the script in. Where it is refused, the import refuses "
                       "the whole package before anything runs.")
            .arg(target)
            .arg(bytes.size()));

    window->mle_1->setPlainText(QStringLiteral("UPDATE dbo.item SET price = 10;\nCOMMIT;"));
    proposals.clear();
    EXPECT_TRUE(build(scratch.file(QStringLiteral("commit.fuf"))).isEmpty());
    EXPECT_TRUE(proposals.isEmpty());
    EXPECT_TRUE(lastMessage().startsWith(
        QStringLiteral("The SQL script cannot be stored: refused on SQL Server: line 2, COMMIT: ")))
        << lastMessage().toStdString();
    EXPECT_FALSE(QFileInfo::exists(scratch.file(QStringLiteral("commit.fuf"))));
}

TEST_F(WTempTest, ReplacingAsksFirstAndBadInputIsReportedBeforeTheSaveDialog) {
    const QString target = file(QStringLiteral("old.fuf"), "old package");
    boxes.queueAnswer(2); // No
    EXPECT_EQ(build(target), QByteArray("old package"));
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_EQ(boxes.requests().first().buttons, MessageButtons::YesNo);
    EXPECT_EQ(boxes.requests().first().text,
              QStringLiteral("The file %1 already exists. Replace it?").arg(target));

    boxes.queueAnswer(1); // Yes
    EXPECT_EQ(build(target).size(), 256);
    EXPECT_TRUE(lastMessage().contains(QStringLiteral("was written (256 bytes)")));

    boxes.clear();
    proposals.clear();
    window->sle_2->setText(scratch.file(QStringLiteral("missing.dll")));
    EXPECT_EQ(build(scratch.file(QStringLiteral("new.fuf"))), QByteArray());
    EXPECT_TRUE(proposals.isEmpty());
    ASSERT_EQ(boxes.requests().size(), 1);
    EXPECT_TRUE(lastMessage().contains(QStringLiteral("missing.dll")) &&
                lastMessage().contains(QStringLiteral("entry 2")))
        << lastMessage().toStdString();
    EXPECT_FALSE(QFileInfo::exists(scratch.file(QStringLiteral("new.fuf"))));

    // A cancelled save dialog writes nothing and says nothing.
    window->sle_2->clear();
    boxes.clear();
    saveAnswer.reset();
    QTest::mouseClick(window->cb_6, Qt::LeftButton);
    EXPECT_TRUE(boxes.requests().isEmpty());
}

TEST_F(WTempTest, ChosenSecretKeySignsThePackageAndAWrongPassphraseWritesNothing) {
    const KeyPair pair = *generateKeyPair();
    const QString keyPath = file(QStringLiteral("k.key"), *secretKeyFileText(pair.secretKey, QByteArray("pw"),
                                                                             interactivePassphraseCost()));
    window->sle_1->setText(file(QStringLiteral("one.dll"), patternBytes(500, 4)));
    window->sle_7->setText(keyPath);
    const QString target = scratch.file(QStringLiteral("signed.fuf"));

    passphraseAnswer = QStringLiteral("not it");
    EXPECT_TRUE(build(target).isEmpty());
    EXPECT_EQ(passphraseQuestions, 1);
    EXPECT_TRUE(lastMessage().contains(QStringLiteral("passphrase is wrong"))) << lastMessage().toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));

    passphraseAnswer = QStringLiteral("pw");
    const QByteArray bytes = build(target);
    ASSERT_EQ(bytes.size(), 756);
    EXPECT_TRUE(lastMessage().contains(QStringLiteral("signed with key ") + pair.publicKey.id.text()))
        << lastMessage().toStdString();
    const Result<FileSignature> signature =
        parseFileSignature(scratch.read(QStringLiteral("signed.fuf.minisig")));
    ASSERT_TRUE(signature);
    EXPECT_TRUE(verifyFile(target, *signature, pair.publicKey));
    EXPECT_TRUE(signature->trustedComment.contains("files:1:500:"));

    // Cancelling the passphrase question builds nothing and says nothing more.
    const qsizetype shown = boxes.requests().size();
    passphraseAnswer.reset();
    ASSERT_TRUE(QFile::remove(target));
    EXPECT_TRUE(build(target).isEmpty());
    EXPECT_EQ(boxes.requests().size(), shown);
}
