#include "core/api/APIClient.h"
#include "core/api/MediaUpload.h"
#include "ScriptedServer.h"
#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace lumora;

namespace {

const QByteArray uploadReply =
    R"({"url":"/media/f1","mimeType":"image/png","sizeBytes":4,"fileName":"p.png"})";

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray boundaryOf(const ScriptedServer::Request& request) {
    const QByteArray type = request.header("Content-Type");
    const QByteArray prefix = "multipart/form-data; boundary=";
    return type.startsWith(prefix) ? type.mid(prefix.size()) : QByteArray();
}

QByteArray expectedBody(const QByteArray& boundary, const QByteArray& name, const QByteArray& type,
                        const QByteArray& bytes) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + name +
           "\"\r\nContent-Type: " + type + "\r\n\r\n" + bytes + "\r\n--" + boundary + "--\r\n";
}

} // namespace

class MediaUploadTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* client = nullptr;
    QTemporaryDir dir;

private Q_SLOTS:
    void init() {
        server = new ScriptedServer(this);
        server->answer(201, uploadReply);
        client = new APIClient(nullptr, this);
        useBaseURL(server->url(QStringLiteral("/api/v1")).toString());
        client->setAccessToken(QStringLiteral("tok")); // issued by this test's server
    }

    void cleanup() {
        delete client;
        delete server;
    }

    void contentTypes() {
        QCOMPARE(MediaUpload::mimeType(QStringLiteral("photo.JPG")), QStringLiteral("image/jpeg"));
        QCOMPARE(MediaUpload::mimeType(QStringLiteral("a.b.webp")), QStringLiteral("image/webp"));
        QCOMPARE(MediaUpload::mimeType(QStringLiteral("voice.M4A")), QStringLiteral("audio/mp4"));
        QCOMPARE(MediaUpload::mimeType(QStringLiteral("archive.tar.gz")),
                 QStringLiteral("application/octet-stream"));
        QCOMPARE(MediaUpload::mimeType(QStringLiteral("README")), QStringLiteral("application/octet-stream"));
        QCOMPARE(MediaUpload::mimeType(QStringLiteral("trailingdot.")),
                 QStringLiteral("application/octet-stream"));
    }

    void requestBytesExactly() {
        const QByteArray bytes("\x89PNG\r\n\x1a\n\0binary", 14);
        const QString path = writeFile(dir, QStringLiteral("Photo.PNG"), bytes);
        const auto first = await(client->uploadFile(path));
        QVERIFY(first);
        QCOMPARE(first->url, QStringLiteral("/media/f1"));
        const auto second = await(client->uploadFile(path));
        QVERIFY(second);

        QCOMPARE(server->requests().size(), 2);
        QList<QByteArray> boundaries;
        for (const auto& request : server->requests()) {
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.target, QByteArray("/media/upload")); // the base path is dropped
            QCOMPARE(request.header("Authorization"), QByteArray("Bearer tok"));
            QCOMPARE(request.header("Accept"), QByteArray("application/json"));
            const QByteArray boundary = boundaryOf(request);
            QVERIFY2(
                QRegularExpression(
                    QStringLiteral("^Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(QString::fromLatin1(boundary))
                    .hasMatch(),
                boundary.constData());
            QCOMPARE(request.body, expectedBody(boundary, "Photo.PNG", "image/png", bytes));
            QCOMPARE(request.header("Content-Length").toLongLong(), request.body.size());
            boundaries.append(boundary);
        }
        QVERIFY(boundaries[0] != boundaries[1]);
    }

    void emptyFileAndHostileNames() {
        const QString empty = writeFile(dir, QStringLiteral("empty"), QByteArray());
        QVERIFY(await(client->uploadFile(empty)));
        QByteArray boundary = boundaryOf(server->requests().last());
        QCOMPARE(server->requests().last().body,
                 expectedBody(boundary, "empty", "application/octet-stream", {}));

        // A quote or a line break in the name must not end the header line or inject another one.
        const QString hostile = writeFile(dir, QStringLiteral("a\"b\r\nX-Evil: 1.txt"), "hi");
        QVERIFY(await(client->uploadFile(hostile)));
        boundary = boundaryOf(server->requests().last());
        QCOMPARE(server->requests().last().body,
                 expectedBody(boundary, "a%22b%0D%0AX-Evil: 1.txt", "text/plain", "hi"));
        const QString arabic = writeFile(dir, QStringLiteral("صورة ١.jpeg"), "x");
        QVERIFY(await(client->uploadFile(arabic)));
        boundary = boundaryOf(server->requests().last());
        QCOMPARE(server->requests().last().body, expectedBody(boundary, "صورة ١.jpeg", "image/jpeg", "x"));
    }

    void largeFileStreamsWithoutChange() {
        QByteArray bytes(8 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 131) % 251);
        const QString path = writeFile(dir, QStringLiteral("big.bin"), bytes);
        QVERIFY(await(client->uploadFile(path)));
        const QByteArray boundary = boundaryOf(server->requests().last());
        QCOMPARE(server->requests().last().body,
                 expectedBody(boundary, "big.bin", "application/octet-stream", bytes));
    }

    void failureOrder() {
        // An unreadable file is reported first, with the file system's words, before the token.
        client->setAccessToken(std::nullopt);
        const auto missing = await(client->uploadFile(dir.filePath(QStringLiteral("nope.png"))));
        QVERIFY(!missing);
        QCOMPARE(missing.error().kind(), APIClientError::Kind::File);
        QCOMPARE(missing.error().text(), QStringLiteral("The file could not be read: No such file or directory"));
        const auto directory = await(client->uploadFile(dir.path()));
        QVERIFY(!directory);
        QCOMPARE(directory.error().kind(), APIClientError::Kind::File);

        const QString path = writeFile(dir, QStringLiteral("ok.txt"), "ok");
        const auto noToken = await(client->uploadFile(path));
        QVERIFY(!noToken);
        QCOMPARE(noToken.error().kind(), APIClientError::Kind::Unauthorized);
        QVERIFY(server->requests().isEmpty());
    }

    void replyRules_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        const int http = int(APIClientError::Kind::Http);
        const int decoding = int(APIClientError::Kind::Decoding);
        QTest::newRow("413 plain text") << 413 << QByteArray("Payload Too Large") << http << "HTTP 413";
        QTest::newRow("413 json") << 413 << QByteArray(R"({"message":"File is larger than 25 MiB"})") << http
                                  << "File is larger than 25 MiB";
        QTest::newRow("401") << 401 << QByteArray(R"({"message":"x"})")
                             << int(APIClientError::Kind::Unauthorized)
                             << "Session expired. Please sign in again.";
        QTest::newRow("wrapped reply")
            << 201 << QByteArray(R"({"data":)" + uploadReply + "}") << decoding << "";
        QTest::newRow("empty reply") << 201 << QByteArray() << decoding << "";
    }

    void replyRules() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, text);
        server->answer(status, body, "text/plain");
        const auto result = await(client->uploadFile(writeFile(dir, QStringLiteral("f.txt"), "f")));
        QVERIFY(!result);
        QCOMPARE(int(result.error().kind()), kind);
        if (!text.isEmpty())
            QCOMPARE(result.error().text(), text);
        else
            QVERIFY(result.error().text().startsWith(QStringLiteral("Decoding error: ")));
    }
};

QTEST_GUILESS_MAIN(MediaUploadTest)
#include "tst_media_upload.moc"
