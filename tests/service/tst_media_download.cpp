#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/api/APIClient.h"
#include "core/api/MediaDownload.h"
#include "core/settings/TextCatalogue.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lumora;
using Kind = APIClientError::Kind;

namespace {

ScriptedServer::Reply raw(QByteArray head, QByteArray body, bool cut = false) {
    ScriptedServer::Reply reply;
    reply.stream = [=](QTcpSocket* socket) {
        socket->write(head + "\r\n" + body);
        if (cut)
            socket->disconnectFromHost();
    };
    return reply;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class MediaDownloadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    // Cut half-way: nothing under the real name; the next attempt asks for the rest and completes it.
    void resumesWhatWasCut() {
        QByteArray content;
        for (int i = 0; i < 20000; ++i)
            content += char('a' + i % 26);
        const qsizetype half = content.size() / 2;
        ScriptedServer server;
        useBaseURL(server.url().toString());
        server.answerWith([&](const ScriptedServer::Request& request) {
            const QByteArray range = request.header("Range");
            if (range.isEmpty())
                return raw("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(content.size()) +
                               "\r\n",
                           content.left(half), true);
            const qsizetype from = range.mid(6, range.indexOf('-') - 6).toLongLong();
            return raw("HTTP/1.1 206 Partial Content\r\nContent-Length: " +
                           QByteArray::number(content.size() - from) + "\r\nContent-Range: bytes " +
                           QByteArray::number(from) + "-" + QByteArray::number(content.size() - 1) + "/" +
                           QByteArray::number(content.size()) + "\r\n",
                       content.mid(from));
        });
        APIClient api;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"notes.txt"_qs);

        MediaDownload first(&api, QUrl(u"/media/m1"_qs));
        const auto cut = await(first.saveTo(path));
        QVERIFY(!cut);
        QVERIFY2(!QFile::exists(path), "a partial file under the real name");
        QCOMPARE(QFileInfo(path + u".part"_qs).size(), half);

        MediaDownload second(&api, QUrl(u"/media/m1"_qs));
        QSignalSpy progress(&second, &MediaDownload::progress);
        const auto done = await(second.saveTo(path));
        QVERIFY2(done, done ? "" : qPrintable(done.error().text()));
        QCOMPARE(server.requests().last().header("Range"), "bytes=" + QByteArray::number(half) + "-");
        QCOMPARE(fileBytes(path), content);
        QVERIFY(!QFile::exists(path + u".part"_qs));
        QCOMPARE(progress.last(), (QVariantList{qint64(content.size()), qint64(content.size())}));
    }

    // Without a name: the service's, reduced to a plain file name, and never over an existing file.
    void savesUnderTheServicesNameWithoutOverwriting() {
        ScriptedServer server;
        useBaseURL(server.url().toString());
        server.answer(raw(
            "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Disposition: attachment; "
            "filename=\"fallback.txt\"; filename*=UTF-8''..%2F..%2F%D8%AA%D9%82%D8%B1%D9%8A%D8%B1.txt\r\n",
            "abc"));
        APIClient api;
        QTemporaryDir dir;
        MediaDownload download(&api, QUrl(u"/media/m2"_qs));
        const auto saved = await(download.saveInto(dir.path()));
        QCOMPARE(saved.value_or(QString()), dir.filePath(u"تقرير.txt"_qs));
        QCOMPARE(fileBytes(*saved), "abc");

        QFile::remove(*saved);
        QFile mine(*saved);
        QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
        mine.close();
        const auto again = await(MediaDownload(&api, QUrl(u"/media/m2"_qs)).saveInto(dir.path()));
        QVERIFY(!again);
        QCOMPARE(again.error().kind(), Kind::File);
        QVERIFY(again.error().text().contains(u"does not overwrite"_qs));
        QCOMPARE(fileBytes(*saved), "mine");

        QCOMPARE(MediaDownload::fileNameFrom("attachment; filename=\"a \\\"quoted\\\" name.pdf\""),
                 u"a \"quoted\" name.pdf"_qs);
        QCOMPARE(MediaDownload::fileNameFrom("attachment; filename=/etc/passwd"), u"passwd"_qs);
        QCOMPARE(MediaDownload::fileNameFrom("attachment; filename*=UTF-8''.%1B%5B2Jhidden"),
                 u"[2Jhidden"_qs);
        QCOMPARE(MediaDownload::fileNameFrom("inline"), QString());
    }

    // The token goes to the service's origin only; another origin is fetched without it, over HTTPS or
    // from this machine only, and a redirect never leaves the origin.
    void credentialsStayWithTheService() {
        ScriptedServer service, elsewhere;
        useBaseURL(service.url().toString());
        service.answer(raw("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n", "s"));
        elsewhere.answer(raw("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n", "e"));
        APIClient api;
        api.setAccessToken(u"T"_qs);
        QTemporaryDir dir;
        QVERIFY(await(MediaDownload(&api, QUrl(u"/media/a"_qs)).saveTo(dir.filePath(u"a"_qs))));
        QCOMPARE(service.requests().last().header("Authorization"), "Bearer T");
        QVERIFY(await(MediaDownload(&api, elsewhere.url(u"/b"_qs)).saveTo(dir.filePath(u"b"_qs))));
        QVERIFY(!elsewhere.requests().last().hasHeader("Authorization"));

        const auto plain =
            await(MediaDownload(&api, QUrl(u"http://example.test/c"_qs)).saveTo(dir.filePath(u"c"_qs)));
        QVERIFY(!plain);
        QVERIFY(plain.error().text().contains(u"only over HTTPS"_qs));

        service.answer(raw("HTTP/1.1 302 Found\r\nLocation: " + elsewhere.url(u"/d"_qs).toEncoded() +
                               "\r\nContent-Length: 0\r\n",
                           {}));
        const qsizetype before = elsewhere.requests().size();
        const auto moved = await(MediaDownload(&api, QUrl(u"/media/d"_qs)).saveTo(dir.filePath(u"d"_qs)));
        QVERIFY(!moved);
        QCOMPARE(moved.error().kind(), Kind::Redirected);
        QCOMPARE(elsewhere.requests().size(), before);
        QVERIFY(!QFile::exists(dir.filePath(u"d"_qs)));
    }

    // Cancelled: nothing left behind. A failing status reads as the service says it.
    void cancelAndFailures() {
        ScriptedServer server;
        useBaseURL(server.url().toString());
        ScriptedServer::Reply trickle;
        trickle.stream = [](QTcpSocket* socket) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nfirst bytes");
        };
        server.answer(trickle);
        APIClient api;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"big.bin"_qs);
        MediaDownload download(&api, QUrl(u"/media/big"_qs));
        QTimer::singleShot(300, &download, &MediaDownload::cancel);
        const auto cancelled = await(download.saveTo(path));
        QVERIFY(!cancelled);
        QCOMPARE(cancelled.error().text(), u"Cancelled."_qs);
        QVERIFY(!QFile::exists(path) && !QFile::exists(path + u".part"_qs));

        server.answer(404, R"({"message":"No such file"})");
        const auto missing = await(MediaDownload(&api, QUrl(u"/media/gone"_qs)).saveTo(path));
        QVERIFY(!missing);
        QCOMPARE(missing.error().text(), u"No such file"_qs);
        QVERIFY(!QFile::exists(path) && !QFile::exists(path + u".part"_qs));
    }
};

QTEST_GUILESS_MAIN(MediaDownloadTest)
#include "tst_media_download.moc"
