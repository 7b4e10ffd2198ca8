#pragma once

#include <QString>
#include <QStringList>

#include <random>

namespace lumora::bench {

// Message bodies as people write them: English, Arabic and emoji mixed, 100 to 200 UTF-16 units.
class Bodies {
public:
    QString next() {
        static const QStringList pieces{
            QStringLiteral("Running ten minutes late, the bus broke down near the bridge. "),
            QStringLiteral("Did you see the photos from Saturday? "),
            QStringLiteral("Can you send me the report before the meeting at 3? "),
            QStringLiteral("Happy birthday! Hope your day is wonderful "),
            QStringLiteral("The build is green again, thanks for the quick fix. "),
            QStringLiteral("صباح الخير، هل وصلت إلى المكتب؟ "),
            QStringLiteral("سأتصل بك بعد الاجتماع إن شاء الله "),
            QStringLiteral("شكراً جزيلاً على المساعدة اليوم "),
            QStringLiteral("الطقس جميل جداً في الإسكندرية "),
            QStringLiteral("لا تنسَ إحضار الكتاب معك غداً "),
            QStringLiteral("😂 "),
            QStringLiteral("🎉🎉 "),
            QStringLiteral("❤️ "),
            QStringLiteral("👍 "),
            QStringLiteral("🌊☀️ "),
            QStringLiteral("ok, see you then\n"),
        };
        const qsizetype target = 100 + qsizetype(m_rng() % 101);
        QString body;
        while (body.size() < target) {
            const QString& piece = pieces[qsizetype(m_rng() % quint32(pieces.size()))];
            if (body.size() + piece.size() > 200)
                break;
            body += piece;
        }
        return body.trimmed();
    }

private:
    std::mt19937 m_rng{20250301};
};

} // namespace lumora::bench
