#include "app/qt/channelmodels.h"

#include "core/cp932.h"

namespace {

QVariant shown(std::string_view cp932, int role) {
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    return QString::fromStdString(kivo::cp932ToUtf8(cp932));
}

}  // namespace

void ChannelListModel::aboutToChange(const kivo::ChannelList::Change& change) {
    using Change = kivo::ChannelList::Change;
    switch (change.kind) {
        case Change::Reset:
            beginResetModel();
            break;
        case Change::Inserted:
            beginInsertRows(QModelIndex(), change.row, change.row);
            break;
        case Change::Removed:
            beginRemoveRows(QModelIndex(), change.row, change.row);
            break;
        case Change::Moved:
            // Qt names the row the line goes before, counted before the move.
            beginMoveRows(QModelIndex(), change.row, change.row, QModelIndex(),
                          change.to > change.row ? change.to + 1 : change.to);
            break;
        case Change::Selected:
            break;
    }
}

void ChannelListModel::hasChanged(const kivo::ChannelList::Change& change) {
    using Change = kivo::ChannelList::Change;
    switch (change.kind) {
        case Change::Reset:
            endResetModel();
            break;
        case Change::Inserted:
            endInsertRows();
            break;
        case Change::Removed:
            endRemoveRows();
            break;
        case Change::Moved:
            endMoveRows();
            break;
        case Change::Selected:
            break;
    }
}

int ChannelListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.count();
}

QVariant ChannelListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.count()) return {};
    return shown(list_.line(index.row()), role);
}

void ChannelNamesModel::show(kivo::ChannelNames names) {
    beginResetModel();
    names_ = std::move(names);
    endResetModel();
}

int ChannelNamesModel::find(const QString& text) const {
    // Compared as stored: a text that CP932 cannot hold names no channel.
    auto key = kivo::utf8ToCp932(text.toStdString());
    return key ? names_.find(*key) : -1;
}

int ChannelNamesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : names_.count();
}

QVariant ChannelNamesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= names_.count()) return {};
    return shown(names_[index.row()], role);
}
