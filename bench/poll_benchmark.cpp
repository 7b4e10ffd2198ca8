// The chat's three-second poll against the real reference service: what one poll of a 1,000- and a
// 10,000-message conversation costs this process in CPU time, in total (every thread: the interface
// thread, the network thread and the decoding worker) and on the interface thread alone. The
// service is a separate process and its CPU time is not counted.

#include "BenchService.h"
#include "MessageBodies.h"
#include "ProcessCpu.h"
#include "core/api/APIClient.h"
#include "core/conversations/ChatViewModel.h"
#include "wire/WireRecords.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <QCoroTask>

#include <benchmark/benchmark.h>

#include <sys/prctl.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace lumora;

namespace {

constexpr int sizes[] = {1'000, 10'000}; // messages in the polled conversations
constexpr int inFlight = 50;             // sends started together while filling a conversation
const QString viewerName = QStringLiteral("rania");
const QString posterName = QStringLiteral("amina");
const QString viewerPassword = QStringLiteral("poll-bench-viewer");
const QString posterPassword = QStringLiteral("poll-bench-poster");

// Iterations of the growing benchmark are fixed: each adds a message, and an open-ended run would
// drift the conversation away from its nominal size.
constexpr int oneNewIterationsSmall = 50;
constexpr int oneNewIterationsLarge = 20;

std::unique_ptr<bench::Service> service;
bool failed = false;
using bench::fail;
using bench::processCpuSeconds;
using bench::signIn;

} // namespace

[[noreturn]] void lumora::bench::fail(const QString& what) {
    std::fprintf(stderr, "lumora-bench-poll: %s\n", qUtf8Printable(what));
    service.reset(); // stops the service and removes its database
    std::exit(1);
}

namespace {

struct Conversation {
    int size = 0;
    ConversationDTO dto;
    qint64 replyBytes = 0; // one poll's reply body, as filled
};

std::unique_ptr<QNetworkAccessManager> network;
std::unique_ptr<APIClient> viewer;
std::unique_ptr<APIClient> poster;
std::deque<Conversation> conversations; // stable addresses as it grows
bench::Bodies bodies;

// Sends `count` messages, alternately from both accounts, `inFlight` at a time.
void fill(const QString& conversationId, int count) {
    for (int sent = 0; sent < count;) {
        std::vector<QCoro::Task<APIResult<MessageDTO>>> batch;
        for (int i = 0; i < inFlight && sent < count; ++i, ++sent) {
            APIClient& from = sent % 2 == 0 ? *viewer : *poster;
            batch.push_back(from.sendMessage(conversationId, bodies.next(), std::nullopt));
        }
        for (auto& task : batch) {
            const auto result = QCoro::waitFor(task);
            if (!result)
                fail(QStringLiteral("a send failed: ") + result.error().text());
        }
    }
}

// The size of the reply a poll downloads, asked for outside the client since it does not expose it.
qint64 replySize(const QString& conversationId, const QByteArray& token) {
    QNetworkAccessManager manager;
    QUrl url = service->url();
    url.setPath(QStringLiteral("/conversations/%1/messages").arg(conversationId));
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + token);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 size = reply->readAll().size();
    delete reply;
    return size;
}

QByteArray viewerToken;

// The service and both accounts, the first time a benchmark needs them (a filter that matches
// nothing starts nothing).
void ensureService() {
    if (service)
        return;
    QElapsedTimer started;
    started.start();
    service = std::make_unique<bench::Service>();
    service->command({QStringLiteral("add-user"), viewerName, QStringLiteral("--display-name"),
                      QStringLiteral("رانيا"), QStringLiteral("--country-code"), QStringLiteral("JO")},
                     viewerPassword.toUtf8() + '\n');
    service->command({QStringLiteral("add-user"), posterName, QStringLiteral("--display-name"),
                      QStringLiteral("Amina"), QStringLiteral("--country-code"), QStringLiteral("EG")},
                     posterPassword.toUtf8() + '\n');
    service->start();

    // One manager for both accounts, as one application would have: it opens at most six connections,
    // and the service serves at most eight at a time (more stall until an idle one times out).
    network = std::make_unique<QNetworkAccessManager>();
    viewer = std::make_unique<APIClient>(network.get());
    poster = std::make_unique<APIClient>(network.get());
    viewerToken = signIn(*viewer, viewerName, viewerPassword);
    signIn(*poster, posterName, posterPassword);
    std::fprintf(stderr, "setup: service started and both accounts signed in after %lld ms\n",
                 static_cast<long long>(started.elapsed()));
}

// A conversation between the two accounts with `size` messages, made and filled on first use.
const Conversation& conversation(int size) {
    for (const Conversation& c : conversations)
        if (c.size == size)
            return c;
    ensureService();
    QElapsedTimer filling;
    filling.start();
    // Two people without a title share one direct conversation, so every later one gets a title.
    QStringList args{QStringLiteral("add-conversation"), viewerName, posterName};
    if (!conversations.empty())
        args += {QStringLiteral("--title"), QStringLiteral("Book club 📚 %1").arg(conversations.size())};
    const QString id = QString::fromUtf8(service->command(args));
    fill(id, size);
    const double seconds = double(filling.elapsed()) / 1000.0;
    std::fprintf(stderr, "setup: %d messages sent in %.1f s (%.0f per second)\n", size, seconds,
                 double(size) / seconds);

    const auto listed = QCoro::waitFor(viewer->conversations());
    if (!listed)
        fail(QStringLiteral("listing conversations failed: ") + listed.error().text());
    for (const ConversationDTO& dto : *listed) {
        if (dto.id == id) {
            conversations.push_back(Conversation{size, dto, replySize(id, viewerToken)});
            return conversations.back();
        }
    }
    fail(QStringLiteral("conversation %1 is not listed").arg(id));
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double wallSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Finishes what earlier requests left behind (replies deleted later, a closed connection) so that
// it is not charged to the poll that follows.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::msleep(2);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct Sample {
    double totalMs;
    double interfaceMs;
    double wallMs;
    int rows = 0; // after the poll
};
std::map<std::string, std::vector<Sample>> samples; // by benchmark name, every measured poll

// One poll, timed: the task runs to completion on the interface thread, whose event loop also
// receives the reply; the replies it leaves to delete later are deleted inside the timed region.
Sample timedPoll(ChatViewModel& chat) {
    const double wall0 = wallSeconds();
    const double process0 = processCpuSeconds();
    const double thread0 = threadCpuSeconds();
    auto polling = chat.pollOnceForTesting();
    QCoro::waitFor(polling);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const double thread1 = threadCpuSeconds();
    const double process1 = processCpuSeconds();
    const double wall1 = wallSeconds();
    return {(process1 - process0) * 1e3, (thread1 - thread0) * 1e3, (wall1 - wall0) * 1e3, chat.count()};
}

// A chat as the window holds it, loaded once outside the timed region.
std::unique_ptr<ChatViewModel> openChat(const Conversation& c, benchmark::State& state) {
    auto chat = std::make_unique<ChatViewModel>(viewer.get(), c.dto);
    auto loading = chat->load();
    QCoro::waitFor(loading);
    if (chat->error() || chat->count() < c.size) {
        state.SkipWithError("loading the conversation failed");
        failed = true;
        return nullptr;
    }
    return chat;
}

void report(benchmark::State& state, const Conversation& c, const ChatViewModel& chat, double interfaceMs,
            double wallMs) {
    state.counters["ui_cpu_ms"] = benchmark::Counter(interfaceMs, benchmark::Counter::kAvgIterations);
    state.counters["wall_ms"] = benchmark::Counter(wallMs, benchmark::Counter::kAvgIterations);
    state.counters["messages"] = double(chat.count());
    state.counters["reply_KiB"] = double(c.replyBytes) / 1024.0;
}

void pollUnchanged(benchmark::State& state, int size, const std::string& name) {
    const Conversation& c = conversation(size);
    auto chat = openChat(c, state);
    if (!chat)
        return;
    QSignalSpy inserted(chat.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(chat.get(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(chat.get(), &QAbstractItemModel::dataChanged);
    double interfaceMs = 0, wallMs = 0;
    auto& mine = samples[name];
    for (auto _ : state) {
        state.PauseTiming();
        settle();
        state.ResumeTiming();
        const Sample s = timedPoll(*chat);
        state.SetIterationTime(s.totalMs / 1e3);
        interfaceMs += s.interfaceMs;
        wallMs += s.wallMs;
        mine.push_back(s);
    }
    if (!inserted.isEmpty() || !reset.isEmpty() || !changed.isEmpty()) {
        state.SkipWithError("an unchanged poll changed the model");
        failed = true;
        return;
    }
    report(state, c, *chat, interfaceMs, wallMs);
}

void pollOneNew(benchmark::State& state, int size, const std::string& name) {
    const Conversation& c = conversation(size);
    auto chat = openChat(c, state);
    if (!chat)
        return;
    QSignalSpy inserted(chat.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(chat.get(), &QAbstractItemModel::modelReset);
    double interfaceMs = 0, wallMs = 0;
    auto& mine = samples[name];
    for (auto _ : state) {
        state.PauseTiming();
        auto sending = poster->sendMessage(c.dto.id, bodies.next(), std::nullopt);
        const auto sent = QCoro::waitFor(sending);
        if (!sent) {
            state.ResumeTiming();
            state.SkipWithError("posting the new message failed");
            failed = true;
            break;
        }
        settle();
        inserted.clear();
        reset.clear();
        const int before = chat->count();
        state.ResumeTiming();
        const Sample s = timedPoll(*chat);
        state.SetIterationTime(s.totalMs / 1e3);
        if (inserted.size() != 1 || !reset.isEmpty() || chat->count() != before + 1) {
            std::fprintf(stderr,
                         "lumora-bench-poll: a poll after one new message gave %lld rowsInserted, "
                         "%lld modelReset, %d -> %d rows\n",
                         static_cast<long long>(inserted.size()), static_cast<long long>(reset.size()),
                         before, chat->count());
            state.SkipWithError("a poll with one new message did not insert exactly one row");
            failed = true;
            break;
        }
        interfaceMs += s.interfaceMs;
        wallMs += s.wallMs;
        mine.push_back(s);
    }
    report(state, c, *chat, interfaceMs, wallMs);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double mean(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

// Goals for one poll on this machine: CPU of the whole process and of the interface thread, in ms.
struct Goal {
    double totalMs;
    double interfaceMs;
};
std::optional<Goal> goalFor(const std::string& name) {
    if (name == "PollUnchanged/1000")
        return Goal{3, 1};
    if (name == "PollUnchanged/10000")
        return Goal{20, 4};
    return std::nullopt;
}

void printSummary() {
    if (samples.empty())
        return;
    std::printf(
        "\nPer poll, over every measured poll (median / mean / min, ms of CPU time; the service's own "
        "CPU is not included):\n");
    std::printf("%-20s %5s %-13s | %-24s | %-24s | %-8s | %s\n", "benchmark", "polls", "rows",
                "process CPU (all threads)", "interface-thread CPU", "wall", "goal (median)");
    for (const auto& [name, list] : samples) {
        if (list.empty())
            continue;
        std::vector<double> total, ui, wall;
        int fewestRows = list.front().rows, mostRows = list.front().rows;
        for (const Sample& s : list) {
            fewestRows = std::min(fewestRows, s.rows);
            mostRows = std::max(mostRows, s.rows);
            total.push_back(s.totalMs);
            ui.push_back(s.interfaceMs);
            wall.push_back(s.wallMs);
        }
        std::string verdict = "-";
        if (const auto goal = goalFor(name)) {
            const bool totalOk = median(total) <= goal->totalMs;
            const bool uiOk = median(ui) <= goal->interfaceMs;
            char text[96];
            std::snprintf(text, sizeof text, "total <= %g %s, interface <= %g %s", goal->totalMs,
                          totalOk ? "met" : "MISSED", goal->interfaceMs, uiOk ? "met" : "MISSED");
            verdict = text;
        }
        const std::string rows = fewestRows == mostRows
                                     ? std::to_string(fewestRows)
                                     : std::to_string(fewestRows) + "-" + std::to_string(mostRows);
        std::printf("%-20s %5zu %-13s | %6.2f / %6.2f / %6.2f | %6.2f / %6.2f / %6.2f | %8.2f | %s\n",
                    name.c_str(), list.size(), rows.c_str(), median(total), mean(total),
                    *std::min_element(total.begin(), total.end()), median(ui), mean(ui),
                    *std::min_element(ui.begin(), ui.end()), median(wall), verdict.c_str());
    }
    for (const Conversation& c : conversations)
        std::printf("reply of the %d-message conversation: %lld bytes (%.0f per message)\n", c.size,
                    static_cast<long long>(c.replyBytes), double(c.replyBytes) / c.size);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);

    for (const int size : sizes) {
        const std::string name = "PollUnchanged/" + std::to_string(size);
        benchmark::RegisterBenchmark(
            name.c_str(), [size, name](benchmark::State& state) { pollUnchanged(state, size, name); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    for (const int size : sizes) {
        const std::string name = "PollOneNew/" + std::to_string(size);
        benchmark::RegisterBenchmark(name.c_str(),
                                     [size, name](benchmark::State& state) { pollOneNew(state, size, name); })
            ->UseManualTime()
            ->Iterations(size >= 10'000 ? oneNewIterationsLarge : oneNewIterationsSmall)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();

    viewer.reset();
    poster.reset();
    network.reset();
    service.reset();
    return failed ? 1 : 0;
}
