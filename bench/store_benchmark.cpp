// The local store on the interface thread: what keeping the inbox costs after a poll in which one
// conversation changed (a new message moves it to the top), beside a poll that changed every row
// (every unread count), and what keeping an open chat's newest 500 messages costs after one new
// message; then the size of a store holding 500 conversations of 500 messages each. Each write is a
// real SQLite transaction on a file in a temporary folder (WAL, synchronous NORMAL, as the client).

#include "MessageBodies.h"
#include "core/store/LocalStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace lumora;

namespace {

const Instant start{std::chrono::milliseconds{1'790'000'000'000}};

ConversationDTO conversation(int i, bench::Bodies& bodies) {
    ConversationDTO c;
    c.id = QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0'));
    c.type = QStringLiteral("direct");
    c.title = QStringLiteral("Conversation %1").arg(i);
    c.updatedAt = start - std::chrono::minutes(i);
    c.unreadCount = i % 3;
    c.lastMessage = MessageSummaryDTO{
        c.id + QStringLiteral("-last"), bodies.next(), QStringLiteral("u2"), c.updatedAt, {}};
    return c;
}

MessageDTO message(int i, bench::Bodies& bodies) {
    MessageDTO m;
    m.id = QStringLiteral("m%1").arg(i, 31, 10, QLatin1Char('0'));
    m.conversationId = QStringLiteral("c1");
    m.senderId = i % 2 ? QStringLiteral("u1") : QStringLiteral("u2");
    m.body = bodies.next();
    m.createdAt = start + std::chrono::seconds(i);
    return m;
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<LocalStore> store = LocalStore::open(dir.filePath(QStringLiteral("store.sqlite")));
    bench::Bodies bodies;
    QList<ConversationDTO> inbox;

    Fixture() {
        for (int i = 0; i < 500; ++i)
            inbox.append(conversation(i, bodies));
        store->saveInbox(inbox);
    }
};

// A poll that brought one new message: its conversation moves to the top with a new last message.
void BM_InboxOneChanged(benchmark::State& state) {
    Fixture f;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ConversationDTO moved = f.inbox.takeAt(250 + n % 200);
        moved.lastMessage->body = f.bodies.next();
        moved.updatedAt = start + std::chrono::seconds(++n);
        f.inbox.prepend(moved);
        state.ResumeTiming();
        f.store->saveInbox(f.inbox);
    }
}
BENCHMARK(BM_InboxOneChanged)->Unit(benchmark::kMillisecond);

// The baseline: a poll that changed every row.
void BM_InboxEveryRowChanged(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        state.PauseTiming();
        for (ConversationDTO& c : f.inbox)
            c.unreadCount = (c.unreadCount + 1) % 5;
        state.ResumeTiming();
        f.store->saveInbox(f.inbox);
    }
}
BENCHMARK(BM_InboxEveryRowChanged)->Unit(benchmark::kMillisecond);

// An open chat's poll that brought one new message: the newest 500 kept.
void BM_ChatOneNewMessage(benchmark::State& state) {
    Fixture f;
    QList<MessageDTO> messages;
    for (int i = 0; i < LocalStore::keptMessages; ++i)
        messages.append(message(i, f.bodies));
    f.store->saveMessages(QStringLiteral("c1"), messages);
    int next = LocalStore::keptMessages;
    for (auto _ : state) {
        state.PauseTiming();
        messages.append(message(next++, f.bodies));
        state.ResumeTiming();
        f.store->saveMessages(QStringLiteral("c1"), messages);
    }
}
BENCHMARK(BM_ChatOneNewMessage)->Unit(benchmark::kMillisecond);

void printStoreSize() {
    Fixture f;
    QList<MessageDTO> messages;
    for (int i = 0; i < LocalStore::keptMessages; ++i)
        messages.append(message(i, f.bodies));
    for (const ConversationDTO& c : f.inbox) {
        for (MessageDTO& m : messages)
            m.conversationId = c.id;
        f.store->saveMessages(c.id, messages);
    }
    f.store.reset(); // the write-ahead log goes into the file
    const auto size = [&](const char* suffix) {
        return QFileInfo(f.dir.filePath(QStringLiteral("store.sqlite")) + QLatin1String(suffix)).size();
    };
    std::printf("The store with 500 conversations of %d messages each: %.1f MiB (journal %.1f MiB)\n",
                LocalStore::keptMessages, double(size("")) / (1024 * 1024),
                double(size("-wal")) / (1024 * 1024));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    printStoreSize();
    return 0;
}
