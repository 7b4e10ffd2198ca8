#pragma once

#include <QLatin1StringView>
#include <QString>

#include <optional>

namespace lumora {

// A preference enumeration and the texts it is stored as, in one table per enumeration: a function
// `storedTexts(E)` beside the enumeration, found by argument-dependent lookup, that returns pairs of
// value and text. The texts are what settings files already hold, so they never change.
template <class E> QString storedText(E value) {
    for (const auto& [candidate, text] : storedTexts(E{}))
        if (candidate == value)
            return QString::fromLatin1(text);
    return {};
}

// The value stored as `text`, or nothing for a text no value is stored as (compared exactly).
template <class E> std::optional<E> fromStoredText(const QString& text) {
    for (const auto& [candidate, stored] : storedTexts(E{}))
        if (text == QLatin1StringView(stored))
            return candidate;
    return std::nullopt;
}

} // namespace lumora
