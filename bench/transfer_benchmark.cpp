// A large file through the client against the real reference service on loopback, beside curl to the
// same service in the same run: the file goes up as a message's attachment (the chat model's send:
// MediaUpload, then the message) and comes down as that message's saved file (AttachmentFiles and
// MediaDownload), and curl posts the same file to /media/upload and fetches the same media. Printed:
// the seconds and MiB/s of each, the client's speed as a share of curl's (goal ≥ 0.9 each way), the
// peak resident memory this process gains while it uploads and while it downloads (goal ≤ 32 MiB
// each), and what the service gains while it receives the client's upload (goal ≤ 64 MiB).
// Goals are reported, not enforced: the exit status is 1 only when a transfer failed or came back
// different. Peaks come from VmHWM after writing "5" to clear_refs, which resets it. The CPU time each
// side spent is printed too: on a machine with few cores it tells where a slower transfer went.
//   lumora-bench-transfer            # 1 GiB each way
//   lumora-bench-transfer --short    # 32 MiB (CI)

#include "BenchService.h"
#include "core/api/APIClient.h"
#include "core/conversations/ChatViewModel.h"
#include "wire/WireDecode.h"
#include "wire/WireRecords.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <QCoroTask>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

using namespace lumora;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr double throughputGoal = 0.9;   // client / curl, each way
constexpr double clientGrowthGoal = 32;  // MiB, each way
constexpr double serviceGrowthGoal = 64; // MiB, during the client's upload
const QString senderName = QStringLiteral("amina");
const QString peerName = QStringLiteral("omar");
const QString password = QStringLiteral("transfer-bench-password");

std::unique_ptr<bench::Service> service;
std::unique_ptr<QTemporaryDir> work; // the source file, the downloads, curl's header file

template <class T> T await(QCoro::Task<T>&& task) {
    return QCoro::waitFor(std::move(task));
}

} // namespace

[[noreturn]] void lumora::bench::fail(const QString& what) {
    std::fprintf(stderr, "lumora-bench-transfer: %s\n", qUtf8Printable(what));
    service.reset(); // stops the service and removes its folder
    work.reset();
    std::exit(1);
}

namespace {

QString workPath(const QString& name) {
    return work->filePath(name);
}

// A process's peak resident memory over a stretch of time, from /proc: clear_refs "5" sets VmHWM to
// the current VmRSS, so the peak read afterwards belongs to that stretch alone.
class PeakGrowth {
public:
    explicit PeakGrowth(QString proc)
        : m_proc(std::move(proc)) {}

    void start() {
        const QByteArray path = (m_proc + QStringLiteral("/clear_refs")).toLocal8Bit();
        const int fd = ::open(path.constData(), O_WRONLY);
        if (fd < 0 || ::write(fd, "5", 1) != 1) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            bench::fail(QStringLiteral("cannot reset the peak of %1: %2")
                            .arg(QString::fromLocal8Bit(path), QString::fromLocal8Bit(std::strerror(error))));
        }
        ::close(fd);
        m_before = statusKiB("VmRSS:");
    }

    double growthMiB() const { return double(statusKiB("VmHWM:") - m_before) / 1024.0; }

private:
    qint64 statusKiB(const QByteArray& field) const {
        QFile status(m_proc + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            bench::fail(QStringLiteral("cannot read %1: %2").arg(status.fileName(), status.errorString()));
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(field)) {
                bool ok = false;
                const qint64 kiB = line.mid(field.size()).trimmed().split(' ').value(0).toLongLong(&ok);
                if (ok)
                    return kiB;
            }
        }
        bench::fail(QStringLiteral("no %1 in %2").arg(QString::fromLatin1(field), status.fileName()));
    }

    QString m_proc;
    qint64 m_before = 0;
};

// `size` pseudo-random bytes (incompressible, so nothing on the way gains from compression), written a
// mebibyte at a time; their SHA-256.
QByteArray writeSource(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        bench::fail(QStringLiteral("cannot create %1: %2").arg(path, file.errorString()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<quint64> chunk(MiB / sizeof(quint64));
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (qint64 written = 0; written < size;) {
        for (quint64& word : chunk) { // xorshift64*
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            word = state * 0x2545F4914F6CDD1Dull;
        }
        const qint64 n = std::min<qint64>(MiB, size - written);
        const char* bytes = reinterpret_cast<const char*>(chunk.data());
        if (file.write(bytes, n) != n)
            bench::fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        hash.addData(QByteArrayView(bytes, n));
        written += n;
    }
    if (!file.flush())
        bench::fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return hash.result();
}

// A downloaded copy must be the source, byte for byte: its size, then its SHA-256, read in pieces.
void verifyCopy(const QString& path, qint64 size, const QByteArray& sha256, const QString& who) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        bench::fail(QStringLiteral("%1's download is missing: %2").arg(who, file.errorString()));
    if (file.size() != size)
        bench::fail(QStringLiteral("%1's download has %2 bytes, not %3").arg(who).arg(file.size()).arg(size));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || hash.result() != sha256)
        bench::fail(QStringLiteral("%1's download differs from the file uploaded").arg(who));
}

// curl with `args`, its -w output (the HTTP status) on standard output.
QByteArray runCurl(const QStringList& args) {
    QProcess curl;
    curl.start(QStringLiteral("curl"), args);
    if (!curl.waitForStarted(30000))
        bench::fail(QStringLiteral("cannot start curl: ") + curl.errorString());
    if (!curl.waitForFinished(30 * 60 * 1000)) {
        curl.kill();
        curl.waitForFinished();
        bench::fail(QStringLiteral("curl did not finish"));
    }
    if (curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0)
        bench::fail(QStringLiteral("curl failed (%1): %2")
                        .arg(curl.exitCode())
                        .arg(QString::fromLocal8Bit(curl.readAllStandardError()).trimmed()));
    return curl.readAllStandardOutput().trimmed();
}

struct Row {
    Row(const char* direction, const char* tool)
        : direction(direction)
        , tool(tool) {}
    const char* direction;
    const char* tool;
    double seconds = 0;
    double cpuSeconds = 0;               // the tool's: this process for the client, the curl process for curl
    double serviceCpuSeconds = 0;        // the service's meanwhile
    std::optional<double> clientGrowth;  // MiB
    std::optional<double> serviceGrowth; // MiB
};

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// utime + stime of another process, from /proc/PID/stat (fields 14 and 15, after the command's name).
double cpuSeconds(const QString& proc) {
    QFile stat(proc + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        bench::fail(QStringLiteral("cannot read %1: %2").arg(stat.fileName(), stat.errorString()));
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        bench::fail(QStringLiteral("cannot parse ") + stat.fileName());
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// Wall-clock and CPU time over one transfer: curl's CPU counts once it has been waited for, as a child.
class Stopwatch {
public:
    explicit Stopwatch(QString serviceProc)
        : m_serviceProc(std::move(serviceProc)) {}

    void start(bool curl) {
        m_curl = curl;
        m_cpu = cpuSeconds(m_curl ? RUSAGE_CHILDREN : RUSAGE_SELF);
        m_serviceCpu = cpuSeconds(m_serviceProc);
        m_clock.start();
    }
    void stop(Row& row) const {
        row.seconds = double(m_clock.nsecsElapsed()) / 1e9;
        row.cpuSeconds = cpuSeconds(m_curl ? RUSAGE_CHILDREN : RUSAGE_SELF) - m_cpu;
        row.serviceCpuSeconds = cpuSeconds(m_serviceProc) - m_serviceCpu;
    }

private:
    QString m_serviceProc;
    QElapsedTimer m_clock;
    bool m_curl = false;
    double m_cpu = 0, m_serviceCpu = 0;
};

double mibPerSecond(const Row& row, qint64 size) {
    return double(size) / double(MiB) / row.seconds;
}

// The 1-, 5- and 15-minute load averages: other work on a small machine shows in the figures.
QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

const char* verdict(bool met) {
    return met ? "goal met" : "goal missed";
}

} // namespace

int main(int argc, char** argv) {
    qint64 size = 1024 * MiB;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0) {
            size = 32 * MiB;
        } else {
            std::fprintf(stderr, "usage: lumora-bench-transfer [--short]\n");
            return 1;
        }
    }
    // 0700: the token's header file is in it.
    work = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                           QStringLiteral("/lumora-bench-transfer-files-XXXXXX"));
    if (!work->isValid())
        bench::fail(QStringLiteral("cannot create a temporary folder"));
    // Nothing the client keeps (its cache, its settings) lands outside the temporary folder.
    for (const char* variable : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qputenv(variable, workPath(QString::fromLatin1(variable)).toLocal8Bit());
    QCoreApplication app(argc, argv);

    service = std::make_unique<bench::Service>();
    for (const QString& name : {senderName, peerName})
        service->command({QStringLiteral("add-user"), name}, password.toUtf8() + '\n');
    const QString conversationId =
        QString::fromUtf8(service->command({QStringLiteral("add-conversation"), senderName, peerName}));
    // Room for the file and for both uploads of it.
    service->start({QStringLiteral("--max-upload-bytes"), QString::number(2 * size)});
    const QString serviceProc = QStringLiteral("/proc/%1").arg(service->pid());

    APIClient api;
    const QByteArray token = bench::signIn(api, senderName, password);
    const auto me = await(api.me());
    if (!me)
        bench::fail(QStringLiteral("who am I: ") + me.error().text());
    const auto listed = await(api.conversations());
    if (!listed)
        bench::fail(QStringLiteral("listing conversations failed: ") + listed.error().text());
    std::optional<ConversationDTO> conversation;
    for (const ConversationDTO& c : *listed)
        if (c.id == conversationId)
            conversation = c;
    if (!conversation)
        bench::fail(QStringLiteral("conversation %1 is not listed").arg(conversationId));

    // curl reads the token from a file only this user can read, never from its command line.
    const QString headerFile = workPath(QStringLiteral("curl-headers"));
    {
        QFile headers(headerFile);
        if (!headers.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
            headers.write("Authorization: Bearer " + token + '\n') < 0 || !headers.flush())
            bench::fail(QStringLiteral("cannot write curl's header file: ") + headers.errorString());
    }

    const QString source = workPath(QStringLiteral("transfer.bin"));
    std::printf("Writing %lld MiB of pseudo-random bytes…\n", size / MiB);
    std::fflush(stdout);
    const QByteArray sha256 = writeSource(source, size);

    const QString base = service->url().toString(QUrl::StripTrailingSlash);
    PeakGrowth client(QStringLiteral("/proc/self"));
    PeakGrowth server(serviceProc);
    Stopwatch clock(serviceProc);
    const QString loadBefore = loadAverage();
    std::vector<Row> rows;

    // In turns, so neither tool always runs on a warmer machine: curl up, client up, client down,
    // curl down. Both downloads fetch the client's upload.
    {
        Row row{"upload", "curl"};
        server.start();
        clock.start(true);
        const QByteArray status = runCurl(
            {QStringLiteral("-sS"), QStringLiteral("-o"), workPath(QStringLiteral("curl-upload-reply.json")),
             QStringLiteral("-w"), QStringLiteral("%{http_code}"), QStringLiteral("-H"),
             QLatin1Char('@') + headerFile, QStringLiteral("-F"), QStringLiteral("file=@") + source,
             base + QStringLiteral("/media/upload")});
        clock.stop(row);
        row.serviceGrowth = server.growthMiB();
        QFile reply(workPath(QStringLiteral("curl-upload-reply.json")));
        const QByteArray body = reply.open(QIODevice::ReadOnly) ? reply.readAll() : QByteArray();
        if (status != "201")
            bench::fail(QStringLiteral("curl's upload answered %1: %2")
                            .arg(QString::fromUtf8(status), QString::fromUtf8(body)));
        const auto uploaded = decodeJson<UploadedFileMetaDTO>(body);
        if (!uploaded || uploaded->sizeBytes != size)
            bench::fail(QStringLiteral("curl's upload was not stored whole: ") + QString::fromUtf8(body));
        rows.push_back(row);
    }

    ChatViewModel chat(&api, *conversation);
    QString messageId;
    {
        Row row{"upload", "lumora"};
        chat.setPendingAttachmentURL(QUrl::fromLocalFile(source));
        chat.setDraft(QStringLiteral("The big file"));
        client.start();
        server.start();
        clock.start(false);
        await(chat.send(me->id));
        clock.stop(row);
        row.clientGrowth = client.growthMiB();
        row.serviceGrowth = server.growthMiB();
        if (chat.error())
            bench::fail(QStringLiteral("the client's send failed: ") + chat.error()->text());
        if (!chat.unsentMessages().isEmpty() || chat.messages().isEmpty())
            bench::fail(QStringLiteral("the client's message was not sent"));
        const MessageDTO& sent = chat.messages().last();
        if (!sent.attachments || sent.attachments->size() != 1 || sent.attachments->first().sizeBytes != size)
            bench::fail(QStringLiteral("the client's message does not carry the whole file"));
        messageId = sent.id;
        rows.push_back(row);
    }

    const QString clientCopy = workPath(QStringLiteral("client-download.bin"));
    {
        Row row{"download", "lumora"};
        await(chat.load());
        if (chat.error())
            bench::fail(QStringLiteral("loading the conversation failed: ") + chat.error()->text());
        client.start();
        clock.start(false);
        await(chat.saveAttachment(messageId, QUrl::fromLocalFile(clientCopy)));
        clock.stop(row);
        row.clientGrowth = client.growthMiB();
        if (chat.error())
            bench::fail(QStringLiteral("the client's download failed: ") + chat.error()->text());
        rows.push_back(row);
    }
    const MessageDTO* message = nullptr;
    for (const MessageDTO& m : chat.messages())
        if (m.id == messageId)
            message = &m;
    if (!message)
        bench::fail(QStringLiteral("the sent message is missing after loading"));
    const QString mediaURL = QUrl(base).resolved(QUrl(message->attachments->first().url)).toString();

    const QString curlCopy = workPath(QStringLiteral("curl-download.bin"));
    {
        Row row{"download", "curl"};
        clock.start(true);
        const QByteArray status = runCurl({QStringLiteral("-sS"), QStringLiteral("-o"), curlCopy,
                                           QStringLiteral("-w"), QStringLiteral("%{http_code}"),
                                           QStringLiteral("-H"), QLatin1Char('@') + headerFile, mediaURL});
        clock.stop(row);
        if (status != "200")
            bench::fail(QStringLiteral("curl's download answered ") + QString::fromUtf8(status));
        rows.push_back(row);
    }

    // After the clocks: a copy that differs would make its speed meaningless.
    verifyCopy(clientCopy, size, sha256, QStringLiteral("the client"));
    verifyCopy(curlCopy, size, sha256, QStringLiteral("curl"));

    const QString loadAfter = loadAverage();
    const Row& curlUp = rows[0];
    const Row& clientUp = rows[1];
    const Row& clientDown = rows[2];
    const Row& curlDown = rows[3];
    const double upRatio = mibPerSecond(clientUp, size) / mibPerSecond(curlUp, size);
    const double downRatio = mibPerSecond(clientDown, size) / mibPerSecond(curlDown, size);

    const auto growth = [](const std::optional<double>& mib) {
        return mib ? QString::asprintf("%.1f MiB", *mib) : QStringLiteral("-");
    };
    std::printf(
        "\n%lld MiB each way on loopback, the client (lumora) beside curl %s, same service, same run\n\n",
        size / MiB,
        qPrintable(QString::fromLatin1(runCurl({QStringLiteral("--version")}).split(' ').value(1))));
    std::printf("%-9s %-7s %8s %9s %6s %13s %14s %6s %10s  %s\n", "direction", "tool", "seconds", "MiB/s",
                "ratio", "client RSS +", "service RSS +", "CPU s", "service s", "goal");
    for (const Row& row : rows) {
        const bool isClient = std::strcmp(row.tool, "lumora") == 0;
        const bool isUpload = std::strcmp(row.direction, "upload") == 0;
        QString ratio = QStringLiteral("-");
        QString goal = QStringLiteral("(baseline)");
        if (isClient) {
            const double r = isUpload ? upRatio : downRatio;
            ratio = QString::asprintf("%.2f", r);
            bool met = r >= throughputGoal && *row.clientGrowth <= clientGrowthGoal;
            if (isUpload)
                met = met && *row.serviceGrowth <= serviceGrowthGoal;
            goal = QString::fromLatin1(verdict(met));
        }
        std::printf("%-9s %-7s %8.2f %9.1f %6s %13s %14s %6.2f %10.2f  %s\n", row.direction, row.tool,
                    row.seconds, mibPerSecond(row, size), qPrintable(ratio),
                    qPrintable(growth(row.clientGrowth)), qPrintable(growth(row.serviceGrowth)),
                    row.cpuSeconds, row.serviceCpuSeconds, qPrintable(goal));
    }
    std::printf("\nupload speed, client / curl:       %5.2f (goal ≥ %.1f)   %s\n", upRatio, throughputGoal,
                verdict(upRatio >= throughputGoal));
    std::printf("download speed, client / curl:     %5.2f (goal ≥ %.1f)   %s\n", downRatio, throughputGoal,
                verdict(downRatio >= throughputGoal));
    std::printf("client peak RSS growth, upload:    %5.1f MiB (goal ≤ %.0f)   %s\n", *clientUp.clientGrowth,
                clientGrowthGoal, verdict(*clientUp.clientGrowth <= clientGrowthGoal));
    std::printf("client peak RSS growth, download:  %5.1f MiB (goal ≤ %.0f)   %s\n", *clientDown.clientGrowth,
                clientGrowthGoal, verdict(*clientDown.clientGrowth <= clientGrowthGoal));
    std::printf("service peak RSS growth, upload:   %5.1f MiB (goal ≤ %.0f)   %s\n", *clientUp.serviceGrowth,
                serviceGrowthGoal, verdict(*clientUp.serviceGrowth <= serviceGrowthGoal));
    std::printf("(load average before the transfers: %s; after: %s)\n", qPrintable(loadBefore),
                qPrintable(loadAfter));
    std::printf(
        "(CPU s: the tool's CPU time, every thread, user and system; service s: the service's meanwhile.\n"
        " Downloads verified: size and SHA-256 equal the source's.)\n");

    service.reset();
    work.reset();
    return 0;
}
