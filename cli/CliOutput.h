#pragma once

#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <expected>

namespace lumora {

// What a command printed on success, as JSON and as short lines for a person; or the failure's text.
struct CliOutput {
    QJsonDocument json;
    QStringList lines;
};

using CliResult = std::expected<CliOutput, QString>;

} // namespace lumora
