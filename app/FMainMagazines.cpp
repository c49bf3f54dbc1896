// Magazine list and magazine commands (not built yet: these do nothing).
#include "FMain.h"

void TMainForm::LoadMagazineList() {}
void TMainForm::ShowMagazine(int) {}
int TMainForm::FindMagazineRow() const { return -1; }
void TMainForm::A2Click() {}
void TMainForm::E2Click() {}
void TMainForm::D2Click() {}
void TMainForm::ListView1SelectItem() {}
void TMainForm::ListView1ColumnClick(int) {}
