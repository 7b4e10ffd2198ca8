#include "core/conversations/ConversationSwitcher.h"

#include "core/conversations/InboxViewModel.h"

namespace lumora {

ConversationSwitcher::ConversationSwitcher(InboxViewModel* inbox, QObject* parent)
    : QSortFilterProxyModel(parent) {
    setSourceModel(inbox);
    setFilterRole(InboxViewModel::TitleRole);
    setFilterCaseSensitivity(Qt::CaseInsensitive);
    connect(this, &QAbstractItemModel::rowsInserted, this, &ConversationSwitcher::countChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &ConversationSwitcher::countChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &ConversationSwitcher::countChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &ConversationSwitcher::countChanged);
}

void ConversationSwitcher::setFilterText(const QString& text) {
    if (text == m_filterText)
        return;
    m_filterText = text;
    setFilterFixedString(text);
    Q_EMIT filterTextChanged();
}

int ConversationSwitcher::inboxRow(int row) const {
    return mapToSource(index(row, 0)).row();
}

} // namespace lumora
