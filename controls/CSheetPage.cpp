#include "controls/CSheetPage.h"

void CSheetPage::EnsureInitialised() {
    if (initialised_)
        return;
    initialised_ = true;
    OnInitDialog();
}

void CSheetPage::Activate() {
    EnsureInitialised();
    OnSetActive();
}
