#include "core/settings/LanguageManager.h"

#include "core/settings/PreferenceStore.h"
#include "core/settings/TextCatalogue.h"

namespace lumora {

LanguageManager::LanguageManager(QObject* parent, std::function<QLocale()> systemLocale)
    : QObject(parent)
    , m_systemLocale(std::move(systemLocale)) {
    m_language = fromStoredText<Language>(PreferenceStore::value(QString::fromLatin1(key)).toString())
                     .value_or(Language::System);
    applyTextTable();
}

void LanguageManager::setLanguage(Language language) {
    const bool changed = language != m_language;
    m_language = language;
    PreferenceStore::setValue(QString::fromLatin1(key), storedText(language));
    if (changed) {
        applyTextTable();
        Q_EMIT languageChanged();
    }
}

QLocale LanguageManager::effectiveLocale() const {
    return m_language == Language::System ? m_systemLocale() : QLocale(storedText(m_language));
}

Qt::LayoutDirection LanguageManager::layoutDirection() const {
    return effectiveLocale().language() == QLocale::Arabic ? Qt::RightToLeft : Qt::LeftToRight;
}

void LanguageManager::applyTextTable() const {
    TextCatalogue::use(effectiveLocale());
    // Numbers, sizes and dates follow the chosen language too, before anyone hears of the change.
    QLocale::setDefault(effectiveLocale());
}

} // namespace lumora
