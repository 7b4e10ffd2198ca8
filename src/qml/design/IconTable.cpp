#include "qml/design/IconTable.h"

#include <QHash>

namespace lumora {

QString iconResource(const QString& symbol) {
    static const QHash<QString, QString> table{
        {QStringLiteral("bubble.left.and.bubble.right.fill"), QStringLiteral("messages-square")},
        {QStringLiteral("tray.fill"), QStringLiteral("inbox")},
        {QStringLiteral("person.crop.circle"), QStringLiteral("circle-user-round")},
        {QStringLiteral("gearshape"), QStringLiteral("settings")},
        {QStringLiteral("shield.checkered"), QStringLiteral("shield-check")},
        {QStringLiteral("checkmark.seal.fill"), QStringLiteral("badge-check")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("rotate-cw")},
        {QStringLiteral("paperclip"), QStringLiteral("paperclip")},
        {QStringLiteral("face.smiling"), QStringLiteral("smile")},
        {QStringLiteral("chevron.backward"), QStringLiteral("chevron-left")},
        {QStringLiteral("arrow.up.circle.fill"), QStringLiteral("circle-arrow-up-fill")},
        {QStringLiteral("doc"), QStringLiteral("file")},
        {QStringLiteral("xmark"), QStringLiteral("x")},
        {QStringLiteral("person.3"), QStringLiteral("users")},
        {QStringLiteral("chart.bar"), QStringLiteral("chart-column")},
        {QStringLiteral("key"), QStringLiteral("key-round")},
        {QStringLiteral("safari"), QStringLiteral("compass")},
        {QStringLiteral("antenna.radiowaves.left.and.right"), QStringLiteral("radio-tower")},
        {QStringLiteral("exclamationmark.circle"), QStringLiteral("circle-alert")},
    };
    const auto file = table.constFind(symbol);
    return file == table.constEnd() ? QString() : QStringLiteral(":/icons/") + *file + QStringLiteral(".svg");
}

} // namespace lumora
