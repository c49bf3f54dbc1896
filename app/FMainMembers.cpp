// Member list and member commands (not built yet: these do nothing).
#include "FMain.h"

void TMainForm::BuildMemberColumns() {}
void TMainForm::LoadMemberRows(int) {}
void TMainForm::ListView2ColumnClick(int) {}
void TMainForm::O1Click() {}
void TMainForm::A1Click() {}
void TMainForm::E3Click() {}
void TMainForm::yu1Click() {}
void TMainForm::S2Click() {}
void TMainForm::DroppedTextReady() {}
