#pragma once

#include <QStringList>

#include <QCoroTask>

namespace lumora {

// Runs one command line (without the program name) and gives the exit code:
// 0 on success, 1 when the service or a file fails, 2 on a usage error.
QCoro::Task<int> runCli(QStringList arguments);

} // namespace lumora
