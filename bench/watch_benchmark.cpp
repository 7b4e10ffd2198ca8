// The watch against the real reference service, with a 50-conversation inbox:
// - IdleCost: this process's CPU while the watch keeps the inbox fresh and nothing changes, beside an
//   idle event loop (the floor), over the same time;
// - InboxAsk: one ask for the list, whole (as every ask was before tags) and conditional (unchanged);
// - MessageToNotification: from a message stored on the service to the notification server's Notify
//   call, with the product's ten-second interval (goal: the interval + 200 ms);
// - RssGrowth: the resident memory the watch adds while a message arrives every interval.
// The service is a separate process: its CPU time is not counted. --short runs a few minutes' worth
// in under two (CI); without it, IdleCost runs 60 s and RssGrowth an hour.

#include "BenchService.h"
#include "ProcessCpu.h"
#include "RecordingNotifications.h"
#include "core/conversations/InboxViewModel.h"
#include "core/conversations/InboxWatch.h"
#include "core/desktop/DesktopNotifications.h"
#include "core/desktop/MessageNotifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <QCoroSignal>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

constexpr int conversationCount = 50;
const QString viewerName = QStringLiteral("rania");
const QString posterName = QStringLiteral("amina");
const QString password = QStringLiteral("watch-bench-password");

struct Lengths {
    std::chrono::milliseconds idle{60'000};
    int notifications = 6;
    std::chrono::milliseconds rssInterval{10'000};
    std::chrono::milliseconds rssRun{3'600'000};
};
Lengths lengths;

std::unique_ptr<bench::Service> service;
std::unique_ptr<APIClient> viewer, poster;
QString viewerId;
QStringList conversationIds;

} // namespace

[[noreturn]] void lumora::bench::fail(const QString& what) {
    std::fprintf(stderr, "lumora-bench-watch: %s\n", qUtf8Printable(what));
    service.reset();
    std::exit(1);
}

namespace {

void ensureService() {
    if (service)
        return;
    service = std::make_unique<bench::Service>();
    for (const QString& name : {viewerName, posterName})
        service->command({QStringLiteral("add-user"), name}, password.toUtf8() + '\n');
    for (int i = 0; i < conversationCount; ++i)
        conversationIds.append(QString::fromUtf8(
            service->command({QStringLiteral("add-conversation"), viewerName, posterName,
                              QStringLiteral("--title"), QStringLiteral("Topic %1").arg(i + 1)})));
    service->start();
    viewer = std::make_unique<APIClient>();
    poster = std::make_unique<APIClient>();
    bench::signIn(*viewer, viewerName, password);
    bench::signIn(*poster, posterName, password);
    auto me = QCoro::waitFor(viewer->me());
    if (!me)
        bench::fail(QStringLiteral("who am I: ") + me.error().text());
    viewerId = me->id;
    // A message from each side in each conversation, all read: a lived-in inbox.
    for (const QString& id : std::as_const(conversationIds)) {
        QCoro::waitFor(poster->sendMessage(id, QStringLiteral("Hello from amina"), std::nullopt));
        QCoro::waitFor(viewer->sendMessage(id, QStringLiteral("Hello from rania"), std::nullopt));
    }
}

double residentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(getpagesize()) / 1024.0 : 0;
}

void runFor(std::chrono::milliseconds span) {
    QTimer::singleShot(span, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// What the client runs while signed in: the inbox, its watch and the notifier.
struct Watching {
    InboxViewModel inbox{viewer.get()};
    InboxWatch watch{&inbox};
    DesktopNotifications desktop;
    MessageNotifier notifier{&desktop};

    explicit Watching(std::chrono::milliseconds interval) {
        inbox.setCurrentUserId(viewerId);
        notifier.setCurrentUserId(viewerId);
        watch.setIntervals(interval, 300s);
        QObject::connect(&watch, &InboxWatch::arrived, &notifier,
                         [this](const QList<Arrival>& arrivals) { notifier.tell(arrivals); });
        watch.start();
        QCoro::waitFor(qCoro(&inbox, &InboxViewModel::snapshotArrived));
    }
};

void idleCost(benchmark::State& state, bool watching) {
    ensureService();
    std::unique_ptr<Watching> watch = watching ? std::make_unique<Watching>(10s) : nullptr;
    int asks = 0;
    if (watch)
        QObject::connect(&watch->inbox, &InboxViewModel::loadFinished, [&asks] { ++asks; });
    for (auto _ : state) {
        const double cpu0 = bench::processCpuSeconds();
        runFor(lengths.idle);
        const double cpu = bench::processCpuSeconds() - cpu0;
        state.SetIterationTime(cpu);
        state.counters["cpu_pct_of_core"] = 100.0 * cpu / (double(lengths.idle.count()) / 1000.0);
        state.counters["asks"] = asks;
        state.counters["seconds"] = double(lengths.idle.count()) / 1000.0;
    }
}

void inboxAsk(benchmark::State& state, APIClient::Ask ask) {
    ensureService();
    QCoro::waitFor(viewer->conversations(APIClient::Ask::Whole)); // primes the tag
    for (auto _ : state) {
        const double cpu0 = bench::processCpuSeconds();
        auto asking = viewer->conversations(ask);
        const auto reply = QCoro::waitFor(asking);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.SetIterationTime(bench::processCpuSeconds() - cpu0);
        if (!reply || (ask == APIClient::Ask::IfChanged) == reply->has_value()) {
            state.SkipWithError("the ask did not answer as expected");
            return;
        }
    }
}

void messageToNotification(benchmark::State& state) {
    ensureService();
    RecordingNotifications server({QStringLiteral("body"), QStringLiteral("actions")});
    if (!server.registered) {
        state.SkipWithError("no session bus to put a notification server on (run it in dbus-run-session)");
        return;
    }
    Watching watching(10s);
    std::vector<double> latencies;
    for (auto _ : state) {
        for (int i = 0; i < lengths.notifications; ++i) {
            const qsizetype shown = server.shown.size();
            // Any moment of the interval: a message does not wait for the watch.
            runFor(std::chrono::milliseconds(1000 + 1700 * i % 9000));
            auto sending = poster->sendMessage(conversationIds.at(i % conversationIds.size()),
                                               QStringLiteral("Message %1").arg(i), std::nullopt);
            QCoro::waitFor(sending);
            QElapsedTimer stored;
            stored.start();
            while (server.shown.size() == shown && stored.elapsed() < 30'000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            latencies.push_back(double(stored.elapsed()));
        }
        state.SetIterationTime(*std::max_element(latencies.begin(), latencies.end()) / 1000.0);
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
    state.counters["goal_ms"] = 10'000 + 200;
}

void rssGrowth(benchmark::State& state) {
    ensureService();
    RecordingNotifications server({QStringLiteral("body"), QStringLiteral("actions")});
    Watching watching(lengths.rssInterval);
    int sent = 0;
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, [&sent] {
        poster->sendMessage(conversationIds.at(sent % conversationIds.size()),
                            QStringLiteral("Tick %1").arg(sent), std::nullopt);
        ++sent;
    });
    sender.start(lengths.rssInterval);
    runFor(lengths.rssInterval * 10); // warm: the first messages fill caches that then stay
    for (auto _ : state) {
        const double before = residentKiB();
        runFor(lengths.rssRun);
        const double after = residentKiB();
        state.SetIterationTime(double(lengths.rssRun.count()) / 1000.0);
        state.counters["rss_start_MiB"] = before / 1024.0;
        state.counters["rss_growth_KiB"] = after - before;
        state.counters["messages"] = sent;
        state.counters["notifications"] = double(server.shown.size());
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0)
            lengths = {20s, 3, 200ms, 30s};
        else
            args.push_back(argv[i]);
    }
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    const auto once = [](benchmark::internal::Benchmark* b) {
        b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    };
    once(benchmark::RegisterBenchmark("IdleCost/floor", idleCost, false));
    once(benchmark::RegisterBenchmark("IdleCost/watch", idleCost, true));
    benchmark::RegisterBenchmark("InboxAsk/whole", inboxAsk, APIClient::Ask::Whole)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(2);
    benchmark::RegisterBenchmark("InboxAsk/ifChanged", inboxAsk, APIClient::Ask::IfChanged)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(2);
    once(benchmark::RegisterBenchmark("MessageToNotification", messageToNotification));
    once(benchmark::RegisterBenchmark("RssGrowth", rssGrowth));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    service.reset();
    return 0;
}
