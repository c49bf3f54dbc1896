#include "members/ui/MagazineGuard.h"

#include "members/UMagazineChoice.h"
#include "widgets/MessageBox.h"

bool RequireMagazine(QWidget *parent, int magIdx)
{
    if (MagazineChoice::isChosen(magIdx))
        return true;
    MessageBox::warning(parent, MagazineChoice::missingText());
    return false;
}
