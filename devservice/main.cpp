#include "Commands.h"
#include "Crypto.h"
#include "GuardedServer.h"
#include "MediaFiles.h"
#include "Options.h"
#include "Routes.h"
#include "Schema.h"
#include "Seed.h"
#include "Store.h"

#include <httplib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pthread.h>
#include <thread>

using namespace lumora::devservice;
namespace fs = std::filesystem;

namespace {

fs::path defaultDataDirectory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && fs::path(xdg).is_absolute())
        return fs::path(xdg) / "lumora-devservice";
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        throw std::runtime_error("Neither XDG_DATA_HOME nor HOME is set; pass --db");
    return fs::path(home) / ".local/share/lumora-devservice";
}

// Creates the folder the database goes in, private to the user when it is new.
std::string databasePath(const Options& options) {
    if (options.database == ":memory:")
        return *options.database;
    const fs::path path =
        options.database ? fs::path(*options.database) : defaultDataDirectory() / "lumora.db";
    if (path.has_parent_path() && !fs::exists(path.parent_path())) {
        fs::create_directories(path.parent_path());
        fs::permissions(path.parent_path(), fs::perms::owner_all);
    }
    return path.string();
}

// An in-memory database gets a fresh media folder that goes away with it.
fs::path mediaPath(const Options& options, const std::string& database, bool& temporary) {
    temporary = false;
    if (options.mediaDirectory)
        return *options.mediaDirectory;
    if (database != ":memory:")
        return fs::absolute(database).parent_path() / "media";
    std::string pattern = (fs::temp_directory_path() / "lumora-devservice-media-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("Cannot create a temporary media folder");
    temporary = true;
    return pattern;
}

std::string urlHost(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

int serve(Store& store, const MediaFiles& media, const Options& options) {
    if (options.seed && !seedDemoData(store, media, currentInstant()))
        std::printf("The database already has accounts; --seed added nothing.\n");

    GuardedServer server(GuardedServer::Limits{std::chrono::seconds(options.requestDeadlineSeconds)});
    installRoutes(server, store, media,
                  ServiceConfig{options.envelope, options.maxUploadBytes, options.quiet,
                                options.requestDeadlineSeconds});

    // Signals are taken by one thread of our own, so a stop closes the database cleanly. Blocked
    // before the server starts its workers, which inherit the mask.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGUSR1})
        sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const int port = options.port == 0
                         ? server.bind_to_any_port(options.host)
                         : (server.bind_to_port(options.host, options.port) ? options.port : -1);
    if (port < 0) {
        std::fprintf(stderr, "lumora-devservice: cannot listen on %s port %d\n", options.host.c_str(),
                     options.port);
        return 1;
    }
    if (!server.raiseBacklog())
        std::fprintf(
            stderr, "lumora-devservice: cannot raise the listen backlog; bursts of clients may be refused\n");
    std::printf("Lumora reference service listening on http://%s:%d\n", urlHost(options.host).c_str(), port);
    std::fflush(stdout);

    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
    });
    const bool ok = server.listen_after_bind();
    pthread_kill(waiter.native_handle(), SIGUSR1); // wakes the waiter when the server ended by itself
    waiter.join();
    return ok ? 0 : 1;
}

int run(const Options& options) {
    initCrypto();
    const std::string database = databasePath(options);
    Database db(database);
    prepareDatabase(db);
    Store store(db);
    switch (options.command) {
    case Options::Command::addUser:
        return runAddUser(store, options);
    case Options::Command::addConversation:
        return runAddConversation(store, options);
    case Options::Command::serve:
    case Options::Command::help:
        break;
    }
    bool temporaryMedia = false;
    const MediaFiles media(mediaPath(options, database, temporaryMedia));
    if (!options.quiet)
        std::printf("Database: %s\nMedia files: %s\n", database.c_str(), media.directory().c_str());
    const int status = serve(store, media, options);
    if (temporaryMedia)
        fs::remove_all(media.directory());
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const auto options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "lumora-devservice: %s\n\n%s", options.error().c_str(), usageText);
        return 2;
    }
    if (options->command == Options::Command::help) {
        std::fputs(usageText, stdout);
        return 0;
    }
    try {
        return run(*options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumora-devservice: %s\n", error.what());
        return 1;
    }
}
