#pragma once

#include <QSortFilterProxyModel>

namespace lumora {

class InboxViewModel;

// The quick switcher's list: the inbox's conversations whose title contains what was typed (any
// case), in the inbox's order.
class ConversationSwitcher : public QSortFilterProxyModel {
    Q_OBJECT
    Q_PROPERTY(QString filterText READ filterText WRITE setFilterText NOTIFY filterTextChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit ConversationSwitcher(InboxViewModel* inbox, QObject* parent = nullptr);

    QString filterText() const { return m_filterText; }
    void setFilterText(const QString& text);
    int count() const { return rowCount(); }
    // The inbox row of a row of this list, for opening it; -1 for none.
    Q_INVOKABLE int inboxRow(int row) const;

Q_SIGNALS:
    void filterTextChanged();
    void countChanged();

private:
    QString m_filterText;
};

} // namespace lumora
