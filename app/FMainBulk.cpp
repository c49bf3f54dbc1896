// Bulk field updates (not built yet: these do nothing).
#include "FMain.h"

void TMainForm::A4Click(int) {}
void TMainForm::N15Click(int) {}
void TMainForm::N16Click(int) {}
void TMainForm::OFF11Click(int) {}
