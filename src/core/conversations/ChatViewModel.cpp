#include "core/conversations/ChatViewModel.h"

#include "core/api/APIEndpoint.h"

#include "core/conversations/AttachmentThumbnails.h"
#include "core/conversations/DateTexts.h"
#include "core/conversations/DisplayTexts.h"
#include "core/conversations/MessageSender.h"
#include "core/settings/TextCatalogue.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QUuid>

#include <QCoroTimer>

#include <algorithm>

namespace lumora {

namespace {

Instant now() {
    return std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

// Oldest first; messages with the same time keep the service's order. Replies usually come sorted.
void sortByCreation(QList<MessageDTO>& list) {
    const auto older = [](const MessageDTO& a, const MessageDTO& b) { return a.createdAt < b.createdAt; };
    if (!std::is_sorted(list.cbegin(), list.cend(), older))
        std::stable_sort(list.begin(), list.end(), older);
}

// An unsent message's body as its bubble shows it: the text, else the file's name after a paperclip.
void showText(MessageDTO& message, const QString& text) {
    message.body.reset();
    message.body = text.isEmpty() ? displayBody(message) : text;
}

bool sameIds(const QList<MessageDTO>& a, const QList<MessageDTO>& b) {
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const MessageDTO& x, const MessageDTO& y) { return x.id == y.id; });
}

} // namespace

ChatViewModel::ChatViewModel(APIClient* api, ConversationDTO conversation, QObject* parent)
    : QAbstractListModel(parent)
    , m_api(api)
    , m_conversation(std::move(conversation)) {
    connect(&m_files, &AttachmentFiles::progressChanged, this, &ChatViewModel::announceProgress);
    m_draftSave.setSingleShot(true);
    m_draftSave.setInterval(500);
    connect(&m_draftSave, &QTimer::timeout, this, &ChatViewModel::saveDraft);
    for (auto changed : {&ChatViewModel::draftChanged, &ChatViewModel::pendingAttachmentNameChanged,
                         &ChatViewModel::pendingAttachmentURLChanged})
        connect(this, changed, this, [this] {
            if (m_store)
                m_draftSave.start();
        });
}

void ChatViewModel::setStore(LocalStore* store) {
    if (m_draftSave.isActive()) {
        m_draftSave.stop();
        saveDraft();
    }
    m_store = store;
    if (!m_store)
        return;
    if (m_messages.isEmpty()) {
        replaceMessages(m_store->messages(m_conversation.id)); // shown until the service answers
        if (!m_messages.isEmpty())
            m_keptTag = m_store->messagesTag(m_conversation.id);
    }
    for (const StoredDraft& draft : m_store->drafts()) {
        if (draft.conversationId != m_conversation.id)
            continue;
        setDraft(draft.text);
        setPendingAttachmentURL(draft.filePath ? std::optional(QUrl::fromLocalFile(*draft.filePath))
                                               : std::nullopt);
        setPendingAttachmentName(draft.fileName);
    }
    m_draftSave.stop(); // what was just restored is what is stored
    for (const StoredUnsent& kept : m_store->unsent()) {
        if (kept.conversationId != m_conversation.id || unsentIndex(kept.localId) >= 0)
            continue;
        // A message whose send the last run did not see end: it may or may not have arrived.
        Unsent unsent;
        unsent.state = SendState::failed;
        unsent.text = kept.text;
        unsent.filePath = kept.filePath;
        unsent.message.id = kept.localId;
        unsent.message.conversationId = kept.conversationId;
        unsent.message.senderId = kept.senderId;
        unsent.message.createdAt = kept.createdAt;
        unsent.message.attachmentName = kept.attachmentName;
        showText(unsent.message, kept.text);
        const int row = count();
        beginInsertRows({}, row, row);
        m_unsent.append(std::move(unsent));
        endInsertRows();
        Q_EMIT countChanged();
    }
}

void ChatViewModel::keepMessages() {
    if (m_store)
        m_store->saveMessages(m_conversation.id, m_messages,
                              m_api->lastTag(APIEndpoint::messages(m_conversation.id)));
}

void ChatViewModel::saveDraft() {
    if (!m_store)
        return;
    std::optional<QString> path;
    if (m_pendingAttachmentURL && m_pendingAttachmentURL->isLocalFile())
        path = m_pendingAttachmentURL->toLocalFile();
    m_store->saveDraft({m_conversation.id, m_draft, path, path ? m_pendingAttachmentName : std::nullopt});
}

void ChatViewModel::keepUnsent(qsizetype i) {
    if (!m_store)
        return;
    const Unsent& u = m_unsent.at(i);
    m_store->saveUnsent({u.message.id, m_conversation.id, u.message.senderId, u.text, u.filePath,
                         u.message.attachmentName, u.message.createdAt});
}

ChatViewModel::~ChatViewModel() = default;

APIClient::Ask ChatViewModel::whatToAsk() const {
    // Once the list came from the service (in this run, or kept with its tag from the last), asking
    // again costs nothing while it is unchanged; until then (nothing yet, or only the fallback) it is
    // asked for whole.
    return m_fromService || !m_keptTag.isEmpty() ? APIClient::Ask::IfChanged : APIClient::Ask::Whole;
}

QList<MessageDTO> ChatViewModel::unsentMessages() const {
    QList<MessageDTO> list;
    for (const Unsent& u : m_unsent)
        list.append(u.message);
    return list;
}

ChatViewModel::SendState ChatViewModel::sendState(const QString& localId) const {
    const qsizetype i = unsentIndex(localId);
    return i < 0 ? SendState::sent : m_unsent.at(i).state;
}

QCoro::Task<> ChatViewModel::load() {
    QPointer<ChatViewModel> self(this);
    setLoading(true);
    setError(std::nullopt);
    auto asking = m_api->messages(m_conversation.id, whatToAsk(), m_keptTag);
    auto reply = co_await asking;
    if (!self)
        co_return;
    if (reply) {
        m_fromService = true; // nothing new means the kept list still stands
        if (*reply) {
            sortByCreation(**reply);
            replaceMessages(std::move(**reply));
            keepMessages();
        }
    } else {
        setError(reply.error());
        if (m_messages.isEmpty() && m_conversation.lastMessage) {
            const MessageSummaryDTO& last = *m_conversation.lastMessage;
            MessageDTO fallback;
            fallback.id = last.id;
            fallback.conversationId = m_conversation.id;
            fallback.senderId = last.senderId;
            fallback.body = last.body;
            fallback.createdAt = last.createdAt;
            fallback.deletedAt = last.deletedAt;
            replaceMessages({fallback});
        }
    }
    setLoading(false);
}

QCoro::Task<> ChatViewModel::refreshQuietly() {
    QPointer<ChatViewModel> self(this);
    auto asking = m_api->messages(m_conversation.id, whatToAsk(), m_keptTag);
    auto reply = co_await asking;
    if (!self || !reply)
        co_return; // a failed poll shows nothing, the next one tries again
    m_fromService = true;
    if (!*reply)
        co_return; // unchanged
    sortByCreation(**reply);
    // Only a different sequence of ids counts: edits on the service do not redraw an open chat.
    if (!sameIds(**reply, m_messages)) {
        QSet<QString> known;
        for (const MessageDTO& m : std::as_const(m_messages))
            known.insert(m.id);
        replaceMessages(std::move(**reply));
        keepMessages();
        // The newest message someone else wrote since the last poll, for screen readers to hear.
        for (qsizetype row = m_messages.size() - 1; row >= 0; --row) {
            const MessageDTO& m = m_messages.at(row);
            if (known.contains(m.id))
                break;
            if (m.senderId != m_currentUserId) {
                Q_EMIT othersWrote(data(index(int(row)), SpokenTextRole).toString());
                break;
            }
        }
    }
}

void ChatViewModel::appear() {
    m_shown = true;
    // Hidden again before the load ended: no polling.
    QCoro::connect(load(), this, [this] {
        if (m_shown)
            startPolling();
    });
}

void ChatViewModel::disappear() {
    m_shown = false;
    stopPolling();
}

void ChatViewModel::refreshLocaleTexts() {
    if (count() > 0)
        Q_EMIT dataChanged(index(0), index(count() - 1),
                           {AttachmentSizeRole, TimeRole, FullTimeRole, DayRole, SpokenTextRole});
    // The list's section headings are not rows: they read again through the revision.
    ++m_textsRevision;
    Q_EMIT textsRevisionChanged();
}

QString ChatViewModel::dayHeading(const QString& day) const {
    return DateTexts::dayHeading(QDate::fromString(day, Qt::ISODate), DateTexts::now().date());
}

void ChatViewModel::setCurrentUserId(const QString& id) {
    if (id == m_currentUserId)
        return;
    m_currentUserId = id;
    if (count() > 0)
        Q_EMIT dataChanged(index(0), index(count() - 1), {IsMineRole});
    Q_EMIT currentUserIdChanged();
}

QString ChatViewModel::title() const {
    return displayTitle(m_conversation,
                        m_currentUserId.isEmpty() ? std::nullopt : std::optional(m_currentUserId));
}

QString ChatViewModel::peerCountryCode() const {
    return m_conversation.peer ? m_conversation.peer->countryCode.value_or(QString()) : QString();
}

bool ChatViewModel::peerVerified() const {
    const auto peer =
        peerRef(m_conversation, m_currentUserId.isEmpty() ? std::nullopt : std::optional(m_currentUserId));
    return peer && peer->verified;
}

void ChatViewModel::startPolling() {
    const bool was = m_polling;
    m_polling = true;
    pollLoop(QPointer<ChatViewModel>(this), ++m_pollGeneration);
    if (!was)
        Q_EMIT isPollingChanged();
}

void ChatViewModel::stopPolling() {
    const bool was = m_polling;
    m_polling = false;
    ++m_pollGeneration;
    if (was)
        Q_EMIT isPollingChanged();
}

QCoro::Task<> ChatViewModel::pollLoop(QPointer<ChatViewModel> model, quint64 generation) {
    while (model && model->m_pollGeneration == generation) {
        auto sleeping = QCoro::sleepFor(model->m_pollInterval);
        co_await sleeping;
        if (!model || model->m_pollGeneration != generation)
            co_return;
        auto refreshing = model->refreshQuietly();
        co_await refreshing;
    }
}

QCoro::Task<> ChatViewModel::send(QString senderId) {
    const QString text = m_draft.trimmed();
    if (text.isEmpty() && !m_pendingAttachmentURL && !m_pendingAttachmentName)
        co_return;

    std::optional<QString> attachmentName = m_pendingAttachmentName;
    if (!attachmentName && m_pendingAttachmentURL)
        attachmentName = QFileInfo(m_pendingAttachmentURL->path()).fileName();
    std::optional<QString> filePath;
    if (m_pendingAttachmentURL)
        filePath = m_pendingAttachmentURL->toLocalFile();
    const QString localId = queue(std::move(senderId), text, std::move(attachmentName), filePath);
    setDraft(QString());
    setPendingAttachmentName(std::nullopt);
    setPendingAttachmentURL(std::nullopt);

    auto delivering = deliver(localId);
    co_await delivering;
}

QCoro::Task<> ChatViewModel::sendText(QString senderId, QString text) {
    text = text.trimmed();
    if (text.isEmpty())
        co_return;
    const QString localId = queue(std::move(senderId), std::move(text), std::nullopt, std::nullopt);
    auto delivering = deliver(localId);
    co_await delivering;
}

QString ChatViewModel::queue(QString senderId, QString text, std::optional<QString> attachmentName,
                             std::optional<QString> filePath) {
    Unsent unsent;
    unsent.text = text;
    unsent.filePath = std::move(filePath);
    MessageDTO& shown = unsent.message;
    shown.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    shown.conversationId = m_conversation.id;
    shown.senderId = std::move(senderId);
    shown.createdAt = now();
    shown.attachmentName = std::move(attachmentName);
    showText(shown, text);
    const QString localId = shown.id;

    const int row = count();
    beginInsertRows({}, row, row);
    m_unsent.append(std::move(unsent));
    endInsertRows();
    Q_EMIT countChanged();
    // Kept from now on: a crash while it is on its way loses nothing the user wrote.
    keepUnsent(m_unsent.size() - 1);
    return localId;
}

void ChatViewModel::startSend() {
    if (!m_currentUserId.isEmpty())
        send(m_currentUserId);
}

QCoro::Task<> ChatViewModel::retry(QString localId) {
    const qsizetype i = unsentIndex(localId);
    if (i < 0 || m_unsent.at(i).state != SendState::failed)
        co_return;
    setUnsentState(i, SendState::sending);
    auto delivering = deliver(localId);
    co_await delivering;
}

bool ChatViewModel::attachFile(const QUrl& file) {
    if (!file.isLocalFile() || !QFileInfo(file.toLocalFile()).isFile())
        return false;
    setPendingAttachmentURL(file);
    setPendingAttachmentName(QFileInfo(file.toLocalFile()).fileName());
    return true;
}

bool ChatViewModel::replaceUnsentFile(const QString& localId, const QUrl& file) {
    const qsizetype i = unsentIndex(localId);
    if (i < 0 || m_unsent.at(i).state != SendState::failed || !file.isLocalFile() ||
        !QFileInfo(file.toLocalFile()).isFile())
        return false;
    Unsent& unsent = m_unsent[i];
    unsent.filePath = file.toLocalFile();
    unsent.message.attachmentName = QFileInfo(*unsent.filePath).fileName();
    showText(unsent.message, unsent.text);
    const QModelIndex changed = index(int(m_messages.size() + i));
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, BodyRole, AttachmentNameRole});
    keepUnsent(i);
    return true;
}

void ChatViewModel::cancelSend(const QString& localId) {
    const qsizetype i = unsentIndex(localId);
    if (i >= 0 && m_unsent.at(i).upload)
        m_unsent.at(i).upload->cancel();
}

void ChatViewModel::discard(const QString& localId) {
    const qsizetype i = unsentIndex(localId);
    if (i >= 0 && m_unsent.at(i).state == SendState::failed)
        removeUnsent(i);
}

QCoro::Task<> ChatViewModel::deliver(QString localId) {
    QPointer<ChatViewModel> self(this);
    addSendInFlight(1);
    Unsent& queued = m_unsent[unsentIndex(localId)];
    if (queued.filePath) {
        queued.upload = new UploadControl(this);
        connect(queued.upload, &UploadControl::progress, this, [this, localId](qint64 sent, qint64 total) {
            const qsizetype i = unsentIndex(localId);
            if (i < 0)
                return;
            m_unsent[i].progress = double(sent) / double(total);
            const QModelIndex changed = index(int(m_messages.size() + i));
            Q_EMIT dataChanged(changed, changed, {SendProgressRole});
        });
    }
    const Unsent unsent = queued;
    auto sending = sendMessage(m_api, m_conversation.id, unsent.text, unsent.filePath, unsent.upload);
    const APIResult<MessageDTO> sent = co_await sending;
    if (!self)
        co_return;
    if (unsent.upload)
        unsent.upload->deleteLater();

    // The user may have discarded it meanwhile; then there is nothing left to update.
    const qsizetype i = unsentIndex(localId);
    if (sent) {
        if (i >= 0)
            removeUnsent(i);
        appendSent(*sent);
    } else {
        if (i >= 0) {
            m_unsent[i].progress = -1;
            setUnsentState(i, SendState::failed);
        }
        if (sent.error() != APIClientError::transportKey("error.cancelled")) // the user's own choice
            setError(sent.error());
    }
    addSendInFlight(-1);
}

const AttachmentMetaDTO* ChatViewModel::attachmentOf(const QString& messageId) const {
    for (const MessageDTO& m : m_messages) {
        if (m.id == messageId)
            return m.attachments && !m.attachments->isEmpty() ? &m.attachments->first() : nullptr;
    }
    return nullptr;
}

void ChatViewModel::announceProgress(const QString& url) {
    announceAttachment(url, {AttachmentProgressRole});
}

void ChatViewModel::announceAttachment(const QString& url, const QList<int>& roles) {
    for (qsizetype row = 0; row < m_messages.size(); ++row) {
        const MessageDTO& m = m_messages.at(row);
        if (m.attachments && !m.attachments->isEmpty() && m.attachments->first().url == url)
            Q_EMIT dataChanged(index(int(row)), index(int(row)), roles);
    }
}

QCoro::Task<> ChatViewModel::makeThumbnail(QString messageId, qreal devicePixelRatio) {
    const AttachmentMetaDTO* found = attachmentOf(messageId);
    if (!found || !AttachmentThumbnails::isPicture(*found) || m_thumbnails.contains(found->url) ||
        m_thumbnailsRunning.contains(found->url) || m_notPictures.contains(found->url))
        co_return;
    const AttachmentMetaDTO attachment = *found;
    const QSize box = (QSizeF(thumbnailBox()) * qMax(1.0, devicePixelRatio)).toSize();
    QPointer<ChatViewModel> self(this);
    m_thumbnailsRunning.insert(attachment.url);
    auto making = AttachmentThumbnails::thumbnail(&m_files, attachment, box);
    const APIResult<QString> made = co_await making;
    if (!self)
        co_return;
    m_thumbnailsRunning.remove(attachment.url);
    if (made)
        m_thumbnails.insert(attachment.url, *made);
    else if (made.error() == APIClientError::transportKey("error.cancelled"))
        co_return; // the user stopped the download: the next drawing of the bubble asks again
    else
        m_notPictures.insert(attachment.url); // shown as a file: Open and Save as still work
    announceAttachment(attachment.url, {ShowsPictureRole, ThumbnailRole});
}

QCoro::Task<> ChatViewModel::openAttachment(QString messageId) {
    const AttachmentMetaDTO* attachment = attachmentOf(messageId);
    if (!attachment)
        co_return;
    QPointer<ChatViewModel> self(this);
    auto fetching = m_files.openable(*attachment);
    const auto path = co_await fetching;
    if (!self)
        co_return;
    if (path)
        Q_EMIT fileReady(QUrl::fromLocalFile(*path));
    else if (path.error() != APIClientError::transportKey("error.cancelled")) // the user's own choice
        setError(path.error());
}

QCoro::Task<> ChatViewModel::saveAttachment(QString messageId, QUrl file) {
    const AttachmentMetaDTO* attachment = attachmentOf(messageId);
    if (!attachment || !file.isLocalFile())
        co_return;
    QPointer<ChatViewModel> self(this);
    auto saving = m_files.saveAs(*attachment, file.toLocalFile());
    const auto path = co_await saving;
    if (self && !path && path.error() != APIClientError::transportKey("error.cancelled"))
        setError(path.error());
}

void ChatViewModel::cancelAttachment(const QString& messageId) {
    if (const AttachmentMetaDTO* attachment = attachmentOf(messageId))
        m_files.cancel(attachment->url);
}

void ChatViewModel::replaceMessages(QList<MessageDTO> sorted) {
    if (sorted == m_messages)
        return;
    const qsizetype oldCount = m_messages.size();
    const bool keepsRows = sorted.size() >= oldCount &&
                           std::equal(m_messages.cbegin(), m_messages.cend(), sorted.cbegin(),
                                      [](const MessageDTO& a, const MessageDTO& b) { return a.id == b.id; });
    if (!keepsRows) {
        beginResetModel();
        m_messages = std::move(sorted);
        endResetModel();
        Q_EMIT countChanged();
        return;
    }
    // The common case, new messages at the end: insert rows so the view keeps its place, and
    // redraw only the rows whose contents changed. Those edits come first: rows must not change
    // while an insertion is announced.
    qsizetype firstChanged = -1, lastChanged = -1;
    for (qsizetype i = 0; i < oldCount; ++i) {
        if (!(m_messages.at(i) == sorted.at(i))) {
            if (firstChanged < 0)
                firstChanged = i;
            lastChanged = i;
            m_messages[i] = sorted.at(i);
        }
    }
    if (firstChanged >= 0)
        Q_EMIT dataChanged(index(int(firstChanged)), index(int(lastChanged)));
    if (sorted.size() > oldCount) {
        beginInsertRows({}, int(oldCount), int(sorted.size() - 1));
        m_messages = std::move(sorted);
        endInsertRows();
        Q_EMIT countChanged();
    }
}

void ChatViewModel::appendSent(const MessageDTO& message) {
    const bool known = std::any_of(m_messages.cbegin(), m_messages.cend(),
                                   [&](const MessageDTO& m) { return m.id == message.id; });
    if (known) // a poll brought it in first
        return;
    const int row = int(m_messages.size());
    beginInsertRows({}, row, row);
    m_messages.append(message);
    endInsertRows();
    Q_EMIT countChanged();
}

qsizetype ChatViewModel::unsentIndex(const QString& localId) const {
    for (qsizetype i = 0; i < m_unsent.size(); ++i)
        if (m_unsent.at(i).message.id == localId)
            return i;
    return -1;
}

void ChatViewModel::setUnsentState(qsizetype i, SendState state) {
    if (m_unsent[i].state == state)
        return;
    m_unsent[i].state = state;
    const QModelIndex changed = index(int(m_messages.size() + i));
    Q_EMIT dataChanged(changed, changed, {SendStateRole, SendStatusRole, SendProgressRole});
}

void ChatViewModel::removeUnsent(qsizetype i) {
    if (m_store)
        m_store->removeUnsent(m_unsent.at(i).message.id);
    const int row = int(m_messages.size() + i);
    beginRemoveRows({}, row, row);
    m_unsent.removeAt(i);
    endRemoveRows();
    Q_EMIT countChanged();
}

void ChatViewModel::setDraft(const QString& draft) {
    if (draft == m_draft)
        return;
    m_draft = draft;
    Q_EMIT draftChanged();
}

void ChatViewModel::setPendingAttachmentName(std::optional<QString> name) {
    if (name == m_pendingAttachmentName)
        return;
    m_pendingAttachmentName = std::move(name);
    Q_EMIT pendingAttachmentNameChanged();
}

void ChatViewModel::setPendingAttachmentURL(std::optional<QUrl> url) {
    if (url == m_pendingAttachmentURL)
        return;
    m_pendingAttachmentURL = std::move(url);
    Q_EMIT pendingAttachmentURLChanged();
}

void ChatViewModel::setPendingAttachmentNameText(const QString& name) {
    setPendingAttachmentName(name.isEmpty() ? std::nullopt : std::optional(name));
}

void ChatViewModel::setPendingAttachmentURLValue(const QUrl& url) {
    setPendingAttachmentURL(url.isEmpty() ? std::nullopt : std::optional(url));
}

void ChatViewModel::setLoading(bool loading) {
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void ChatViewModel::setError(std::optional<APIClientError> error) {
    if (error == m_error)
        return;
    m_error = std::move(error);
    Q_EMIT errorMessageChanged();
}

void ChatViewModel::addSendInFlight(int delta) {
    const bool was = isSending();
    m_sendsInFlight += delta;
    if (isSending() != was)
        Q_EMIT isSendingChanged();
}

int ChatViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant ChatViewModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const qsizetype row = index.row();
    const bool isUnsent = row >= m_messages.size();
    const MessageDTO& m = isUnsent ? m_unsent.at(row - m_messages.size()).message : m_messages.at(row);
    const AttachmentMetaDTO* attachment =
        m.attachments && !m.attachments->isEmpty() ? &m.attachments->first() : nullptr;
    switch (role) {
    case IdRole:
        return m.id;
    case SenderIdRole:
        return m.senderId;
    case Qt::DisplayRole:
    case BodyRole:
        return displayBody(m);
    case CreatedAtRole:
        return toDateTime(m.createdAt);
    case TimeRole:
        return DateTexts::timeOfDay(toDateTime(m.createdAt).toTimeZone(DateTexts::now().timeZone()).time());
    case FullTimeRole:
        return DateTexts::fullDateTime(toDateTime(m.createdAt), DateTexts::now());
    case DayRole:
        return DateTexts::dayOf(toDateTime(m.createdAt), DateTexts::now()).toString(Qt::ISODate);
    case AttachmentNameRole:
        // The label under the bubble; the body already names the first attachment's file.
        return m.attachmentName.value_or(QString());
    case AttachmentURLRole:
        return attachment ? attachment->url : QString();
    case AttachmentFileNameRole:
        return attachment ? attachment->fileName.value_or(QUrl(attachment->url).fileName()) : QString();
    case AttachmentSizeRole:
        return attachment ? QLocale().formattedDataSize(attachment->sizeBytes, 1, QLocale::DataSizeSIFormat)
                          : QString();
    case AttachmentTypeRole:
        return attachment ? attachment->mimeType : QString();
    case SendProgressRole:
        return isUnsent ? m_unsent.at(row - m_messages.size()).progress : -1.0;
    case AttachmentProgressRole:
        return attachment ? m_files.progress(attachment->url) : -1.0;
    case ShowsPictureRole:
        return attachment && AttachmentThumbnails::isPicture(*attachment) &&
               !m_notPictures.contains(attachment->url);
    case ThumbnailRole:
        return attachment && m_thumbnails.contains(attachment->url)
                   ? QUrl::fromLocalFile(m_thumbnails.value(attachment->url)).toString()
                   : QString();
    case IsMineRole:
        return !m_currentUserId.isEmpty() && m.senderId == m_currentUserId;
    case SendStateRole:
        return QVariant::fromValue(isUnsent ? m_unsent.at(row - m_messages.size()).state : SendState::sent);
    case SpokenTextRole: {
        const SendState state = isUnsent ? m_unsent.at(row - m_messages.size()).state : SendState::sent;
        const QString file = data(index, AttachmentFileNameRole).toString();
        return spokenText({senderName(m_conversation, m.senderId, m_currentUserId),
                           m.body.value_or(QString()),
                           file.isEmpty() ? QString() : catalogueText("a11y.attachment").arg(file),
                           data(index, TimeRole).toString(),
                           state == SendState::failed    ? catalogueText("chat.notSent")
                           : state == SendState::sending ? catalogueText("chat.sending")
                                                         : QString()});
    }
    case SendStatusRole: {
        const SendState state = isUnsent ? m_unsent.at(row - m_messages.size()).state : SendState::sent;
        return state == SendState::failed    ? QStringLiteral("failed")
               : state == SendState::sending ? QStringLiteral("sending")
                                             : QStringLiteral("sent");
    }
    default:
        return {};
    }
}

QHash<int, QByteArray> ChatViewModel::roleNames() const {
    return {{IdRole, "messageId"},
            {SenderIdRole, "senderId"},
            {BodyRole, "body"},
            {CreatedAtRole, "createdAt"},
            {AttachmentNameRole, "attachmentName"},
            {AttachmentURLRole, "attachmentUrl"},
            {SendStateRole, "sendState"},
            {SendStatusRole, "sendStatus"},
            {IsMineRole, "isMine"},
            {AttachmentFileNameRole, "attachmentFileName"},
            {AttachmentSizeRole, "attachmentSize"},
            {AttachmentTypeRole, "attachmentType"},
            {AttachmentProgressRole, "attachmentProgress"},
            {SendProgressRole, "sendProgress"},
            {ShowsPictureRole, "showsPicture"},
            {ThumbnailRole, "thumbnail"},
            {TimeRole, "time"},
            {FullTimeRole, "fullTime"},
            {DayRole, "day"},
            {SpokenTextRole, "spokenText"}};
}

} // namespace lumora
