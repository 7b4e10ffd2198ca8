#include "core/conversations/InboxViewModel.h"

#include "core/api/APIEndpoint.h"

#include "core/conversations/DateTexts.h"

#include "core/conversations/DisplayTexts.h"
#include "core/settings/TextCatalogue.h"

#include <QDateTime>
#include <QPointer>

#include <QCoroSignal>

#include <climits>
#include <utility>

namespace lumora {

namespace {

QList<QString> idsOf(const QList<ConversationDTO>& list) {
    QList<QString> ids;
    ids.reserve(list.size());
    for (const ConversationDTO& c : list)
        ids.append(c.id);
    return ids;
}

ConversationDTO placeholder(const char* id, Instant updatedAt, std::int64_t unread, UserDTO peer,
                            const char* messageId, QString body) {
    ConversationDTO c;
    c.id = QString::fromLatin1(id);
    c.updatedAt = updatedAt;
    c.unreadCount = unread;
    c.lastMessage =
        MessageSummaryDTO{QString::fromLatin1(messageId), std::move(body), peer.id, updatedAt, std::nullopt};
    c.peer = std::move(peer);
    return c;
}

UserDTO sampleUser(const char* id, const char* username, QString displayName, const char* country,
                   bool verified) {
    UserDTO u;
    u.id = QString::fromLatin1(id);
    u.username = QString::fromLatin1(username);
    u.displayName = std::move(displayName);
    u.countryCode = QString::fromLatin1(country);
    u.verified = verified;
    return u;
}

} // namespace

InboxViewModel::InboxViewModel(APIClient* api, QObject* parent)
    : QAbstractListModel(parent)
    , m_api(api) {}

const QList<ConversationDTO>& InboxViewModel::placeholders() {
    static const QList<ConversationDTO> list = [] {
        const auto now =
            std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
        using std::chrono::seconds;
        return QList{
            placeholder("demo-1", now - seconds(3600), 2,
                        sampleUser("u2", "salma", QStringLiteral("سلمى"), "SA", true), "m1",
                        QStringLiteral("مرحباً — هل التطبيق جاهز؟")),
            placeholder("demo-2", now - seconds(86400), 0,
                        sampleUser("u3", "omar", QStringLiteral("Omar"), "AE", false), "m2",
                        QStringLiteral("Sending the design notes.")),
        };
    }();
    return list;
}

void InboxViewModel::setCurrentUserId(const QString& id) {
    if (id == m_currentUserId)
        return;
    m_currentUserId = id;
    if (!m_conversations.isEmpty())
        Q_EMIT dataChanged(index(0), index(count() - 1),
                           {TitleRole, PeerNameRole, PeerCountryCodeRole, PeerVerifiedRole});
    Q_EMIT currentUserIdChanged();
}

QCoro::Task<> InboxViewModel::load() {
    auto fetching = fetch(true);
    co_await fetching;
}

QCoro::Task<> InboxViewModel::refresh() {
    auto fetching = fetch(false);
    co_await fetching;
}

QCoro::Task<> InboxViewModel::fetch(bool shown) {
    if (shown)
        setLoading(true);
    if (m_inFlight) {
        // The request under way answers for this one too, and ends the busy state. (The model lives
        // as long as the application: a wait cut short by its end does not matter.)
        co_await qCoro(this, &InboxViewModel::requestEnded);
        co_return;
    }
    m_inFlight = true;
    QPointer<InboxViewModel> self(this);
    const quint64 generation = m_generation;
    if (shown)
        setError(std::nullopt);
    // Once the rows came from the service, asking again costs nothing while they are unchanged.
    // Rows kept from the last run with the service's tag are asked about the same way.
    auto asking = m_api->conversations(
        m_fromService || !m_keptTag.isEmpty() ? APIClient::Ask::IfChanged : APIClient::Ask::Whole, m_keptTag);
    auto reply = co_await asking;
    if (!self)
        co_return; // the model went away meanwhile
    if (generation != m_generation)
        co_return; // asked for someone who is no longer signed in
    m_inFlight = false;
    Q_EMIT requestEnded();
    if (reply) {
        setError(std::nullopt);
        if (*reply) {
            sortForInbox(**reply);
            setConversations(std::move(**reply));
            if (m_store)
                m_store->saveInbox(m_conversations, m_api->lastTag(APIEndpoint::conversations()));
        }
        if (*reply || !std::exchange(m_fromService, true))
            Q_EMIT snapshotArrived(); // new rows, or the kept ones confirmed
        m_fromService = true;
    } else {
        setError(reply.error());
        if (m_conversations.isEmpty())
            setConversations(placeholders());
    }
    setLoading(false);
    Q_EMIT loadFinished(reply.has_value());
}

void InboxViewModel::setStore(LocalStore* store) {
    m_store = store;
    if (m_store && m_conversations.isEmpty()) {
        setConversations(m_store->inbox());
        if (!m_conversations.isEmpty())
            m_keptTag = m_store->inboxTag();
    }
}

void InboxViewModel::clear() {
    ++m_generation;
    if (std::exchange(m_inFlight, false))
        Q_EMIT requestEnded(); // whoever waits for it waits no more
    m_fromService = false;
    m_keptTag.clear();
    setConversations({});
    setError(std::nullopt);
    setLoading(false);
}

void InboxViewModel::setConversations(QList<ConversationDTO> conversations) {
    if (conversations == m_conversations)
        return;
    const int oldCount = count();
    if (idsOf(conversations) == idsOf(m_conversations)) {
        // Same rows in the same order: only their contents changed (a new last message, unread counts).
        m_conversations = std::move(conversations);
        Q_EMIT dataChanged(index(0), index(count() - 1));
    } else {
        beginResetModel();
        m_conversations = std::move(conversations);
        endResetModel();
    }
    if (count() != oldCount)
        Q_EMIT countChanged();
}

void InboxViewModel::setLoading(bool loading) {
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void InboxViewModel::setError(std::optional<APIClientError> error) {
    if (error == m_error)
        return;
    m_error = std::move(error);
    Q_EMIT errorMessageChanged();
}

int InboxViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant InboxViewModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ConversationDTO& c = m_conversations.at(index.row());
    const std::optional<QString> me =
        m_currentUserId.isEmpty() ? std::nullopt : std::optional(m_currentUserId);
    switch (role) {
    case IdRole:
        return c.id;
    case Qt::DisplayRole:
    case TitleRole:
        return displayTitle(c, me);
    case PreviewRole:
        return c.lastMessage ? c.lastMessage->body.value_or(QString()) : QString();
    case HasPreviewRole:
        return c.lastMessage && c.lastMessage->body.has_value();
    case UpdatedAtRole:
        return toDateTime(c.updatedAt);
    case TimeTextRole:
        return DateTexts::inboxTime(toDateTime(c.updatedAt), DateTexts::now());
    case FullTimeRole:
        return DateTexts::fullDateTime(toDateTime(c.updatedAt), DateTexts::now());
    case SpokenTextRole: {
        const auto peer = peerRef(c, me);
        const bool hasPreview = c.lastMessage && c.lastMessage->body.has_value();
        return spokenText(
            {displayTitle(c, me), peer && peer->verified ? catalogueText("verified") : QString(),
             c.unreadCount > 0
                 ? catalogueText("tray.unreadMessages", int(std::min<std::int64_t>(c.unreadCount, INT_MAX)))
                 : QString(),
             data(index, TimeTextRole).toString(),
             hasPreview ? *c.lastMessage->body : catalogueText("inbox.noMessages")});
    }
    case UnreadCountRole:
        return qint64(c.unreadCount);
    case PeerNameRole: {
        const auto peer = peerRef(c, me);
        if (!peer)
            return displayTitle(c, me);
        return resolvedDisplayName(*peer);
    }
    case PeerCountryCodeRole:
        return c.peer ? c.peer->countryCode.value_or(QString()) : QString();
    case PeerVerifiedRole: {
        const auto peer = peerRef(c, me);
        return peer && peer->verified;
    }
    default:
        return {};
    }
}

int InboxViewModel::nextStartingWith(const QString& text, int after) const {
    const int rows = count();
    for (int step = 1; step <= rows; ++step) {
        const int row = (after + step) % rows;
        if (data(index(row), TitleRole).toString().startsWith(text, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

void InboxViewModel::refreshLocaleTexts() {
    if (!m_conversations.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_conversations.size()) - 1),
                           {TimeTextRole, FullTimeRole, SpokenTextRole});
}

QHash<int, QByteArray> InboxViewModel::roleNames() const {
    return {{IdRole, "conversationId"},
            {TitleRole, "title"},
            {PreviewRole, "preview"},
            {UpdatedAtRole, "updatedAt"},
            {UnreadCountRole, "unreadCount"},
            {PeerNameRole, "peerName"},
            {PeerCountryCodeRole, "peerCountryCode"},
            {PeerVerifiedRole, "peerVerified"},
            {HasPreviewRole, "hasPreview"},
            {TimeTextRole, "timeText"},
            {FullTimeRole, "fullTime"},
            {SpokenTextRole, "spokenText"}};
}

} // namespace lumora
