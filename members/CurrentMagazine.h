#pragma once
// The magazine the user works on: its index, the display names of its seven member fields
// and its signature file. The main window owns the one instance; the member list, the
// composer and the send page read it, and hear of every change through changed().
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
    // Flg1..3, Count1..2, UserDate1..2 display names of the magazine last shown.
    const FieldNames &MagFieldNames() const { return m_fieldNames; }
    // Signature file name of the selected magazine, empty when it has none.
    const QString &MagSign() const { return m_sign; }
    bool isChosen() const;

    // Another magazine is selected, or none: a magazine that is gone takes its signature
    // along, while the field names stay until the next magazine's are shown.
    void choose(int magIdx);
    // The selected magazine's texts as read from its row.
    void setTexts(const FieldNames &fieldNames, const QString &sign);

Q_SIGNALS:
    void changed();

private:
    int m_magIdx;
    FieldNames m_fieldNames;
    QString m_sign;
};
