#include "CliArguments.h"

namespace lumora {

std::optional<CliArguments> parseCliArguments(const QStringList& arguments,
                                              const QHash<QString, CliGrammar>& grammar, QString* problem) {
    CliArguments parsed;
    const CliGrammar* rules = nullptr;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (word == QLatin1String("--json")) {
            parsed.json = true;
        } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            parsed.help = true;
        } else if (!rules) {
            if (word.startsWith(QLatin1String("--"))) {
                *problem = QStringLiteral("unknown option %1").arg(word);
                return std::nullopt;
            }
            const auto it = grammar.constFind(word);
            if (it == grammar.constEnd()) {
                *problem = QStringLiteral("unknown command %1").arg(word);
                return std::nullopt;
            }
            parsed.command = word;
            rules = &*it;
        } else if (rules->valueOptions.contains(word)) {
            if (i + 1 >= arguments.size()) {
                *problem = QStringLiteral("%1 needs a value").arg(word);
                return std::nullopt;
            }
            parsed.options.insert(word, arguments[++i]);
        } else if (rules->flagOptions.contains(word)) {
            parsed.flags.insert(word);
        } else if (word.startsWith(QLatin1String("--"))) {
            *problem = QStringLiteral("unknown option %1 for %2").arg(word, parsed.command);
            return std::nullopt;
        } else {
            parsed.positional.append(word);
        }
    }
    if (parsed.help)
        return parsed;
    if (!rules) {
        *problem = QStringLiteral("no command given");
        return std::nullopt;
    }
    if (parsed.positional.size() < rules->positionalMin || parsed.positional.size() > rules->positionalMax) {
        *problem = QStringLiteral("wrong number of arguments for %1").arg(parsed.command);
        return std::nullopt;
    }
    return parsed;
}

} // namespace lumora
