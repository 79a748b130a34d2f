#include "schema/schema_bootstrap.h"

#include "db/transaction.h"

namespace tarnlow {
namespace {

// The default menu rows, in the order they are stored: item_order, item_index, parent_index,
// item_name, lang_id, object_name (null for an item that only groups others), children.
struct DefaultMenuRow {
    const char* order;
    int index;
    int parent;
    const char* name;
    const char* langId;
    const char* objectName;
    const char* children;
};

constexpr DefaultMenuRow kDefaultMenuRows[] = {
    {"1.00", 1, 0, "MENU1", "TREE_ID1", nullptr, "Y"},
    {"2.00", 2, 0, "MENU2", "TREE_ID2", nullptr, "Y"},
    {"3.00", 3, 0, "MENU3", "TREE_ID3", nullptr, "Y"},
    {"1.00", 4, 1, "MENU4", "TREE_ID4", "UO_MAP", "N"},
    {"2.00", 5, 1, "MENU5", "TREE_ID5", "UO_GAMEID", "N"},
    {"1.00", 6, 2, "MENU6", "TREE_ID6", "UO_SPECIALITEM", "N"},
    {"1.00", 7, 3, "MENU7", "TREE_ID7", "UO_ISQL", "N"},
    {"3.00", 8, 1, "MENU8", "TREE_ID8", "UO_BACKUP", "N"},
    {"4.00", 9, 1, "MENU9", "TREE_ID9", "UO_RESTORE", "N"},
    {"3.00", 10, 2, "MENU10", "TREE_ID10", "UO_SPECIALITEM_SHOP", "N"},
    {"2.00", 11, 2, "MENU11", "TREE_ID11", "UO_MAIL", "N"},
    {"4.00", 12, 2, "MENU12", "TREE_ID12", "UO_SPECIALITEM_LIM", "N"},
    {"2.50", 13, 0, "MUNE13", "TREE_ID13", nullptr, "Y"},
    {"1.00", 14, 13, "MENU14", "TREE_ID14", "UO_MON_EXP", "N"},
    {"5.00", 15, 1, "MENU15", "TREE_ID15", "UO_CONFIG", "N"},
    {"2.00", 16, 13, "MENU16", "TREE_ID16", "UO_MOP", "N"},
    {"1.50", 17, 13, "MENU17", "TREE_ID17", "UO_MON_EXP_4402", "N"},
    {"5.00", 18, 1, "MENU18", "TREE_ID18", "UO_CLEAR_LOG", "N"},
    {"7.00", 19, 13, "MUNE19", "TREE_ID19", "UO_DATA_COPY", "N"},
    {"5.00", 20, 2, "MUNE20", "TREE_ID20", "UO_SHOP", "N"},
    {"6.00", 21, 2, "MUNE21", "TREE_ID21", "UO_MAIL_MANAGER", "N"},
    {"7.00", 24, 13, "MUNE24", "TREE_ID24", "UO_MOP_DROPITEM", "N"},
    {"9.00", 25, 13, "MUNE25", "TREE_ID25", "UO_LOG", "N"},
    {"10.00", 27, 13, "MUNE27", "TREE_ID27", "UO_NULL", "N"},
};
static_assert(std::size(kDefaultMenuRows) == kDefaultMenuRowCount);

QString quoted(const char* text) {
    return text ? QLatin1Char('\'') + QLatin1String(text) + QLatin1Char('\'') : QStringLiteral("NULL");
}

// "INSERT INTO T_SYS_MENU VALUES ( 1.00 , 4 , 1 , 'MENU4' , 'TREE_ID4' , 'UO_MAP' , NULL , 'N' ) "
QString menuInsert(const DefaultMenuRow& row) {
    const QStringList values{QLatin1String(row.order),    QString::number(row.index),
                             QString::number(row.parent), quoted(row.name),
                             quoted(row.langId),          quoted(row.objectName),
                             QStringLiteral("NULL"),      quoted(row.children)};
    return QStringLiteral("INSERT INTO T_SYS_MENU VALUES ( ") + values.join(QStringLiteral(" , ")) +
           QStringLiteral(" ) ");
}

void appendRows(QList<SchemaStatement>& statements) {
    statements.append({QStringLiteral("INSERT INTO T_SYS_CONFIG VALUES ( 'FR' , 'N' , 'First run' ) "), {}});
    for (const DefaultMenuRow& row : kDefaultMenuRows)
        statements.append({menuInsert(row), {}});
}

// The program's own statements. Tabs and double blanks are part of the texts.
QList<SchemaStatement> sqlServerStatements() {
    QList<SchemaStatement> statements{
        {QStringLiteral("DROP TABLE [dbo].[T_SYS_MENU]"), kSystemMenuTable},
        {QStringLiteral(
             "CREATE TABLE [dbo].[T_SYS_MENU] (\t[item_order] [numeric](5, 2) NULL ,\t[item_index] [int] NOT "
             "NULL ,\t[parent_index] [int] NOT NULL ,\t[item_name] [char] (50) NULL ,\t[lang_id] [char] (20) "
             " NOT NULL ,\t[object_name] [char] (50)  NULL ,\t[open_parm] [char] (20)  NULL ,\t[children] "
             "[char] (1) NOT NULL ) ON [PRIMARY]"),
         {}},
        {QStringLiteral("ALTER TABLE [dbo].[T_SYS_MENU] WITH NOCHECK ADD \tCONSTRAINT [PK_T_SYS_MENU] "
                        "PRIMARY KEY  CLUSTERED \t(\t\t[item_index],\t\t[parent_index]\t)  ON [PRIMARY] "),
         {}},
        {QStringLiteral("DROP TABLE [dbo].[T_SYS_CONFIG]"), kSystemConfigTable},
        {QStringLiteral(
             "CREATE TABLE [dbo].[T_SYS_CONFIG] (\t[Conf_type] [char] (10) NOT NULL ,\t[conf_value] [char] "
             "(255)  NULL ,\t[conf_remark] [char] (255) NULL ) ON [PRIMARY]"),
         {}},
        {QStringLiteral("ALTER TABLE [dbo].[T_SYS_CONFIG] WITH NOCHECK ADD \tCONSTRAINT [PK_T_SYS_CONFIG] "
                        "PRIMARY KEY  CLUSTERED \t(\t\t[Conf_type]\t)  ON [PRIMARY] "),
         {}},
        {QStringLiteral("DROP TABLE [dbo].[T_SYS_VER]"), kSystemVersionTable},
        {QStringLiteral("CREATE TABLE [dbo].[T_SYS_VER] (\t[VER_NO] [char] (10) NOT NULL ,\t[COMP_NO] [int] "
                        "NOT NULL ,\t[UPDATE_INDEX] [int] NOT NULL ,\t[FILE_NAME] [char] (255)NOT NULL "
                        ",\t[FILE_BLOB] [image] NULL ) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]"),
         {}},
        {QStringLiteral("ALTER TABLE [dbo].[T_SYS_VER] WITH NOCHECK ADD \tCONSTRAINT [PK_T_SYS_VER] PRIMARY "
                        "KEY  CLUSTERED \t(\t\t[VER_NO],\t\t[COMP_NO],\t\t[UPDATE_INDEX]\t)  ON [PRIMARY] "),
         {}},
    };
    appendRows(statements);
    return statements;
}

// The same tables, columns, nullability and keys for SQLite and PostgreSQL. SQLite cannot add a
// primary key to an existing table, so its key is part of the table.
QList<SchemaStatement> portableStatements(bool keyInTable, const QString& binaryType) {
    const auto table = [keyInTable](const QString& name, const QString& columns, const QString& key) {
        QList<SchemaStatement> steps{{QStringLiteral("DROP TABLE ") + name, name}};
        const QString constraint = QStringLiteral("CONSTRAINT PK_") + name +
                                   QStringLiteral(" PRIMARY KEY (") + key + QLatin1Char(')');
        if (keyInTable) {
            steps.append({QStringLiteral("CREATE TABLE ") + name + QStringLiteral(" (") + columns +
                              QStringLiteral(", ") + constraint + QLatin1Char(')'),
                          {}});
        } else {
            steps.append(
                {QStringLiteral("CREATE TABLE ") + name + QStringLiteral(" (") + columns + QLatin1Char(')'),
                 {}});
            steps.append({QStringLiteral("ALTER TABLE ") + name + QStringLiteral(" ADD ") + constraint, {}});
        }
        return steps;
    };
    QList<SchemaStatement> statements;
    statements += table(kSystemMenuTable,
                        QStringLiteral("item_order numeric(5, 2) NULL, item_index int NOT NULL, "
                                       "parent_index int NOT NULL, item_name char(50) NULL, "
                                       "lang_id char(20) NOT NULL, object_name char(50) NULL, "
                                       "open_parm char(20) NULL, children char(1) NOT NULL"),
                        QStringLiteral("item_index, parent_index"));
    statements += table(kSystemConfigTable,
                        QStringLiteral("Conf_type char(10) NOT NULL, conf_value char(255) NULL, "
                                       "conf_remark char(255) NULL"),
                        QStringLiteral("Conf_type"));
    statements +=
        table(kSystemVersionTable,
              QStringLiteral("VER_NO char(10) NOT NULL, COMP_NO int NOT NULL, "
                             "UPDATE_INDEX int NOT NULL, FILE_NAME char(255) NOT NULL, FILE_BLOB ") +
                  binaryType + QStringLiteral(" NULL"),
              QStringLiteral("VER_NO, COMP_NO, UPDATE_INDEX"));
    appendRows(statements);
    return statements;
}

} // namespace

QList<SchemaStatement> reinitialisationStatements(DbmsKind kind) {
    switch (kind) {
    case DbmsKind::SQLite:
        return portableStatements(true, QStringLiteral("BLOB"));
    case DbmsKind::PostgreSQL:
        return portableStatements(false, QStringLiteral("bytea"));
    case DbmsKind::SqlServer:
    case DbmsKind::Odbc:
        return sqlServerStatements();
    }
    return {};
}

} // namespace tarnlow
