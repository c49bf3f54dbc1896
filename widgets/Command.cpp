#include "widgets/Command.h"

#include "store/Database.h"
#include "widgets/MessageBox.h"

#include <QApplication>

namespace Command {

bool run(QWidget *parent, const std::function<void()> &body)
{
    try {
        body();
        return true;
    } catch (const StoreError &e) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        MessageBox::error(parent, e.text());
    } catch (const std::exception &e) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        MessageBox::error(parent, QString::fromStdString(e.what()));
    }
    return false;
}

} // namespace Command
