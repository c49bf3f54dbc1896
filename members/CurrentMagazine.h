#pragma once
// The magazine the user works on: its index, name, the display names of its seven member
// fields and its signature file. The main window owns the one instance; the lists, the pages
// and the name beside the toolbar read it, and hear of every change through changed().
#include <QObject>
#include <QString>

#include <array>

class CurrentMagazine : public QObject
{
    Q_OBJECT

public:
    using FieldNames = std::array<QString, 7>;

    explicit CurrentMagazine(QObject *parent = nullptr);

    // The selected magazine, MagazineChoice::None when none.
    int CurMagIdx() const { return m_magIdx; }
    // The selected magazine's name; empty when none.
    const QString &name() const { return m_name; }
    // Flg1..3, Count1..2, UserDate1..2 display names of the magazine last chosen.
    const FieldNames &MagFieldNames() const { return m_fieldNames; }
    // Signature file name of the selected magazine, empty when it has none.
    const QString &MagSign() const { return m_sign; }
    bool isChosen() const;

    // Makes the magazine current, read afresh from the store (choosing the current one again
    // reads what an edit changed), and tells the listeners once. MagazineChoice::None, or a
    // magazine that is no longer stored, leaves none chosen: the name and signature go, the
    // field names stay until the next magazine's are read. A failed read throws StoreError
    // and changes nothing.
    void choose(int magIdx);

Q_SIGNALS:
    void changed();

private:
    int m_magIdx;
    QString m_name;
    FieldNames m_fieldNames;
    QString m_sign;
};
