#pragma once

#include "sqlite/Sqlite.h"
#include "wire/WireRecords.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace lumora {

// What the user wrote and has not sent yet in one conversation: the composer's text and file.
struct StoredDraft {
    QString conversationId;
    QString text;
    std::optional<QString> filePath; // the local file to upload
    std::optional<QString> fileName; // as the composer shows it

    bool operator==(const StoredDraft&) const = default;
};

// A message the service has not taken: kept until the user retries or discards it.
struct StoredUnsent {
    QString localId;
    QString conversationId;
    QString senderId;
    QString text;
    std::optional<QString> filePath;
    std::optional<QString> attachmentName;
    Instant createdAt;

    bool operator==(const StoredUnsent&) const = default;
};

// One signed-in user's data on this computer, in one SQLite file readable by that user only: the last
// inbox, the newest messages of the conversations opened, drafts and unsent messages. A file that is
// damaged, or made by a newer Lumora, is moved aside and a new one started: everything in it but the
// drafts and unsent messages comes back from the service.
class LocalStore {
public:
    template <class T> struct Kept {
        double position;
        T record;
    };

    static constexpr int keptMessages = 500; // per conversation, the newest

    // "$XDG_DATA_HOME/Lumora/store-DIGEST.sqlite", DIGEST naming the service's origin and the user.
    static QString pathFor(const QString& origin, const QString& userId);
    // Opens the file, creating it (mode 0600) or starting anew as said above; nothing, and the reason in
    // `failure`, when not even a new file can be made (an unwritable folder).
    static std::unique_ptr<LocalStore> open(const QString& path, QString* failure = nullptr);
    // The user whose store on this computer belongs to the service at `origin`, as it last saw them.
    static std::optional<UserDTO> storedUser(const QString& origin);
    // Deletes the file with its journal. Nothing to delete is no failure.
    static void remove(const QString& path);

    const QString& path() const { return m_path; }
    // Where a damaged file was moved, when opening or using it found the damage.
    const std::optional<QString>& movedAside() const { return m_movedAside; }

    // Whose store this is: the service's origin and the user as it last described them.
    void saveSession(const QString& origin, const UserDTO& user);
    std::optional<std::pair<QString, UserDTO>> session();
    void clearSession(); // a session that cannot be resumed as it was

    // Both write only the rows that differ from what this store last saved or read.
    // With each list, the service's tag for it (empty: none), kept only while it names what is kept.
    void saveInbox(const QList<ConversationDTO>& conversations, const QByteArray& etag = {});
    QList<ConversationDTO> inbox();
    QByteArray inboxTag();
    // Keeps the newest `keptMessages` of `messages` (oldest first), in place of those stored before.
    void saveMessages(const QString& conversationId, const QList<MessageDTO>& messages,
                      const QByteArray& etag = {});
    QList<MessageDTO> messages(const QString& conversationId);
    QByteArray messagesTag(const QString& conversationId);

    // An empty draft (no text, no file) deletes the stored one.
    void saveDraft(const StoredDraft& draft);
    QList<StoredDraft> drafts();
    void saveUnsent(const StoredUnsent& message);
    void removeUnsent(const QString& localId);
    QList<StoredUnsent> unsent(); // oldest first

private:
    // Runs a store operation; a failure is logged and gives nothing: the store is a convenience, and
    // what it cannot keep the service still has. A file found damaged is set aside for the next start.
    template <class F> std::invoke_result_t<F> guarded(const char* what, F&& operation);
    void writeTag(const QString& list, const QByteArray& etag);
    QByteArray tag(const QString& list);

    LocalStore(QString path, std::unique_ptr<sqlite::Database> db)
        : m_path(std::move(path))
        , m_db(std::move(db)) {}

    QString m_path;
    std::unique_ptr<sqlite::Database> m_db;
    std::optional<QString> m_movedAside;
    // What the file holds, as last written or read: id -> position and record.
    QHash<QString, Kept<ConversationDTO>> m_inbox;
    bool m_inboxRead = false;
    QHash<QString, QHash<QString, Kept<MessageDTO>>> m_messages; // by conversation
};

} // namespace lumora
