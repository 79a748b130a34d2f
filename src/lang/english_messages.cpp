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
            {10200, u"The system table %% exists but cannot be read, so start-up has stopped. Nothing has "
                    u"been changed. The database says: %%"},
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
            {10300, u"The update package %% cannot be applied: %%. Nothing has been changed."},
            {10301, u"The SQL script of the update package %% failed: %%. Nothing has been stored."},
            {10302, u"The file %% of the update package %% could not be stored: %%. Nothing of the package "
                    u"has been stored."},
            {10303, u"The database refused the update package %%: %%. Nothing has been stored."},
            {10304, u"The update package %% cannot be applied: there is no database connection."},
            {10305, u"The update package %% is already stored; its SQL script ran again and failed: %%. "
                    u"Nothing has been changed."},
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
                    u"file %%. The files will be downloaded again at the next start."},
            {10500, u"The connection is open, but not every setting could be saved: %%"},
            {10600, u"This build cannot apply update packages; not applied: %%"},
            {10601, u"update......"},
            {10602,
             u"The list of object libraries cannot be read from the database: %%. Start-up goes on with the "
             u"libraries of this computer only, so the main window may not be the one the database names."},
            {10603, u"The menu cannot be read from the database: %%. The main window opens without its menu "
                    u"entries."},
            {10604, u"The file type of update packages (*.fuf) cannot be registered: %%. Start-up goes on; "
                    u"opening a package from the desktop may not start this program."},
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
