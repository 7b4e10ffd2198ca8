#pragma once

#include "core/api/APIClient.h"
#include "core/conversations/AttachmentFiles.h"
#include "core/store/LocalStore.h"
#include "wire/WireRecords.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <optional>

namespace lumora {

// One conversation's messages, oldest first, kept fresh by polling while the chat is shown, and the
// message being written. A message whose send fails is never lost: it stays in the list, marked as
// failed, after the service's messages until the user retries or discards it.
class ChatViewModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(QString errorMessage READ errorText NOTIFY errorMessageChanged)
    Q_PROPERTY(QString draft READ draft WRITE setDraft NOTIFY draftChanged)
    Q_PROPERTY(QString pendingAttachmentName READ pendingAttachmentNameText WRITE setPendingAttachmentNameText
                   NOTIFY pendingAttachmentNameChanged)
    Q_PROPERTY(QUrl pendingAttachmentURL READ pendingAttachmentURLValue WRITE setPendingAttachmentURLValue
                   NOTIFY pendingAttachmentURLChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(bool isPolling READ isPolling NOTIFY isPollingChanged)
    // The header, as the signed-in user (`currentUserId`, empty when nobody is) sees the conversation.
    Q_PROPERTY(QString currentUserId READ currentUserId WRITE setCurrentUserId NOTIFY currentUserIdChanged)
    Q_PROPERTY(QString title READ title NOTIFY currentUserIdChanged)
    Q_PROPERTY(QString peerCountryCode READ peerCountryCode CONSTANT)
    Q_PROPERTY(bool peerVerified READ peerVerified NOTIFY currentUserIdChanged)
    // The box a received picture is drawn in, in logical pixels, whether or not its thumbnail is there.
    Q_PROPERTY(QSize thumbnailBox READ thumbnailBox CONSTANT)
    // Changes whenever texts that depend on the language or the day are to be read again.
    Q_PROPERTY(int textsRevision READ textsRevision NOTIFY textsRevisionChanged)

public:
    enum class SendState { sent, sending, failed };
    Q_ENUM(SendState)

    enum Role {
        IdRole = Qt::UserRole + 1,
        SenderIdRole,
        BodyRole,      // the text a bubble shows
        CreatedAtRole, // QDateTime, UTC
        AttachmentNameRole,
        AttachmentURLRole,
        SendStateRole,          // SendState
        SendStatusRole,         // the same as text ("sent", "sending", "failed"), for QML
        IsMineRole,             // sent by the signed-in user: the bubble sits on the trailing side
        AttachmentFileNameRole, // the first file's name; empty without a file
        AttachmentSizeRole,     // the file's size in the locale's units ("1.2 MB"); empty without a file
        AttachmentTypeRole,     // its MIME type
        AttachmentProgressRole, // 0 to 1 while a file over 1 MB is on its way to disk, else -1
        SendProgressRole,       // 0 to 1 while an unsent message's file is being uploaded, else -1
        ShowsPictureRole,       // the file is an image drawn in the bubble (until it fails to decode)
        ThumbnailRole,          // the file URL of its thumbnail once made; empty before
        TimeRole,               // the time of day it was written, as the bubble shows it
        FullTimeRole,           // the whole date and time, for the tooltip and screen readers
        DayRole,                // its day ("2026-12-07", in the time zone shown): the list's sections
        SpokenTextRole,         // the bubble as a screen reader reads it: sender, text, file, time, state
    };
    Q_ENUM(Role)

    static constexpr std::chrono::milliseconds pollInterval{3000};
    static constexpr QSize thumbnailBox() { return {240, 180}; }

    ChatViewModel(APIClient* api, ConversationDTO conversation, QObject* parent = nullptr);
    ~ChatViewModel() override;

    const ConversationDTO& conversation() const { return m_conversation; }
    // Keeps what is written here in `store` (the draft and its file half a second after the last
    // change, each message from the moment it is sent until the service has it or the user discards
    // it) and brings back what the store holds for this conversation: the draft, and the messages it
    // kept as not sent (never sent again without the user). Null: nothing is kept; a pending save of
    // the draft is made first.
    void setStore(LocalStore* store);
    // The service's messages, oldest first; the unsent ones follow them in the list model.
    const QList<MessageDTO>& messages() const { return m_messages; }
    QList<MessageDTO> unsentMessages() const;
    SendState sendState(const QString& localId) const; // `sent` once it is no longer unsent

    bool isLoading() const { return m_isLoading; }
    bool isSending() const { return m_sendsInFlight > 0; }
    // The last load's or send's failure, kind and all; the screens show its text.
    const std::optional<APIClientError>& error() const { return m_error; }
    QString errorText() const { return m_error ? m_error->text() : QString(); }
    QString draft() const { return m_draft; }
    void setDraft(const QString& draft);
    const std::optional<QString>& pendingAttachmentName() const { return m_pendingAttachmentName; }
    void setPendingAttachmentName(std::optional<QString> name);
    const std::optional<QUrl>& pendingAttachmentURL() const { return m_pendingAttachmentURL; }
    void setPendingAttachmentURL(std::optional<QUrl> url);
    int count() const { return int(m_messages.size() + m_unsent.size()); }

    QCoro::Task<> load();
    // Polls every interval, starting one interval from now; a second call leaves one loop running.
    Q_INVOKABLE void startPolling();
    Q_INVOKABLE void stopPolling();
    bool isPolling() const { return m_polling; }
    // The send of the trimmed draft and the pending file, as `senderId`. The composer is emptied at
    // once: the text and the file live on in the unsent message until the service has them.
    QCoro::Task<> send(QString senderId);
    // Sends `text` as `senderId` the same way, leaving the composer as it is (a notification's reply).
    QCoro::Task<> sendText(QString senderId, QString text);
    QCoro::Task<> retry(QString localId);             // sends a failed message again, file included
    Q_INVOKABLE void discard(const QString& localId); // drops a failed message
    // Makes a local file the composer's one file (replacing any other), as choosing it would; false, and
    // nothing changes, for anything but an existing regular file (a folder, a remote URL).
    Q_INVOKABLE bool attachFile(const QUrl& file);
    // Stops the upload of a message's file: the message stays, not sent, with its file (Retry sends it).
    Q_INVOKABLE void cancelSend(const QString& localId);
    // Gives a message that was not sent another file to retry with (the first was refused as too
    // large, say); false, and nothing changes, as for `attachFile`, or when the message is not a failed one.
    Q_INVOKABLE bool replaceUnsentFile(const QString& localId, const QUrl& file);

    // The file of a received message: downloaded into the cache (once), then `fileReady` asks the
    // screen to open it with the desktop's handler; or saved where the user chose. Failures show as the
    // chat's error. Cancelling drops what was written.
    QCoro::Task<> openAttachment(QString messageId);
    QCoro::Task<> saveAttachment(QString messageId, QUrl file);
    Q_INVOKABLE void startOpenAttachment(const QString& messageId) { openAttachment(messageId); }
    Q_INVOKABLE void startSaveAttachment(const QString& messageId, const QUrl& file) {
        saveAttachment(messageId, file);
    }
    Q_INVOKABLE void cancelAttachment(const QString& messageId);
    // Makes the thumbnail of a received picture for a screen of that pixel ratio (once; the screen
    // asks when it draws the bubble). A file that is no image it can read is then shown as a file.
    QCoro::Task<> makeThumbnail(QString messageId, qreal devicePixelRatio);
    Q_INVOKABLE void requestThumbnail(const QString& messageId, qreal devicePixelRatio) {
        makeThumbnail(messageId, devicePixelRatio);
    }

    // For screens, as everywhere: `startX` runs the coroutine `x` without waiting for it.
    Q_INVOKABLE void startLoad() { load(); }
    // Sends the draft as the signed-in user (`currentUserId`); nothing while nobody is signed in.
    Q_INVOKABLE void startSend();
    Q_INVOKABLE void startRetry(const QString& localId) { retry(localId); }
    // The screen is shown: load, then poll (unless it was hidden meanwhile). Hidden: stop polling.
    Q_INVOKABLE void appear();
    Q_INVOKABLE void disappear();

    // The language or the day changed: rows shown already read their sizes, times and days again.
    Q_INVOKABLE void refreshLocaleTexts();
    int textsRevision() const { return m_textsRevision; }
    // A day's heading ("Today", "Yesterday", a weekday, a date) from a `DayRole` value.
    Q_INVOKABLE QString dayHeading(const QString& day) const;

    QString currentUserId() const { return m_currentUserId; }
    void setCurrentUserId(const QString& id);
    QString title() const;
    QString peerCountryCode() const;
    bool peerVerified() const;

    // Tests shorten the interval; the product always polls every three seconds.
    void setPollIntervalForTesting(std::chrono::milliseconds interval) { m_pollInterval = interval; }
    // One poll, as the loop runs it, for tests and benchmarks that cannot wait for the timer.
    QCoro::Task<> pollOnceForTesting() { return refreshQuietly(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void isLoadingChanged();
    void isSendingChanged();
    void errorMessageChanged();
    void draftChanged();
    void pendingAttachmentNameChanged();
    void pendingAttachmentURLChanged();
    void countChanged();
    void currentUserIdChanged();
    void isPollingChanged();
    void fileReady(const QUrl& localFile);
    void textsRevisionChanged();
    // A poll brought a message from someone else into the open chat: what a reader hears of the newest.
    void othersWrote(const QString& spokenText);

private:
    const AttachmentMetaDTO* attachmentOf(const QString& messageId) const;
    void announceProgress(const QString& url);
    void announceAttachment(const QString& url, const QList<int>& roles);
    void saveDraft();
    void keepMessages();
    void keepUnsent(qsizetype index);

    struct Unsent {
        MessageDTO message; // as shown; its id is local
        SendState state = SendState::sending;
        QString text;                    // trimmed draft, possibly empty
        std::optional<QString> filePath; // the file to upload
        QPointer<UploadControl> upload;  // while its file is on its way
        double progress = -1;            // of that upload, 0 to 1
    };

    QCoro::Task<> refreshQuietly();
    APIClient::Ask whatToAsk() const;
    QCoro::Task<> deliver(QString localId);
    // Shows the message as being sent and returns its local id.
    QString queue(QString senderId, QString text, std::optional<QString> attachmentName,
                  std::optional<QString> filePath);
    static QCoro::Task<> pollLoop(QPointer<ChatViewModel> model, quint64 generation);

    void replaceMessages(QList<MessageDTO> sorted);
    void appendSent(const MessageDTO& message);
    qsizetype unsentIndex(const QString& localId) const;
    void setUnsentState(qsizetype index, SendState state);
    void removeUnsent(qsizetype index);
    void setLoading(bool loading);
    void setError(std::optional<APIClientError> error);
    void addSendInFlight(int delta);

    QString pendingAttachmentNameText() const { return m_pendingAttachmentName.value_or(QString()); }
    void setPendingAttachmentNameText(const QString& name);
    QUrl pendingAttachmentURLValue() const { return m_pendingAttachmentURL.value_or(QUrl()); }
    void setPendingAttachmentURLValue(const QUrl& url);

    APIClient* m_api;
    AttachmentFiles m_files{m_api};
    QHash<QString, QString> m_thumbnails; // by media URL: the thumbnail's file
    QSet<QString> m_thumbnailsRunning, m_notPictures;
    const ConversationDTO m_conversation;
    QList<MessageDTO> m_messages;
    QList<Unsent> m_unsent;
    bool m_isLoading = false;
    int m_sendsInFlight = 0;
    std::optional<APIClientError> m_error;
    QString m_draft;
    std::optional<QString> m_pendingAttachmentName;
    std::optional<QUrl> m_pendingAttachmentURL;
    bool m_polling = false;
    bool m_fromService = false; // the list came from the service (not the one-message fallback)
    QByteArray m_keptTag;       // the service's tag for the messages kept from the last run
    bool m_shown = false;
    QString m_currentUserId;
    quint64 m_pollGeneration = 0; // a loop whose generation is stale ends at its next wake-up
    std::chrono::milliseconds m_pollInterval = pollInterval;
    int m_textsRevision = 0;
    LocalStore* m_store = nullptr;
    QTimer m_draftSave;
};

} // namespace lumora
