#include "controls/CMusicListSheet.h"

#include "controls/CSheetPage.h"

CMusicListSheet::CMusicListSheet(QWidget* parent) : QWidget(parent), layout_(this) {
    // Not a Tab stop itself: the shown page's list is the one stop.
    setFocusPolicy(Qt::NoFocus);
}

void CMusicListSheet::AddPage(CSheetPage* page) {
    if (page == nullptr)
        return;
    page->setParent(this);
    page->hide();
    pages_.push_back(page);
}

CSheetPage* CMusicListSheet::Page(int index) const {
    if (index < 0 || index >= PageCount())
        return nullptr;
    return pages_[static_cast<size_t>(index)];
}

void CMusicListSheet::Create(QWidget* parent, const QRect& placeholder) {
    setParent(parent);
    setGeometry(placeholder);
    created_ = true;
    if (!SetActivePage(startPage_))
        SetActivePage(0);
    show();
}

bool CMusicListSheet::SetActivePage(int index) {
    CSheetPage* page = Page(index);
    if (page == nullptr)
        return false;
    // The page fills the sheet; registered once, on its first activation.
    page->setGeometry(rect());
    if (!layout_.Contains(page))
        layout_.AddAnchored(page);
    page->EnsureInitialised();
    for (CSheetPage* other : pages_) {
        if (other != page)
            other->hide();
    }
    page->show();
    active_ = index;
    page->Activate();
    return true;
}
