#include "widgets/TextDropTarget.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace {

// Text offered as a copy or a link is taken; anything else is left to others.
bool takeAction(QDropEvent *event)
{
    if (!event->mimeData() || !event->mimeData()->hasText())
        return false;
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    event->accept();
    return true;
}

} // namespace

TextDropTarget::TextDropTarget(QWidget *widget) : QObject(widget)
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

bool TextDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (takeAction(static_cast<QDropEvent *>(event)))
            return true;
        break;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (takeAction(drop)) {
            const QString text = drop->mimeData()->text();
            Q_EMIT dropped(text);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
