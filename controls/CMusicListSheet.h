#pragma once
#include "controls/LayoutMgr.h"

#include <QWidget>
#include <vector>

class CSheetPage;

// The list sheet of the main window: a stack of pages without tabs or buttons, one page shown
// at a time and sized to fill the sheet (and kept so on resize). Tab reaches only the shown
// page's controls.
class CMusicListSheet : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPlaceholderId = 1006; // the control whose rectangle the sheet takes

    explicit CMusicListSheet(QWidget* parent = nullptr);

    // Pages in the order of their indices; the sheet takes them as its children.
    void AddPage(CSheetPage* page);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    CSheetPage* Page(int index) const;

    // Before Create: the page shown first.
    void SetStartPage(int index) { startPage_ = index; }
    // Becomes a child of parent over the placeholder's rectangle, showing the start page.
    void Create(QWidget* parent, const QRect& placeholder);
    bool IsCreated() const { return created_; }

    // Shows page index (initialising it the first time) sized to the sheet; false when there is
    // no such page.
    bool SetActivePage(int index);
    int ActivePageIndex() const { return active_; }

private:
    LayoutMgr layout_;
    std::vector<CSheetPage*> pages_; // children of the sheet
    int startPage_ = 0;
    int active_ = -1;
    bool created_ = false;
};
