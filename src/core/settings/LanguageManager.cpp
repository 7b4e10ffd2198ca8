#include "core/settings/LanguageManager.h"

#include "core/settings/PreferenceStore.h"
#include "core/settings/TextCatalogue.h"

namespace lumora {

QString rawValue(AppLanguage language) {
    switch (language) {
    case AppLanguage::english:
        return QStringLiteral("en");
    case AppLanguage::arabic:
        return QStringLiteral("ar");
    case AppLanguage::system:
        break;
    }
    return QStringLiteral("system");
}

QString labelKey(AppLanguage language) {
    switch (language) {
    case AppLanguage::english:
        return QStringLiteral("language.english");
    case AppLanguage::arabic:
        return QStringLiteral("language.arabic");
    case AppLanguage::system:
        break;
    }
    return QStringLiteral("language.system");
}

std::optional<AppLanguage> appLanguageFromRaw(const QString& raw) {
    for (AppLanguage language : allAppLanguages())
        if (raw == rawValue(language))
            return language;
    return std::nullopt;
}

QList<AppLanguage> allAppLanguages() {
    return {AppLanguage::system, AppLanguage::english, AppLanguage::arabic};
}

std::optional<QLocale> localeOf(AppLanguage language) {
    if (language == AppLanguage::system)
        return std::nullopt;
    return QLocale(rawValue(language));
}

LanguageManager::LanguageManager(QObject* parent, std::function<QLocale()> systemLocale)
    : QObject(parent)
    , m_systemLocale(std::move(systemLocale)) {
    m_language = appLanguageFromRaw(PreferenceStore::value(QString::fromLatin1(key)).toString())
                     .value_or(AppLanguage::system);
    applyTextTable();
}

void LanguageManager::setLanguage(Language language) {
    const bool changed = language != m_language;
    m_language = language;
    PreferenceStore::setValue(QString::fromLatin1(key), rawValue(language));
    if (changed) {
        applyTextTable();
        Q_EMIT languageChanged();
    }
}

QString LanguageManager::appLanguage() const {
    return rawValue(m_language);
}

void LanguageManager::setAppLanguage(const QString& raw) {
    if (const auto language = appLanguageFromRaw(raw))
        setLanguage(*language);
}

QLocale LanguageManager::effectiveLocale() const {
    return localeOf(m_language).value_or(m_systemLocale());
}

Qt::LayoutDirection LanguageManager::layoutDirection() const {
    return effectiveLocale().language() == QLocale::Arabic ? Qt::RightToLeft : Qt::LeftToRight;
}

void LanguageManager::applyTextTable() const {
    TextCatalogue::use(effectiveLocale());
}

} // namespace lumora
