#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

namespace {

struct Table {
    QSet<QString> ids;
    QStringList problems;
};

// Reads an id-based Linguist table; notes unfinished or empty translations.
Table readTable(const QString& path) {
    Table table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    QXmlStreamReader xml(&file);
    QString id;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"message") {
            id = xml.attributes().value(QLatin1String("id")).toString();
            table.ids.insert(id);
        } else if (xml.name() == u"translation") {
            const bool unfinished = xml.attributes().value(QLatin1String("type")) == u"unfinished";
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (unfinished || text.isEmpty())
                table.problems.append(id);
        }
    }
    if (xml.hasError())
        qFatal("%s: %s", qPrintable(path), qPrintable(xml.errorString()));
    return table;
}

// Every key the C++ and QML sources look up: through a lookup function, or kept as a mesh status.
QSet<QString> keysUsedInSources(const QString& root) {
    static const QRegularExpression lookup(
        QStringLiteral("(?:qsTrId|qtTrId|catalogueText|transportKey|QT_TRID_NOOP)\\(\\s*\"([^\"]+)\"|\"("
                       "mesh\\.[A-Za-z]+)\""));
    QSet<QString> keys;
    for (const QString& folder : {u"src"_qs, u"cli"_qs}) {
        QDirIterator files(root + QLatin1Char('/') + folder, {u"*.cpp"_qs, u"*.h"_qs, u"*.qml"_qs},
                           QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(file.fileName()));
            auto matches = lookup.globalMatch(QString::fromUtf8(file.readAll()));
            while (matches.hasNext()) {
                const auto match = matches.next();
                keys.insert(match.captured(match.lastCapturedIndex()));
            }
        }
    }
    return keys;
}

} // namespace

class CatalogueTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyKeyInBothTables() {
        const Table english = readTable(QStringLiteral(LUMORA_SOURCE_DIR "/i18n/lumora_en.ts"));
        const Table arabic = readTable(QStringLiteral(LUMORA_SOURCE_DIR "/i18n/lumora_ar.ts"));
        const QSet<QString> used = keysUsedInSources(QStringLiteral(LUMORA_SOURCE_DIR));
        QVERIFY(used.contains(u"inbox.conversation"_qs)); // the scan itself works
        for (const QString& key : used) {
            QVERIFY2(english.ids.contains(key), qPrintable(key + u" is missing in English"_qs));
            QVERIFY2(arabic.ids.contains(key), qPrintable(key + u" is missing in Arabic"_qs));
        }
        QCOMPARE(english.ids, arabic.ids);
        QVERIFY2(arabic.problems.isEmpty(), qPrintable(arabic.problems.join(QLatin1Char(' '))));
        QVERIFY2(english.problems.isEmpty(), qPrintable(english.problems.join(QLatin1Char(' '))));
    }
};

QTEST_GUILESS_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
