#include "widgets/RunAside.h"

#include <QEventLoop>
#include <QThread>

namespace RunAside {

void run(const std::function<void()> &work, Input input)
{
    QThread *thread = QThread::create(work);
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec(input == Input::Held ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    thread->wait();
    delete thread;
}

} // namespace RunAside
