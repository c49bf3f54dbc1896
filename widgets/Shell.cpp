#include "widgets/Shell.h"

#include <QDesktopServices>

namespace Shell {
namespace {
struct TestState {
    bool on = false;
    QList<QUrl> opened;
};
TestState &state()
{
    static TestState s;
    return s;
}
} // namespace

void open(const QUrl &url)
{
    if (state().on) {
        state().opened << url;
        return;
    }
    QDesktopServices::openUrl(url);
}

void setTestMode(bool on)
{
    state() = TestState{};
    state().on = on;
}

QList<QUrl> takeOpened()
{
    QList<QUrl> out;
    out.swap(state().opened);
    return out;
}

} // namespace Shell
