#pragma once
// The after-send update: the set clause an issue stores (MagInfo.UpdateSQL) and that is
// applied to its recipients once the delivery is complete. It is statement text in the
// store, so it has one gate: the text is written here, and when it is read back to be
// applied it must be exactly one of the texts written here. The statement that runs is
// made again from what was read, never from the stored text, so a store edited by hand
// cannot run a statement of its own.
#include <QDate>
#include <QString>

#include <array>
#include <optional>

struct AfterSendUpdate {
    // Flag 1..3 ON, counter 1..2 plus one, date 1..2 set to `day`, in that order.
    std::array<bool, 7> pieces{};
    QString day; // yyyymmdd; empty when neither date is set

    bool isEmpty() const;

    // The stored text: "set " before the first piece, "," before every later one; "" when
    // no piece is chosen.
    static QString text(const std::array<bool, 7> &pieces, const QDate &today);
    // The update a stored text stands for, or nullopt when the text is not one this
    // program writes. "" reads as the empty update.
    static std::optional<AfterSendUpdate> read(const QString &stored);

    // "set ..." with a `?` for the day, bound once for each date piece.
    QString setClause() const;
    // How many times the day is bound in setClause().
    int dayMarks() const;
};
