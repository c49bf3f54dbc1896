#pragma once
#include <QApplication>
#include <QCursor>

// The hourglass while the store is read or written in bulk; restored on every way out.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor()
    {
        if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};
