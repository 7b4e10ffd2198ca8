#include "Routes.h"

#include "Crypto.h"
#include "GuardedServer.h"
#include "HttpReplies.h"
#include "RequestBody.h"
#include "Validation.h"
#include "wire/WireEncode.h"

#include <QJsonArray>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

namespace lumora::devservice {

namespace {

using httplib::Request;
using httplib::Response;

// Multipart headers and boundaries around the file itself.
constexpr std::int64_t multipartAllowance = 64 * 1024;

// How much of a stored file one read hands to the connection.
constexpr size_t downloadPiece = 64 * 1024;

// The bytes of a file that a download sends: all of it, or the one range asked for.
struct Span {
    std::uint64_t first = 0;
    std::uint64_t length = 0;
    bool partial = false;
};

// The span that `ranges` (as httplib parsed a Range header: -1 for an end left out) select from a
// file of `size` bytes, or nothing when they select none of it. Several ranges get the whole file:
// allowed, and simpler for everyone than multipart/byteranges.
std::optional<Span> requestedSpan(const httplib::Ranges& ranges, std::uint64_t size) {
    const Span whole{0, size, false};
    if (ranges.size() != 1)
        return whole;
    const auto [first, last] = ranges.front();
    if (first < 0 && last < 0) // "bytes=-", which asks for nothing in particular
        return whole;
    if (first < 0) { // the last `last` bytes
        const auto length = std::min(std::uint64_t(last), size);
        if (length == 0)
            return std::nullopt;
        return Span{size - length, length, true};
    }
    if (std::uint64_t(first) >= size)
        return std::nullopt;
    // A last position past the end means up to the end.
    const std::uint64_t end = last < 0 ? size : std::min(std::uint64_t(last) + 1, size);
    return Span{std::uint64_t(first), end - std::uint64_t(first), true};
}

// Names the reply by `tag`; answers 304 with no body when the request's If-None-Match lists it (or is
// "*"). A GET compares weakly, so a W/ prefix does not matter.
bool notModified(const Request& req, Response& res, const QByteArray& tag) {
    res.set_header("ETag", tag.toStdString());
    const QByteArray header = QByteArray::fromStdString(req.get_header_value("If-None-Match"));
    for (QByteArray candidate : header.split(',')) {
        candidate = candidate.trimmed();
        if (candidate.startsWith("W/"))
            candidate = candidate.mid(2);
        if (candidate == "*" || candidate == tag) {
            res.status = 304;
            return true;
        }
    }
    return false;
}

class Routes {
public:
    Routes(Store& store, const MediaFiles& media, ServiceConfig config)
        : m_store(store)
        , m_media(media)
        , m_config(config) {}

    void install(httplib::Server& server, const std::shared_ptr<Routes>& self);

private:
    using Handler = void (Routes::*)(const Request&, Response&);
    using ReadingHandler = void (Routes::*)(const Request&, Response&, const httplib::ContentReader&);
    httplib::Server::Handler guarded(const std::shared_ptr<Routes>& self, Handler handler);
    httplib::Server::HandlerWithContentReader guarded(const std::shared_ptr<Routes>& self,
                                                      ReadingHandler handler);

    bool admit(const Request& req, Response& res);
    void replyCutOff(GuardedServer::Cut cut, Response& res);
    Session authenticate(const Request& req);
    void reply(Response& res, int status, const QJsonValue& value) {
        replyJson(res, status, value, m_config.envelope);
    }
    QString tooLargeMessage() const {
        return QStringLiteral("The file is larger than the upload limit of %1 bytes")
            .arg(m_config.maxUploadBytes);
    }

    void login(const Request& req, Response& res);
    void me(const Request& req, Response& res);
    void changePassword(const Request& req, Response& res);
    void updateProfile(const Request& req, Response& res);
    void conversations(const Request& req, Response& res);
    void messages(const Request& req, Response& res);
    void sendMessage(const Request& req, Response& res);
    void upload(const Request& req, Response& res, const httplib::ContentReader& readBody);
    void download(const Request& req, Response& res);

    void log(const Request& req, const Response& res);

    Store& m_store;
    const MediaFiles& m_media;
    ServiceConfig m_config;
    std::mutex m_logMutex;
};

// Each request is served start to end on one worker thread.
thread_local std::chrono::steady_clock::time_point requestStart;

void Routes::install(httplib::Server& server, const std::shared_ptr<Routes>& self) {
    server.Post("/auth/login", guarded(self, &Routes::login));
    server.Get("/auth/me", guarded(self, &Routes::me));
    server.Post("/auth/change-password", guarded(self, &Routes::changePassword));
    server.Patch("/users/me", guarded(self, &Routes::updateProfile));
    server.Get("/conversations", guarded(self, &Routes::conversations));
    server.Get("/conversations/([^/]+)/messages", guarded(self, &Routes::messages));
    server.Post("/conversations/([^/]+)/messages", guarded(self, &Routes::sendMessage));
    server.Post("/media/upload", guarded(self, &Routes::upload));
    server.Get("/media/([^/]+)", guarded(self, &Routes::download));

    server.set_payload_max_length(size_t(m_config.maxUploadBytes + multipartAllowance));
    // Both run once the head has arrived and before any of the body is read.
    server.set_expect_100_continue_handler([self](const Request& req, Response& res) {
        requestStart = std::chrono::steady_clock::now();
        return self->admit(req, res) ? 100 : res.status;
    });
    server.set_pre_routing_handler([self](const Request& req, Response& res) {
        requestStart = std::chrono::steady_clock::now();
        return self->admit(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                     : httplib::Server::HandlerResponse::Handled;
    });
    // Called for every status from 400 up; fills in only what httplib itself refused.
    server.set_error_handler([self](const Request& req, Response& res) {
        if (const auto cut = GuardedServer::cutOff(); cut != GuardedServer::Cut::none)
            self->replyCutOff(cut, res);
        else if (!res.body.empty())
            return;
        else if (res.status == 404)
            replyError(
                res, 404,
                QStringLiteral("No such endpoint: %1 %2")
                    .arg(QString::fromStdString(req.method), QString::fromStdString(printable(req.path))));
        else if (res.status == 413)
            replyError(res, 413,
                       req.path == "/media/upload" ? self->tooLargeMessage()
                                                   : QStringLiteral("The request body is too large"));
        else
            replyError(res, res.status, statusText(res.status));
    });
    if (!m_config.quiet)
        server.set_logger([self](const Request& req, const Response& res) { self->log(req, res); });
}

// Runs `handle`, turning what it throws into the JSON error reply.
template <class Handle> void answer(const Request& req, Response& res, Handle&& handle) {
    try {
        handle();
    } catch (const HttpError& error) {
        replyError(res, error.status(), error.message());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Internal error on %s %s: %s\n", req.method.c_str(), printable(req.path).c_str(),
                     error.what());
        replyError(res, 500, QStringLiteral("Internal server error"));
    }
}

httplib::Server::Handler Routes::guarded(const std::shared_ptr<Routes>& self, Handler handler) {
    return [self, handler](const Request& req, Response& res) {
        answer(req, res, [&] { (self.get()->*handler)(req, res); });
    };
}

httplib::Server::HandlerWithContentReader Routes::guarded(const std::shared_ptr<Routes>& self,
                                                          ReadingHandler handler) {
    return [self, handler](const Request& req, Response& res, const httplib::ContentReader& reader) {
        answer(req, res, [&] { (self.get()->*handler)(req, res, reader); });
    };
}

bool Routes::admit(const Request& req, Response& res) {
    const auto length = admittedBodyLength(req, std::uint64_t(m_config.maxUploadBytes + multipartAllowance));
    if (length) {
        GuardedServer::allowBody(*length);
        return true;
    }
    const int status = length.error().status();
    replyError(res, status,
               status == 413 && req.path == "/media/upload" ? tooLargeMessage() : length.error().message());
    GuardedServer::closeAfterReply(res);
    return false;
}

void Routes::replyCutOff(GuardedServer::Cut cut, Response& res) {
    if (cut == GuardedServer::Cut::deadline)
        replyError(res, 408,
                   QStringLiteral("The request did not arrive within %1 seconds")
                       .arg(m_config.requestDeadlineSeconds));
    else
        replyError(res, 431, QStringLiteral("The request line and headers are too long"));
    GuardedServer::closeAfterReply(res);
}

void Routes::log(const Request& req, const Response& res) {
    const auto elapsed = std::chrono::steady_clock::now() - requestStart;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    // The path only: no query, headers or body, so no password or token reaches the log.
    std::lock_guard lock(m_logMutex);
    std::printf("%s %s %d %lldms\n", printable(req.method).c_str(), printable(req.path).c_str(), res.status,
                static_cast<long long>(ms));
    std::fflush(stdout);
}

Session Routes::authenticate(const Request& req) {
    const std::string header = req.get_header_value("Authorization");
    const std::string scheme = "bearer ";
    if (header.size() > scheme.size() && strncasecmp(header.c_str(), scheme.c_str(), scheme.size()) == 0) {
        const QString token = QString::fromUtf8(header.substr(scheme.size())).trimmed();
        if (auto session = m_store.session(token, currentInstant()))
            return *session;
    }
    throw HttpError(401, QStringLiteral("Missing, unknown or expired access token"));
}

void Routes::login(const Request& req, Response& res) {
    const auto request = decodeBody<LoginRequest>(req);
    // An unknown user costs the same hashing work as a wrong password, so timing reveals no usernames.
    static const std::string decoyHash = hashPassword(randomToken());
    const auto stored = m_store.userByName(request.username);
    const bool matches = verifyPassword(stored ? stored->passwordHash : decoyHash, request.password);
    if (!stored || !matches)
        throw HttpError(401, QStringLiteral("Wrong username or password"));
    const auto tokens = m_store.openSession(stored->user.id, currentInstant());
    reply(res, 200, toJson(LoginResponse{tokens, stored->user}));
}

void Routes::me(const Request& req, Response& res) {
    const Session session = authenticate(req);
    const auto stored = m_store.userById(session.userId);
    if (!stored)
        throw HttpError(401, QStringLiteral("The account no longer exists"));
    reply(res, 200, toJson(stored->user));
}

void Routes::changePassword(const Request& req, Response& res) {
    const Session session = authenticate(req);
    const auto request = decodeBody<ChangePasswordRequest>(req);
    const auto stored = m_store.userById(session.userId);
    if (!stored)
        throw HttpError(401, QStringLiteral("The account no longer exists"));
    if (!verifyPassword(stored->passwordHash, request.currentPassword))
        throw HttpError(403, QStringLiteral("The current password is not correct"));
    if (const auto problem = passwordProblem(request.newPassword))
        throw HttpError(400, *problem);
    m_store.changePassword(session, hashPassword(request.newPassword), currentInstant());
    res.status = 204;
}

void Routes::updateProfile(const Request& req, Response& res) {
    const Session session = authenticate(req);
    auto changes = decodeBody<UpdateProfileRequest>(req);
    if (changes.displayName) {
        changes.displayName = changes.displayName->trimmed();
        if (codePointCount(*changes.displayName) > maxDisplayNameLength)
            throw HttpError(
                400, QStringLiteral("displayName must be at most %1 characters").arg(maxDisplayNameLength));
        if (hasControlCharacters(*changes.displayName))
            throw HttpError(400, QStringLiteral("displayName must not contain control characters"));
    }
    if (changes.bio && codePointCount(*changes.bio) > maxBioLength)
        throw HttpError(400, QStringLiteral("bio must be at most %1 characters").arg(maxBioLength));
    if (changes.countryCode) {
        changes.countryCode = normalisedCountryCode(changes.countryCode->trimmed());
        if (!changes.countryCode)
            throw HttpError(400, QStringLiteral("countryCode must be two letters, such as EG, or empty"));
    }
    if (changes.avatarUrl && !changes.avatarUrl->isEmpty() && !isAcceptableAvatarUrl(*changes.avatarUrl))
        throw HttpError(400, QStringLiteral("avatarUrl must be an http(s) URL or a /media/ path"));
    reply(res, 200, toJson(m_store.updateProfile(session.userId, changes, currentInstant())));
}

void Routes::conversations(const Request& req, Response& res) {
    const Session session = authenticate(req);
    // The tag is taken before the list is read: a change in between costs one more 200, never a 304
    // that hides it.
    if (notModified(req, res, m_store.conversationsTag(session.userId)))
        return;
    QJsonArray list;
    for (const ConversationDTO& conversation : m_store.conversations(session.userId))
        list.append(conversationJson(conversation));
    reply(res, 200, list);
}

void Routes::messages(const Request& req, Response& res) {
    const Session session = authenticate(req);
    const QString conversationId = QString::fromStdString(req.matches[1]);
    if (notModified(req, res, m_store.messagesTag(session.userId, conversationId))) {
        m_store.markRead(session.userId, conversationId); // every fetch reads the conversation
        return;
    }
    QJsonArray list;
    for (const MessageDTO& message : m_store.readMessages(session.userId, conversationId))
        list.append(messageJson(message));
    reply(res, 200, list);
}

void Routes::sendMessage(const Request& req, Response& res) {
    const Session session = authenticate(req);
    const auto request = decodeBody<SendMessageRequest>(req);
    std::optional<QString> body = request.body;
    if (body && body->trimmed().isEmpty())
        body.reset();
    if (body && codePointCount(*body) > maxMessageLength)
        throw HttpError(400, QStringLiteral("body must be at most %1 characters").arg(maxMessageLength));
    const auto attachments = request.attachments.value_or(QList<AttachmentInputDTO>{});
    if (!body && attachments.isEmpty())
        throw HttpError(400, QStringLiteral("A message needs a non-empty body or at least one attachment"));
    if (attachments.size() > maxAttachmentsPerMessage)
        throw HttpError(400,
                        QStringLiteral("At most %1 attachments per message").arg(maxAttachmentsPerMessage));
    QStringList mediaIds;
    for (qsizetype i = 0; i < attachments.size(); ++i) {
        const auto id = mediaIdFromUrl(attachments[i].url);
        if (!id)
            throw HttpError(
                400, QStringLiteral("attachments[%1].url is not a /media/ URL of this service").arg(i));
        mediaIds.append(*id);
    }
    // Name, type and size come from what was uploaded, not from what the request claims.
    const MessageDTO sent = m_store.addMessage(session.userId, QString::fromStdString(req.matches[1]), body,
                                               mediaIds, currentInstant());
    reply(res, 201, messageJson(sent));
}

void Routes::upload(const Request& req, Response& res, const httplib::ContentReader& readBody) {
    // The file goes to disk as it arrives, so the service holds none of it in memory, and an
    // oversized one is refused as soon as it passes the limit.
    const QString needsFilePart = QStringLiteral("Expected multipart/form-data with a part named \"file\"");
    struct {
        std::optional<MediaFiles::Incoming> file; // the first part named "file"
        QString name;
        QString type;
        std::int64_t size = 0;
        bool reading = false; // the part now arriving is that one
        std::exception_ptr failure;
    } in;
    bool readWhole = false;
    try {
        const Session session = authenticate(req);
        if (!req.is_multipart_form_data())
            throw HttpError(400, needsFilePart);
        const QString id = randomId();
        // Nothing may be thrown through httplib's reading: a failure is kept and stops the reading.
        const auto step = [&](auto&& work) {
            try {
                work();
                return true;
            } catch (...) {
                in.failure = std::current_exception();
                return false;
            }
        };
        readWhole = readBody(
            [&](const httplib::MultipartFormData& part) {
                return step([&] {
                    in.reading = part.name == "file" && !in.file;
                    if (!in.reading)
                        return;
                    in.name = decodeDispositionFileName(part.filename);
                    if (in.name.trimmed().isEmpty())
                        throw HttpError(400, QStringLiteral("The file part needs a file name"));
                    in.type = servableMimeType(part.content_type);
                    in.file.emplace(m_media, id);
                });
            },
            [&](const char* data, size_t length) {
                return step([&] {
                    if (!in.reading)
                        return; // other parts are read past
                    in.size += std::int64_t(length);
                    if (in.size > m_config.maxUploadBytes)
                        throw HttpError(413, tooLargeMessage());
                    in.file->append(std::string_view(data, length));
                });
            });
        if (in.failure)
            std::rethrow_exception(in.failure);
        // A cut-off request (the deadline, say) ends up here too; the error handler names it.
        if (!readWhole)
            throw HttpError(400, QStringLiteral("The multipart body is malformed or incomplete"));
        if (!in.file)
            throw HttpError(400, needsFilePart);

        const MediaRecord record{id, session.userId, in.name, in.type, in.size, currentInstant()};
        in.file->commit();
        try {
            m_store.addMedia(record);
        } catch (...) {
            m_media.remove(record.id);
            throw;
        }
        // The upload reply is never wrapped, even with --envelope: clients read it only in its bare form.
        replyJson(
            res, 201,
            toJson(UploadedFileMetaDTO{mediaUrl(record.id), record.mimeType, record.sizeBytes, in.name}),
            false);
    } catch (...) {
        // The rest of the body stays unread, and must not be taken for another request.
        if (!readWhole)
            GuardedServer::closeAfterReply(res);
        throw;
    }
}

void Routes::download(const Request& req, Response& res) {
    // No token: the id itself is the secret, 128 random bits, so images can be shown by URL.
    const QString id = QString::fromStdString(req.matches[1]);
    const auto record = isMediaId(id) ? m_store.media(id) : std::nullopt;
    const auto file = record ? m_media.open(id) : nullptr;
    if (!file)
        throw HttpError(404, QStringLiteral("No such file"));
    const std::uint64_t size = file->size();
    // If-Range must name a validator of this file to keep the range, and none is ever handed out.
    const auto span = req.has_header("If-Range") ? Span{0, size, false}
                                                 : requestedSpan(GuardedServer::requestedRanges(), size);
    if (!span) {
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        throw HttpError(416, QStringLiteral("The range lies outside the file's %1 bytes").arg(size));
    }

    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Content-Security-Policy", "sandbox");
    res.set_header("Cache-Control", "private, max-age=31536000, immutable");
    res.set_header("Accept-Ranges", "bytes");
    res.set_header("Content-Disposition", attachmentDisposition(record->fileName));
    const std::string type = record->mimeType.toStdString();
    res.status = span->partial ? 206 : 200;
    if (span->partial)
        res.set_header("Content-Range", "bytes " + std::to_string(span->first) + "-" +
                                            std::to_string(span->first + span->length - 1) + "/" +
                                            std::to_string(size));
    if (span->length == 0) { // an empty file; httplib takes a provider of nothing for one without a length
        res.set_content(std::string(), type);
        return;
    }
    // httplib asks for the bytes piece by piece as the connection takes them, and sends the
    // Content-Length of the span.
    res.set_content_provider(
        size_t(span->length), type,
        [file, first = span->first](size_t offset, size_t length, httplib::DataSink& sink) {
            std::vector<char> piece(std::min(length, downloadPiece));
            const auto n = file->readAt(first + offset, piece.data(), piece.size());
            // A file cut short since cannot keep its promised length: drop the connection.
            return n > 0 && sink.write(piece.data(), size_t(n));
        });
}

} // namespace

void installRoutes(httplib::Server& server, Store& store, const MediaFiles& media,
                   const ServiceConfig& config) {
    auto routes = std::make_shared<Routes>(store, media, config);
    routes->install(server, routes);
}

} // namespace lumora::devservice
