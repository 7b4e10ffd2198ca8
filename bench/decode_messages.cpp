// Decoding a large message-history reply: the simdjson decoders against the same work done with
// QJsonDocument, which is what the client used before.

#include "wire/Timestamp.h"
#include "wire/WireDecode.h"
#include "wire/WireRecords.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int messageCount = 10'000;

// A piece of a message body: its JSON form, and the text a decoder must produce from it.
struct Fragment {
    std::string_view json;
    QString text;
};

const QList<Fragment>& fragments() {
    static const QList<Fragment> list{
        {"See you at the station at 9, don't be late! ",
         QStringLiteral("See you at the station at 9, don't be late! ")},
        {"مرحبا، كيف حالك اليوم؟ ", QStringLiteral("مرحبا، كيف حالك اليوم؟ ")},
        {"😀🎉 ", QStringLiteral("😀🎉 ")},
        {"First line\\nsecond line\\n", QStringLiteral("First line\nsecond line\n")},
        {"She said \\\"on my way\\\" ", QStringLiteral("She said \"on my way\" ")},
        {"saved to C:\\\\Users\\\\sam ", QStringLiteral("saved to C:\\Users\\sam ")},
        {"caf\\u00e9 au lait ", QStringLiteral("café au lait ")},
        {"سأرسل لك الملفات غدا إن شاء الله ", QStringLiteral("سأرسل لك الملفات غدا إن شاء الله ")},
        {"Thanks, the build passed 🎉 ", QStringLiteral("Thanks, the build passed 🎉 ")},
        {"ok", QStringLiteral("ok")},
    };
    return list;
}

std::string uuid(std::mt19937& rng) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string id(36, '-');
    for (size_t i = 0; i < id.size(); ++i)
        if (i != 8 && i != 13 && i != 18 && i != 23)
            id[i] = hex[rng() % 16];
    return id;
}

// "2026-11-30T08:15:42.123Z", and the instant it stands for.
std::string timestamp(std::mt19937& rng, lumora::Instant& instant) {
    using namespace std::chrono;
    const sys_days day = sys_days{2026y / November / 1} + days{rng() % 30};
    const milliseconds into{rng() % (24 * 3600 * 1000)};
    instant = day + into;
    const year_month_day date{day};
    const hh_mm_ss time{into};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()), int(time.subseconds().count()));
    return text;
}

QString q(const std::string& ascii) {
    return QString::fromLatin1(ascii.data(), qsizetype(ascii.size()));
}

struct Reply {
    QByteArray json;
    QList<lumora::MessageDTO> expected; // what every decoder must produce from `json`
};

// A long message-history reply as the service sends it, written by hand so the bodies
// carry the escapes (\n, \", \\, \u00e9) that a serializer would not produce.
Reply makeReply() {
    std::mt19937 rng(20261130);
    const QList<std::string> conversations{uuid(rng), uuid(rng), uuid(rng)};
    QList<std::string> senders;
    for (int i = 0; i < 12; ++i)
        senders.append(uuid(rng));

    Reply reply;
    std::string json = "[";
    for (int i = 0; i < messageCount; ++i) {
        lumora::MessageDTO m;
        const std::string id = uuid(rng);
        const std::string conversation = conversations[rng() % conversations.size()];
        const std::string sender = senders[rng() % senders.size()];
        m.id = q(id);
        m.conversationId = q(conversation);
        m.senderId = q(sender);

        std::string body;
        QString bodyText;
        for (int n = 1 + int(rng() % 3); n > 0; --n) {
            const Fragment& f = fragments()[rng() % fragments().size()];
            body += f.json;
            bodyText += f.text;
        }
        m.body = bodyText;

        lumora::Instant created;
        const std::string createdAt = timestamp(rng, created);
        m.createdAt = created;

        if (i > 0)
            json += ',';
        json += R"({"id":")" + id + R"(","conversationId":")" + conversation + R"(","senderId":")" + sender +
                R"(","body":")" + body + R"(","createdAt":")" + createdAt + '"';

        if (rng() % 4 == 0) {
            lumora::Instant updated;
            json += R"(,"updatedAt":")" + timestamp(rng, updated) + '"';
            m.updatedAt = updated;
        }
        if (rng() % 8 == 0) {
            const bool image = rng() % 2 == 0;
            const std::string name = image ? "IMG_" + std::to_string(1000 + rng() % 9000) + ".jpg"
                                           : "report-" + std::to_string(rng() % 100) + ".pdf";
            json += R"(,"attachmentName":")" + name + R"(","attachments":[)";
            m.attachmentName = q(name);
            m.attachments.emplace();
            for (int n = 1 + int(rng() % 2); n > 0; --n) {
                lumora::AttachmentMetaDTO a;
                const std::string attachmentId = uuid(rng);
                const std::string url = "https://files.lumora.example/u/" + attachmentId + '/' + name;
                const std::string mime = image ? "image/jpeg" : "application/pdf";
                const std::int64_t size = 20'000 + std::int64_t(rng() % 4'000'000);
                lumora::Instant attachedAt;
                const std::string attachedAtText = timestamp(rng, attachedAt);
                a.id = q(attachmentId);
                a.messageId = m.id;
                a.url = q(url);
                a.mimeType = q(mime);
                a.sizeBytes = size;
                a.fileName = q(name);
                a.createdAt = attachedAt;
                if (!m.attachments->isEmpty())
                    json += ',';
                json += R"({"id":")" + attachmentId + R"(","messageId":")" + id + R"(","url":")" + url +
                        R"(","mimeType":")" + mime + R"(","sizeBytes":)" + std::to_string(size) +
                        R"(,"fileName":")" + name + R"(","createdAt":")" + attachedAtText + R"("})";
                m.attachments->append(a);
            }
            json += ']';
        }
        json += '}';
        reply.expected.append(m);
    }
    json += ']';
    reply.json = QByteArray(json.data(), qsizetype(json.size()));
    return reply;
}

// The QJsonDocument path: the same fields, the same checks, the same records.
struct QJsonReader {
    bool ok = true;

    static bool absent(const QJsonValue& v) { return v.isUndefined() || v.isNull(); }

    QString string(const QJsonValue& v) {
        if (!v.isString())
            ok = false;
        return v.toString();
    }

    std::optional<QString> optionalString(const QJsonValue& v) {
        if (absent(v))
            return std::nullopt;
        return string(v);
    }

    lumora::Instant instant(const QJsonValue& v) {
        if (!v.isString()) {
            ok = false;
            return {};
        }
        const QByteArray utf8 = v.toString().toUtf8();
        const auto parsed = lumora::parseTimestamp(std::string_view(utf8.constData(), size_t(utf8.size())));
        if (!parsed)
            ok = false;
        return parsed.value_or(lumora::Instant{});
    }

    std::optional<lumora::Instant> optionalInstant(const QJsonValue& v) {
        if (absent(v))
            return std::nullopt;
        return instant(v);
    }

    std::int64_t integer(const QJsonValue& v) {
        const qint64 n = v.toInteger();
        if (!v.isDouble() || double(n) != v.toDouble())
            ok = false;
        return n;
    }

    lumora::AttachmentMetaDTO attachment(const QJsonValue& v) {
        const QJsonObject o = v.toObject();
        if (!v.isObject())
            ok = false;
        lumora::AttachmentMetaDTO a;
        a.id = optionalString(o.value("id"_L1));
        a.messageId = optionalString(o.value("messageId"_L1));
        a.url = string(o.value("url"_L1));
        a.mimeType = string(o.value("mimeType"_L1));
        a.sizeBytes = integer(o.value("sizeBytes"_L1));
        a.fileName = optionalString(o.value("fileName"_L1));
        a.createdAt = optionalInstant(o.value("createdAt"_L1));
        return a;
    }

    lumora::MessageDTO message(const QJsonValue& v) {
        const QJsonObject o = v.toObject();
        if (!v.isObject())
            ok = false;
        lumora::MessageDTO m;
        m.id = string(o.value("id"_L1));
        m.conversationId = string(o.value("conversationId"_L1));
        m.senderId = string(o.value("senderId"_L1));
        m.body = optionalString(o.value("body"_L1));
        m.createdAt = instant(o.value("createdAt"_L1));
        m.updatedAt = optionalInstant(o.value("updatedAt"_L1));
        m.deletedAt = optionalInstant(o.value("deletedAt"_L1));
        m.attachmentName = optionalString(o.value("attachmentName"_L1));
        const QJsonValue attachments = o.value("attachments"_L1);
        if (attachments.isArray()) {
            const QJsonArray array = attachments.toArray();
            m.attachments.emplace();
            m.attachments->reserve(array.size());
            for (const QJsonValue& item : array)
                m.attachments->append(attachment(item));
        } else if (!(attachments.isUndefined() || attachments.isNull())) {
            ok = false;
        }
        return m;
    }
};

std::optional<QList<lumora::MessageDTO>> decodeWithQJson(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray array = document.array();
    QJsonReader reader;
    QList<lumora::MessageDTO> list;
    list.reserve(array.size());
    for (const QJsonValue& item : array)
        list.append(reader.message(item));
    if (!reader.ok)
        return std::nullopt;
    return list;
}

const Reply& reply() {
    static const Reply r = makeReply();
    return r;
}

void setCounters(benchmark::State& state) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * reply().json.size());
    state.SetItemsProcessed(std::int64_t(state.iterations()) * messageCount);
}

// Times the decoding only: freeing the records afterwards is the same work for both decoders and
// happens whenever the caller drops the reply, so it is left out of the timed region.
template <class Decode>
void decodeEachIteration(benchmark::State& state, Decode decode, const char* failure) {
    const QByteArray& bytes = reply().json;
    for (auto _ : state) {
        auto messages = decode(bytes);
        benchmark::DoNotOptimize(messages);
        if (!messages || messages->size() != messageCount) {
            state.SkipWithError(failure);
            break;
        }
        state.PauseTiming();
        messages.reset();
        state.ResumeTiming();
    }
    setCounters(state);
}

void BM_DecodeMessagesSimdjson(benchmark::State& state) {
    decodeEachIteration(
        state,
        [](const QByteArray& bytes) -> std::optional<QList<lumora::MessageDTO>> {
            auto decoded = lumora::decodeJson<QList<lumora::MessageDTO>>(bytes);
            if (!decoded)
                return std::nullopt;
            return std::move(*decoded);
        },
        "the simdjson decoder failed");
}
BENCHMARK(BM_DecodeMessagesSimdjson)->Unit(benchmark::kMillisecond);

void BM_DecodeMessagesQJson(benchmark::State& state) {
    decodeEachIteration(state, decodeWithQJson, "the QJsonDocument decoder failed");
}
BENCHMARK(BM_DecodeMessagesQJson)->Unit(benchmark::kMillisecond);

// Both decoders must agree with what was generated, or the timings compare different work.
void verify(const Reply& r) {
    const auto fail = [](const char* what) {
        std::fprintf(stderr, "lumora-bench-decode: %s\n", what);
        std::exit(1);
    };
    const auto reply = lumora::decodeReply<QList<lumora::MessageDTO>>(r.json);
    if (!reply) {
        std::fprintf(stderr, "lumora-bench-decode: decodeReply failed: %s\n",
                     qUtf8Printable(reply.error().description));
        std::exit(1);
    }
    if (*reply != r.expected)
        fail("decodeReply gave different messages than were generated");
    const auto direct = lumora::decodeJson<QList<lumora::MessageDTO>>(r.json);
    if (!direct || *direct != r.expected)
        fail("decodeJson gave different messages than were generated");
    const auto viaQJson = decodeWithQJson(r.json);
    if (!viaQJson || *viaQJson != r.expected)
        fail("the QJsonDocument reader gave different messages than were generated");
    std::fprintf(stderr, "reply: %d messages, %lld bytes (%.0f bytes per message)\n", messageCount,
                 static_cast<long long>(r.json.size()), double(r.json.size()) / messageCount);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    verify(reply());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
