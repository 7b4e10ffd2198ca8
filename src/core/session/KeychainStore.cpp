#include "core/session/KeychainStore.h"

#include <QCoroSignal>
#include <QScopedPointer>
#include <qt6keychain/keychain.h>

#include <memory>

namespace lumora {

namespace KeychainStore {

namespace {

// Starts `job` and waits for it without a nested event loop.
template <class Job>
QCoro::Task<std::unique_ptr<Job, QScopedPointerDeleteLater>> run(Job* rawJob, QString account) {
    std::unique_ptr<Job, QScopedPointerDeleteLater> job(rawJob);
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(account);
    auto finished = qCoro(job.get(), &QKeychain::Job::finished);
    job->start();
    co_await finished;
    co_return job;
}

QCoro::Task<> remove(QString account) {
    auto removing = run(new QKeychain::DeletePasswordJob(QString::fromLatin1(serviceName)), account);
    co_await removing; // a missing item, or any other failure, is ignored
}

QCoro::Task<APIResult<void>> save(QString account, QString value) {
    auto removing = remove(account);
    co_await removing;
    auto* write = new QKeychain::WritePasswordJob(QString::fromLatin1(serviceName));
    write->setTextData(value);
    auto writing = run(write, account);
    const auto job = co_await writing;
    if (job->error() != QKeychain::NoError)
        co_return std::unexpected(APIClientError::secretStore(job->errorString()));
    co_return APIResult<void>{};
}

QCoro::Task<std::optional<QString>> load(QString account) {
    auto reading = run(new QKeychain::ReadPasswordJob(QString::fromLatin1(serviceName)), account);
    const auto job = co_await reading;
    if (job->error() != QKeychain::NoError)
        co_return std::nullopt;
    co_return job->textData();
}

} // namespace

QCoro::Task<APIResult<void>> saveAccessToken(QString token) {
    return save(QString::fromLatin1(accessTokenAccount), std::move(token));
}

QCoro::Task<APIResult<void>> saveRefreshToken(QString token) {
    return save(QString::fromLatin1(refreshTokenAccount), std::move(token));
}

QCoro::Task<APIResult<void>> saveTokenOrigin(QString origin) {
    return save(QString::fromLatin1(tokenOriginAccount), std::move(origin));
}

QCoro::Task<std::optional<QString>> loadAccessToken() {
    return load(QString::fromLatin1(accessTokenAccount));
}

QCoro::Task<std::optional<QString>> loadRefreshToken() {
    return load(QString::fromLatin1(refreshTokenAccount));
}

QCoro::Task<std::optional<QString>> loadTokenOrigin() {
    return load(QString::fromLatin1(tokenOriginAccount));
}

QCoro::Task<> clearTokens() {
    auto access = remove(QString::fromLatin1(accessTokenAccount));
    co_await access;
    auto refresh = remove(QString::fromLatin1(refreshTokenAccount));
    co_await refresh;
    auto origin = remove(QString::fromLatin1(tokenOriginAccount));
    co_await origin;
}

} // namespace KeychainStore

} // namespace lumora
