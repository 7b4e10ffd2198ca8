#pragma once

#include "Options.h"
#include "Store.h"

namespace lumora::devservice {

// The subcommands; each returns the process exit code and reports on stdout and stderr.
int runAddUser(Store& store, const Options& options);
int runAddConversation(Store& store, const Options& options);

} // namespace lumora::devservice
