#include "lang/english_messages.h"

#include <QHash>

namespace tarnlow {

// The English texts of section [MESSAGE], as share/lang/English.flf holds them; a test keeps the
// two the same.
const QList<std::pair<int, QString>>& englishMessages() {
    static const QList<std::pair<int, QString>> messages = [] {
        const std::pair<int, const char16_t*> rows[] = {
            {10026, u"%% is already running."},
            {10100, u"The update package %% was written (%% bytes)."},
            {10101, u"The file %% of entry %% cannot be read: %%. Nothing was written."},
            {10102, u"The update package would be %% bytes; a package can hold at most 99,999,999 bytes. "
                    u"Nothing was written."},
            {10103, u"The file name %% of entry %% holds the character %%, which the package code page (GBK) "
                    u"cannot represent. Nothing was written."},
            {10104, u"The SQL script holds the character %% at line %%, column %%, which the package code "
                    u"page (GBK) cannot represent. Nothing was written."},
            {10105, u"The version number %% cannot be stored: %%. Nothing was written."},
            {10106, u"The component number %% cannot be stored: %%. Nothing was written."},
            {10107, u"The file name %% of entry %% cannot be stored: it %%. Nothing was written."},
            {10108,
             u"The update package %% cannot be written: %%. Any earlier file of that name is unchanged."},
            {10109, u"The file %% changed while the package was being written (%%). The package was not "
                    u"written; any earlier file of that name is unchanged."},
            {10110, u"The file %% already exists. Replace it?"},
            {10111, u"The file %% already exists and was left unchanged."},
            {10112, u"The SQL script cannot be stored: %%. Nothing was written."},
            {10113, u"The file name %% of entry %% is already used by entry %%; each entry becomes one file "
                    u"of the program folder. Nothing was written."},
            {10117, u"The update package %% was written (%% bytes). Its SQL script %%. Where it is refused, "
                    u"the import refuses the whole package before anything runs."},
            {10118, u"The update package %% (%% bytes) has been written and signed with key %%: %%. Its SQL "
                    u"script %%. Where it is refused, the import refuses the whole package before anything "
                    u"runs."},
            {10200, u"The system table %% exists but cannot be read, so the system tables cannot be checked. "
                    u"Nothing has been changed. The database says: %%"},
            {10201, u"The program cannot tell which system tables exist, so start-up has stopped. Nothing "
                    u"has been changed. The database says: %%"},
            {10202, u"The system tables must be created anew, which deletes the rows they hold (%%). Delete "
                    u"these rows and create the tables anew?"},
            {10203, u"The system tables could not be created; the database has been left as it was. The "
                    u"database says: %%"},
            {10204, u"The system tables could not be created completely; run the initialisation again. The "
                    u"database says: %%"},
            {10205,
             u"The system tables have been created, but the setting Comp_ID could not be written to %%."},
            {10206, u"The system tables still hold rows (%%). Nothing has been changed; give --force to "
                    u"delete them and create the tables anew."},
            {10207, u"The system tables need to be created anew (%%), but deleting the rows they hold (%%) "
                    u"was declined, so the program ends here without changing anything. To go on, back up "
                    u"these rows with the database's own tools, then start the program again and answer Yes, "
                    u"or run tarnlow_as_cli init --force."},
            {10208, u"The system table %% cannot be read with this login: %%. Start-up goes on without "
                    u"checking or creating the system tables; nothing has been changed or deleted, and what "
                    u"needs this table stays empty."},
            {10209, u"the table %% does not exist"},
            {10210, u"the table T_SYS_MENU holds %% rows, fewer than the %% default rows"},
            {10211, u"the first-run marker FR in T_SYS_CONFIG is \"%%\" instead of \"N\""},
            {10212, u"the first-run marker FR is missing from T_SYS_CONFIG"},
            {10300, u"The update package %% cannot be applied: %%. Nothing has been changed."},
            {10301, u"The SQL script of the update package %% failed: %%. Nothing has been stored."},
            {10302, u"The file %% of the update package %% could not be stored: %%. Nothing of the package "
                    u"has been stored."},
            {10303, u"The database refused the update package %%: %%. Nothing has been stored."},
            {10304, u"The update package %% cannot be applied: there is no database connection."},
            {10305, u"The update package %% is already stored; its SQL script ran again and failed: %%. "
                    u"Nothing has been changed."},
            {10308,
             u"The SQL script of the update package %% cannot run on %%: %%. Nothing has been changed."},
            {10309,
             u"The SQL script of the update package %% ended the import's transaction on SQL Server "
             u"(@@TRANCOUNT was %% before the script and %% after it), for example through a procedure "
             u"that commits or rolls back. What the script did may already be committed; no file of "
             u"the package has been stored."},
            {10310, u"The SQL script of the update package %% left a transaction open on SQL Server "
                    u"(@@TRANCOUNT was %% before the script and %% after it). Everything the script did has "
                    u"been rolled back; no file of the package has been stored."},
            {10316, u"%% is not an update package: it does not begin the way every update package begins. "
                    u"Nothing has been changed. In detail: %%."},
            {10400, u"The list of program files stored in the database cannot be read: %%. No file has been "
                    u"downloaded."},
            {10401, u"The stored file name \"%%\" (version %%, component %%, index %%) is refused because "
                    u"%%. Nothing has been written for it and the download has stopped."},
            {10402, u"The file %% cannot be fetched from the database: %%. The download has stopped and will "
                    u"be tried again at the next start."},
            {10403, u"The file %% has no content in the database. The download has stopped and will be tried "
                    u"again at the next start."},
            {10404, u"The file %% (version %%, component %%, index %%) is no longer in the database. The "
                    u"download has stopped and will be tried again at the next start."},
            {10405, u"The file %% cannot be written: %%. The old file is unchanged; the download has stopped "
                    u"and will be tried again at the next start."},
            {10406, u"Every file has been downloaded, but component %% cannot be recorded in the settings "
                    u"file %%: %%. The files will be downloaded again at the next start."},
            {10407,
             u"The settings file %% cannot be written (%%), so the download could not be recorded: none "
             u"of the %% newer program files stored in the database has been downloaded. Make the settings "
             u"file writable; the download will be tried again at the next start."},
            {10416,
             u"This client's version check could not be recorded in %%: %%. Downloads are not affected."},
            {10417, u"The list of clients cannot be read: %%"},
            {10500, u"The connection is open, but not every setting could be saved: %%"},
            {10505, u"The server is busy; trying again (attempt %%)\u2026"},
            {10510,
             u"The database file %% does not exist, so no automatic login was made: an automatic login "
             u"never creates a database. Choose an existing file, or log in to create a new one."},
            {10511, u"The database file %% does not exist. Create a new, empty database there?"},
            {10512,
             u"No database type is stored on this computer, so no automatic login was made. Choose the "
             u"database type and log in."},
            {10513,
             u"The stored database type \"%%\" is not one this window offers, so no automatic login was "
             u"made. Choose the database type and log in."},
            {10600, u"This build cannot apply update packages; not applied: %%"},
            {10601, u"update......"},
            {10602,
             u"The list of object libraries cannot be read from the database: %%. Start-up goes on with the "
             u"libraries of this computer only, so the main window may not be the one the database names."},
            {10603, u"The menu cannot be read from the database: %%. The main window opens without its menu "
                    u"entries."},
            {10604, u"The file type of update packages (*.fuf) cannot be registered: %%. Start-up goes on; "
                    u"opening a package from the desktop may not start this program."},
            {10660, u"No client of machine %% is recorded; nothing has been removed."},
            {10607, u"The language file %% holds lines that are neither UTF-8 nor GBK text (line %%). Their "
                    u"texts are shown in their default wording; the rest of the file applies."},
            {10670, u"The server is busy (attempt %%); trying again in %% s, giving up in %% s\u2026"},
            {10700, u"%% cannot be opened: no object library provides it (libraries searched: %%)."},
            {10701, u"The language file %% cannot be used: %%. The language stays %%."},
            {10702, u"The main window %% (%%) has no function wf_change_lang, so the language cannot be "
                    u"changed to %%."},
            {10703, u"%% cannot be opened: what %% provides under that name is not a window."},
            {10704, u"The language is now %%, but it could not be stored in the settings file %%; the next "
                    u"start uses the previous language."},
            {10720, u"%% clients, %% of them behind, %% failed; newest check first."},
            {10721, u"No client has recorded a version check yet."},
            {10705, u"The configuration could not be saved; nothing has been changed: %%"},
            {10706, u"The value of LIB names libraries that cannot be found in the program folder %%: %%. "
                    u"Nothing has been saved."},
            {10707, u"Row %% cannot be saved: its type must be 1 to 10 characters long, and its value and "
                    u"remark at most 255 characters each. Nothing has been saved."},
            {10708, u"The type %% is used by more than one row; each type may appear only once. Nothing has "
                    u"been saved."},
            {10709, u"FR is the first-run marker that the program keeps itself; it cannot be changed or "
                    u"deleted here. Nothing has been saved."},
            {10710, u"The configuration has changes that have not been saved. Discard them?"},
            {10800, u"The ODBC data source %% cannot be connected. The driver says: %%"},
            {10801, u"The stock file %% cannot be used: %%. No rows have been loaded."},
            {10802, u"Connect to the ODBC data source first; nothing has been written."},
            {10803, u"%% rows were read from the stock file: %% were written and committed, %% failed and %% "
                    u"keys matched no row of store 0104. The rows not written are listed."},
            {10804, u"The stock update was stopped after %% of %% rows and rolled back; nothing of it has "
                    u"been written."},
            {10805, u"The stock update failed and has been rolled back (%% rows committed before): %%"},
            {10806, u"The stock update was stopped after %% of %% rows. The data source has no savepoints, "
                    u"so each row was committed on its own: %% rows have been written."},
            {10807, u"The rows not written cannot be saved to %%: %%"},
            {10808, u"The file %% cannot be scanned: %%"},
            {10809, u"A stock update is running. Stop it, roll it back and close the window?"},
            {10900, u"The program folder %% cannot be written (%%), so %% newer program files stored in the "
                    u"database have not been downloaded. Run the program from a folder you can write to, or "
                    u"make this folder writable; the download will be tried again at the next start."},
            {11700, u"%% of %%"},
            {11701, u"Stopping…"},
            {11900, u"The update package %% was not applied: %%. With trusted keys set up, a package is "
                    u"applied only with a valid signature (PACKAGE.fuf.minisig) from one of them; nothing "
                    u"has been changed."},
            {11901, u"The list of trusted keys cannot be read: %%. Nothing has been applied or downloaded; "
                    u"correct the list or remove it."},
            {11902, u"The stored file %% (version %%, component %%, index %%) is refused: %%. The old file "
                    u"is unchanged; the download has stopped and will be tried again at the next start."},
            {11903, u"No trusted key is set up on this computer, so downloaded program files are not checked "
                    u"against a signature."},
            {11904, u"The update package %% is signed by key %%, but its signature carries no file records, "
                    u"so computers that verify downloads will refuse its files. Sign packages with "
                    u"tarnlow_as_cli sign."},
            {11905, u"The update package %% (%% bytes) has been written and signed with key %%: %%"},
            {11906, u"The secret key %% cannot be used: %%. No package has been written."},
            {11907, u"The update package %% has been written, but it cannot be signed: %%"},
        };
        QList<std::pair<int, QString>> list;
        for (const auto& [number, text] : rows)
            list.append({number, QString::fromUtf16(text)});
        return list;
    }();
    return messages;
}

QString englishMessageText(int number) {
    static const QHash<int, QString> byNumber = [] {
        QHash<int, QString> hash;
        for (const auto& [key, text] : englishMessages())
            hash.insert(key, text);
        return hash;
    }();
    return byNumber.value(number);
}

} // namespace tarnlow
