#pragma once

#include "core/settings/StoredText.h"

#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <utility>

namespace lumora {

// The interface language, kept in the preference store under "appLanguage". It decides the locale,
// the layout direction and which text table every lookup uses, and changes them all at once.
class LanguageManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(Language language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(Qt::LayoutDirection layoutDirection READ layoutDirection NOTIFY languageChanged)

public:
    enum class Language { System, English, Arabic };
    Q_ENUM(Language)

    static constexpr auto key = "appLanguage";

    // `systemLocale` is the platform's current locale, asked afresh each time it is needed.
    explicit LanguageManager(QObject* parent = nullptr,
                             std::function<QLocale()> systemLocale = &QLocale::system);

    Language language() const { return m_language; }
    void setLanguage(Language language);

    // The chosen language's locale, or the platform's for `System`.
    QLocale effectiveLocale() const;
    // Right to left for Arabic only; for `System`, when the platform's language is Arabic.
    Qt::LayoutDirection layoutDirection() const;

    // Installs the text table of the effective language and makes it the default locale; call again when
    // the platform's language changes.
    void applyTextTable() const;

Q_SIGNALS:
    void languageChanged();

private:
    Language m_language = Language::System;
    std::function<QLocale()> m_systemLocale;
};

using AppLanguage = LanguageManager::Language;

// As stored in the settings file: the language codes, which are also the locales' names.
constexpr std::array<std::pair<AppLanguage, const char*>, 3> storedTexts(AppLanguage) {
    return {{{AppLanguage::System, "system"}, {AppLanguage::English, "en"}, {AppLanguage::Arabic, "ar"}}};
}

} // namespace lumora
