#pragma once
// The list model of the targets and recipients views: rows come from MemberLines a page at
// a time as the view scrolls towards them (canFetchMore/fetchMore), and are kept as one
// shared text with a line end per row, so a row costs its characters and four bytes.
#include "issue/MemberLines.h"

#include <QAbstractListModel>

#include <memory>
#include <vector>

class MemberLinesModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int kPage = 500;

    explicit MemberLinesModel(QObject *parent = nullptr);

    // Replaces the rows with the source's first page; a failing statement throws
    // StoreError and leaves the list empty.
    void reset(std::unique_ptr<MemberLines> source);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    QString line(int row) const;
    // Reads every remaining row (tests, and copying everything).
    void fetchAll();

Q_SIGNALS:
    // A later page could not be read: the list ends where it is, with the store's text.
    void failed(const QString &text);

private:
    void append(const QStringList &lines);

    std::unique_ptr<MemberLines> m_source;
    QString m_text;
    std::vector<quint32> m_ends;
};
