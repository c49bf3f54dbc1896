// Composer and send page (not built yet: these do nothing).
#include "FMain.h"

void TMainForm::N34Click() {}
void TMainForm::ApplyColumnSize() {}
void TMainForm::K1Click() {}
void TMainForm::F1Click() {}
