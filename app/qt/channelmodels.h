// The channel lines as the windows show them: models that read the CP932 lines where
// they are kept and convert only the rows a view asks for.
#pragma once

#include <QAbstractListModel>

#include "core/channels.h"

// The lines of a ChannelList, following each change row by row (the list tells
// aboutToChange before and hasChanged after it).
class ChannelListModel : public QAbstractListModel {
  public:
    explicit ChannelListModel(const kivo::ChannelList& list, QObject* parent = nullptr)
        : QAbstractListModel(parent), list_(list) {}

    void aboutToChange(const kivo::ChannelList::Change& change);
    void hasChanged(const kivo::ChannelList::Change& change);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  private:
    const kivo::ChannelList& list_;
};

// The names the strip's chooser offers: taken once when S mode is entered.
class ChannelNamesModel : public QAbstractListModel {
  public:
    using QAbstractListModel::QAbstractListModel;

    void show(kivo::ChannelNames names);
    // The first name that reads `text` exactly; -1 when none.
    int find(const QString& text) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  private:
    kivo::ChannelNames names_;
};
