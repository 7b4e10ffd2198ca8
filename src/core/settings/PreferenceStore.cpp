#include "core/settings/PreferenceStore.h"

#include <QSettings>

namespace lumora::PreferenceStore {

namespace {
// QSettings instances on one file share a cache and stay in step, so a fresh one per call is cheap
// and always sees what another instance (or another process, after sync) wrote.
QSettings open() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(organizationName),
                     QString::fromLatin1(applicationName));
}
} // namespace

QVariant value(const QString& key) {
    return open().value(key);
}

void setValue(const QString& key, const QVariant& value) {
    auto settings = open();
    settings.setValue(key, value);
    settings.sync();
}

void remove(const QString& key) {
    auto settings = open();
    settings.remove(key);
    settings.sync();
}

} // namespace lumora::PreferenceStore
