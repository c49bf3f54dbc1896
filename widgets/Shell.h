#pragma once
// The desktop shell's "open" action for files, folders and web addresses.
#include <QList>
#include <QUrl>

namespace Shell {

// Hands the address to its default handler and returns at once.
void open(const QUrl &url);

// Test seam: once enabled, nothing is opened; the addresses are recorded.
void setTestMode(bool on);
QList<QUrl> takeOpened();

} // namespace Shell
