#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace lumora {

// A command line of the form `[--json] COMMAND [ARGS]`, where ARGS mixes positional words,
// options that take a value (`--text X`) and flags.
struct CliArguments {
    bool json = false;
    bool help = false;
    QString command;
    QStringList positional;
    QHash<QString, QString> options;
    QSet<QString> flags;

    std::optional<QString> option(const QString& name) const {
        const auto it = options.constFind(name);
        return it == options.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
};

// Parses `arguments` (without the program name). `valueOptions` are the options of COMMAND that
// take a value; `flagOptions` those that do not. Returns the reason on a usage error.
struct CliGrammar {
    QSet<QString> valueOptions;
    QSet<QString> flagOptions;
    int positionalMin = 0;
    int positionalMax = 0;
};

std::optional<CliArguments> parseCliArguments(const QStringList& arguments,
                                              const QHash<QString, CliGrammar>& grammar, QString* problem);

} // namespace lumora
