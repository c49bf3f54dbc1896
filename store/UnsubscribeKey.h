#pragma once
// The secret that signs the members' unsubscribe tokens. It is made once per store, kept with
// the delivery settings (so a backup carries it and tokens in mails already sent stay valid
// after a restore), and never leaves the store in any other way.
#include <QByteArray>

namespace UnsubscribeKey {

// 32 random bytes. The first call on a store makes and stores them; two processes that make
// one at the same time agree on the one stored first. Throws StoreError.
QByteArray load();
// The stored key, or empty when none has been made yet; writes nothing (a dry run).
QByteArray peek();

} // namespace UnsubscribeKey
