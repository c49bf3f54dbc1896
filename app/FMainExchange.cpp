// Member exchange and address operations (not built yet: these do nothing).
#include "FMain.h"

void TMainForm::N42Click() {}
void TMainForm::I1Click() {}
void TMainForm::M3Click() {}
void TMainForm::X1Click() {}
void TMainForm::N39Click() {}
void TMainForm::B1Click() {}
void TMainForm::N46Click() {}
void TMainForm::C4Click() {}
void TMainForm::U2Click() {}
void TMainForm::Find1Click() {}
