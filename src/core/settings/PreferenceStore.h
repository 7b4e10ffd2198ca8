#pragma once

#include <QString>
#include <QVariant>

namespace lumora {

// The per-user preference store shared by the desktop client and the command-line tool.
// Organisation and application names are fixed here, once, so both read the same file.
namespace PreferenceStore {

inline constexpr auto organizationName = "Lumora";
inline constexpr auto applicationName = "Lumora";

QVariant value(const QString& key);
void setValue(const QString& key, const QVariant& value);
void remove(const QString& key);

} // namespace PreferenceStore

} // namespace lumora
