#pragma once

#include "sqlite/Sqlite.h"

namespace lumora::devservice {

using sqlite::Database;
using sqlite::Statement;
using sqlite::Transaction;

// Sets the connection's pragmas and brings the schema up to date, tracked by PRAGMA user_version.
// Throws when the file was made by a newer version of the service.
void prepareDatabase(Database& db);

} // namespace lumora::devservice
