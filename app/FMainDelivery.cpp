// Mail-server settings (not built yet: this does nothing).
#include "FMain.h"

void TMainForm::C1Click() {}
