#include "controls/ReportListView.h"

#include "controls/PlainText.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>

namespace {
constexpr int kImageRole = Qt::UserRole + 1;

bool IsActivationKey(const QKeyEvent& key) {
    const int k = key.key();
    return (k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Space) &&
           (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}
} // namespace

ReportListView::ReportListView(QWidget* parent) : QTableWidget(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::StyledPanel);
    setTabKeyNavigation(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

void ReportListView::AddColumn(const QString& title, int width, Qt::Alignment align) {
    const int column = columnCount();
    setColumnCount(column + 1);
    auto* header = new QTableWidgetItem(title);
    header->setTextAlignment(align | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, header);
    setColumnWidth(column, width);
    aligns_.push_back(align);
}

void ReportListView::SetImageList(std::vector<QIcon> images, QSize iconSize) {
    images_ = std::move(images);
    setIconSize(iconSize);
    verticalHeader()->setDefaultSectionSize(
        std::max(iconSize.height() + 2, fontMetrics().height() + 6));
}

int ReportListView::AppendRow(std::initializer_list<QString> texts, int image) {
    const int row = rowCount();
    insertRow(row);
    int column = 0;
    for (const QString& text : texts) {
        if (column >= columnCount())
            break;
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        item->setTextAlignment(aligns_[column] | Qt::AlignVCenter);
        setItem(row, column, item);
        ++column;
    }
    for (; column < columnCount(); ++column) {
        auto* item = new QTableWidgetItem();
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        setItem(row, column, item);
    }
    if (image >= 0)
        SetItemImage(row, image);
    return row;
}

QString ReportListView::ItemText(int row, int column) const {
    const QTableWidgetItem* it = item(row, column);
    return it ? it->text() : QString();
}

int ReportListView::ItemImage(int row) const {
    const QTableWidgetItem* it = item(row, 0);
    if (it == nullptr)
        return -1;
    const QVariant image = it->data(kImageRole);
    return image.isValid() ? image.toInt() : -1;
}

bool ReportListView::SetItemImage(int row, int image) {
    QTableWidgetItem* it = item(row, 0);
    if (it == nullptr)
        return false;
    it->setData(kImageRole, image);
    if (image >= 0 && static_cast<size_t>(image) < images_.size())
        it->setIcon(images_[image]);
    else
        it->setIcon(QIcon());
    return true;
}

void ReportListView::SetRowEnabled(int row, bool enabled) {
    for (int column = 0; column < columnCount(); ++column) {
        if (QTableWidgetItem* it = item(row, column))
            it->setFlags(enabled ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags);
    }
}

bool ReportListView::IsRowEnabled(int row) const {
    const QTableWidgetItem* it = item(row, 0);
    return it != nullptr && (it->flags() & Qt::ItemIsEnabled);
}

int ReportListView::SelectedRow() const {
    const QList<QTableWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : items.front()->row();
}

void ReportListView::SelectRow(int row) {
    if (row < 0 || row >= rowCount()) {
        clearSelection();
        return;
    }
    selectRow(row);
}

void ReportListView::SetRowDescription(int row, const QString& text) {
    for (int column = 0; column < columnCount(); ++column)
        if (QTableWidgetItem* it = item(row, column))
            it->setData(Qt::AccessibleDescriptionRole, text);
}

QString ReportListView::CellToolTip(int row, int column) const {
    const QModelIndex index = model()->index(row, column);
    const QTableWidgetItem* it = item(row, column);
    if (it == nullptr || it->text().isEmpty())
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    // The delegate's width for the whole cell: image, text and margins.
    if (itemDelegateForIndex(index)->sizeHint(option, index).width() <= option.rect.width())
        return {};
    return PlainText::ToolTip(it->text());
}

bool ReportListView::event(QEvent* event) {
    // Enter and Space on a row are the row's own, before any shortcut of the window.
    if (event->type() == QEvent::ShortcutOverride &&
        IsActivationKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QTableWidget::event(event);
}

bool ReportListView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTableWidget::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = index.isValid() ? CellToolTip(index.row(), index.column()) : QString();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
    }
    return true;
}

void ReportListView::keyPressEvent(QKeyEvent* event) {
    if (!IsActivationKey(*event)) {
        QTableWidget::keyPressEvent(event);
        return;
    }
    // Taken even on an empty list: in a dialog Enter must not fall through to its default.
    event->accept();
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !IsRowEnabled(current.row()))
        return;
    SelectRow(current.row());
    emit doubleClicked(current);
}

void ReportListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    QTableWidget::mouseDoubleClickEvent(event);
}
