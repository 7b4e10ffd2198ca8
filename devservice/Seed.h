#pragma once

#include "MediaFiles.h"
#include "Store.h"

namespace lumora::devservice {

// Fills an empty database with demo accounts and an inbox for "amina", as one transaction, and
// prints the accounts. Does nothing and returns false when the database already has users.
bool seedDemoData(Store& store, const MediaFiles& media, Instant now);

} // namespace lumora::devservice
