#pragma once

#include "core/api/APIClient.h"
#include "core/store/LocalStore.h"
#include "wire/WireRecords.h"

#include <QAbstractListModel>
#include <QString>

#include <QCoroTask>

#include <optional>

namespace lumora {

// The signed-in user's conversations, most recently updated first. Until a first load succeeds, a
// failure shows two sample conversations rather than an empty inbox. One row per conversation.
class InboxViewModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString errorMessage READ errorText NOTIFY errorMessageChanged)
    Q_PROPERTY(QString currentUserId READ currentUserId WRITE setCurrentUserId NOTIFY currentUserIdChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        TitleRole,     // the conversation's shown name
        PreviewRole,   // the last message's body; empty when it has none
        UpdatedAtRole, // QDateTime, UTC
        UnreadCountRole,
        PeerNameRole, // for the initials avatar
        PeerCountryCodeRole,
        PeerVerifiedRole,
        HasPreviewRole, // the last message has a body (which may be empty)
        TimeTextRole,   // when it was updated, as the row shows it ("10:04", "Yesterday", "Monday", a date)
        FullTimeRole,   // the whole date and time, for the tooltip and screen readers
        SpokenTextRole, // the row as a screen reader reads it: "Omar, verified, 2 unread, 16:52, See you"
    };
    Q_ENUM(Role)

    explicit InboxViewModel(APIClient* api, QObject* parent = nullptr);

    const QList<ConversationDTO>& conversations() const { return m_conversations; }
    bool isLoading() const { return m_isLoading; }
    // The last load's or send's failure, kind and all; the screens show its text.
    const std::optional<APIClientError>& error() const { return m_error; }
    QString errorText() const { return m_error ? m_error->text() : QString(); }
    // The signed-in user, so a conversation's title names the other person.
    QString currentUserId() const { return m_currentUserId; }
    void setCurrentUserId(const QString& id);
    int count() const { return int(m_conversations.size()); }

    // Asks the service for the list, showing the busy state (the screen's load and refresh).
    QCoro::Task<> load();
    Q_INVOKABLE void startLoad() { load(); }
    // The same without the busy state (the watch). A load or refresh asked for while one is under
    // way asks nothing more: the one under way answers for both.
    QCoro::Task<> refresh();
    // The rows came from the service, not the samples.
    // For typing to find a row: the first after `after` (wrapping round) whose title starts with
    // `text`, ignoring case; -1 when none does.
    Q_INVOKABLE int nextStartingWith(const QString& text, int after) const;
    bool hasServiceRows() const { return m_fromService; }
    // Forgets the rows and the error; a load under way when this is called changes nothing.
    void clear();
    // Each list from the service is kept in `store`; an empty inbox shows the stored one at once, until
    // the service answers. Null: nothing is kept.
    void setStore(LocalStore* store);
    // The language or the day changed: the rows read their times again.
    void refreshLocaleTexts();

    static const QList<ConversationDTO>& placeholders();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void isLoadingChanged();
    void errorMessageChanged();
    void currentUserIdChanged();
    void countChanged();
    // New rows from the service (not sent for an unchanged list).
    void snapshotArrived();
    // A load or refresh is over; `reached`: the service answered with a list or "unchanged".
    void loadFinished(bool reached);
    // The request under way returned (or was dropped by clear()).
    void requestEnded();

private:
    QCoro::Task<> fetch(bool shown);
    void setConversations(QList<ConversationDTO> conversations);
    void setLoading(bool loading);
    void setError(std::optional<APIClientError> error);

    APIClient* m_api;
    QList<ConversationDTO> m_conversations;
    bool m_isLoading = false;
    std::optional<APIClientError> m_error;
    QString m_currentUserId;
    bool m_fromService = false; // the rows came from the service (not the samples)
    QByteArray m_keptTag;       // the service's tag for the rows kept from the last run
    bool m_inFlight = false;
    quint64 m_generation = 0; // a load that started before the last clear() is dropped
    LocalStore* m_store = nullptr;
};

} // namespace lumora
