#pragma once

#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace lumora {

// The interface language, kept in the preference store under "appLanguage". It decides the locale,
// the layout direction and which text table every lookup uses, and changes them all at once.
class LanguageManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(Language language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(Qt::LayoutDirection layoutDirection READ layoutDirection NOTIFY languageChanged)
    // The choice as its stored text ("system", "en", "ar"), for QML; unknown texts are ignored.
    Q_PROPERTY(QString appLanguage READ appLanguage WRITE setAppLanguage NOTIFY languageChanged)

public:
    enum class Language { system, english, arabic };
    Q_ENUM(Language)

    static constexpr auto key = "appLanguage";

    // `systemLocale` is the platform's current locale, asked afresh each time it is needed.
    explicit LanguageManager(QObject* parent = nullptr,
                             std::function<QLocale()> systemLocale = &QLocale::system);

    Language language() const { return m_language; }
    void setLanguage(Language language);

    QString appLanguage() const;
    void setAppLanguage(const QString& raw);

    // The chosen language's locale, or the platform's for `system`.
    QLocale effectiveLocale() const;
    // Right to left for Arabic only; for `system`, when the platform's language is Arabic.
    Qt::LayoutDirection layoutDirection() const;

    // Installs the text table of the effective language; call again when the platform's language changes.
    void applyTextTable() const;

Q_SIGNALS:
    void languageChanged();

private:
    Language m_language = Language::system;
    std::function<QLocale()> m_systemLocale;
};

using AppLanguage = LanguageManager::Language;

QString rawValue(AppLanguage language);
QString labelKey(AppLanguage language);
std::optional<AppLanguage> appLanguageFromRaw(const QString& raw);
QList<AppLanguage> allAppLanguages();
std::optional<QLocale> localeOf(AppLanguage language); // empty for `system`

} // namespace lumora
