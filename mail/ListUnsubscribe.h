#pragma once
// The List-Unsubscribe fields of a magazine's mails (RFC 2369), with one-click unsubscribing
// (RFC 8058) when the magazine has an https URL for it. Each member's mail names that member
// by a signed token; a mail to hidden recipients can name nobody and carries the plain
// mailto alone.
#include <QByteArray>
#include <QString>

class ListUnsubscribe
{
public:
    // address: where unsubscribe mails go (none: no fields at all); url: the one-click URL,
    // used only when it is https and nothing in it could leave the angle brackets; key: the
    // store's unsubscribe key.
    ListUnsubscribe(const QString &address, const QString &url, const QByteArray &key, int magIdx);

    bool enabled() const { return !m_mailto.isEmpty(); }

    // The fields for one member's mail, each ending in CR LF; empty when not enabled:
    //   List-Unsubscribe: <mailto:ADDRESS?subject=unsubscribe%20TOKEN>, <URL?t=TOKEN>
    //   List-Unsubscribe-Post: List-Unsubscribe=One-Click
    QByteArray memberFields(int userIdx) const;
    // The field for a mail to hidden recipients: List-Unsubscribe: <mailto:ADDRESS?subject=unsubscribe>
    QByteArray batchFields() const;

private:
    QByteArray m_mailto;  // "mailto:ADDRESS?subject=unsubscribe", or empty
    QByteArray m_url;     // the URL up to and including "?t=" or "&t=", or empty
    QByteArray m_key;
    int m_magIdx = 0;
};
