#pragma once

#include <QString>

namespace tarnlow {

// The database's own words for a failure, as the operator reads them: the server's text when
// there is one, without the driver's prefix ("QPSQL: Unable to create query"), without notices
// the server sent ahead of it (a WARNING that it is terminating the connection, with its DETAIL
// and HINT lines) and with each line once. The driver's text only when the server gave none.
// Every backend's failure text passes through here, whether it comes from Qt's drivers or from
// the client library's own calls.
QString databaseErrorText(const QString& serverText, const QString& driverText = {});

} // namespace tarnlow
