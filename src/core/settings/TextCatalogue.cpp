#include "core/settings/TextCatalogue.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTranslator>

#include <memory>

namespace lumora {

namespace TextCatalogue {

namespace {
Q_LOGGING_CATEGORY(lcCatalogue, "lumora.catalogue")

struct Installed {
    std::unique_ptr<QTranslator> translator;
    QString language;
};

Installed& installed() {
    static Installed instance;
    return instance;
}
} // namespace

void use(const QLocale& locale) {
    const QString language =
        locale.language() == QLocale::Arabic ? QStringLiteral("ar") : QStringLiteral("en");
    Installed& current = installed();
    if (current.language == language)
        return;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/lumora_%1.qm").arg(language)))
        qCWarning(lcCatalogue, "The %s text table is missing from this build", qPrintable(language));
    if (current.translator)
        QCoreApplication::removeTranslator(current.translator.get());
    QCoreApplication::installTranslator(translator.get());
    current = {std::move(translator), language};
}

QString languageInUse() {
    return installed().language;
}

} // namespace TextCatalogue

QString catalogueText(const char* key, int n) {
    catalogueText("");
    return qtTrId(key, n);
}

QString catalogueText(const char* key) {
    // A program (or test) that never chose a language reads English rather than bare keys.
    static const bool chosen = [] {
        if (TextCatalogue::languageInUse().isEmpty() && QCoreApplication::instance())
            TextCatalogue::use(QLocale(QLocale::English));
        return true;
    }();
    Q_UNUSED(chosen);
    return qtTrId(key);
}

} // namespace lumora
