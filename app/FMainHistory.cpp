// Issue history (not built yet: these do nothing).
#include "FMain.h"

#include "widgets/MessageBox.h"

void TMainForm::LoadHistoryList() {}
void TMainForm::M1Click(int) {}
void TMainForm::E4Click() {}
void TMainForm::D4Click() {}

void TMainForm::H1Click()
{
    if (CurMagIdx == -1) {
        MessageBox::warning(this, QStringLiteral("マガジン名を選択してください。"));
        return;
    }
    LoadHistoryList();
}
