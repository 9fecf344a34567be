#pragma once
#include <QIcon>
#include <QString>
#include <QTableWidget>
#include <initializer_list>
#include <vector>

// A list in report view: columns with headers, single full-row selection that stays shown, grid
// lines, and a small image in front of each row's first column, chosen by index from an image
// list. Rows are read-only. Only a left-button double-click counts as one (doubleClicked); with
// another button the second press is just a press. Enter, Return and Space on a row act as its
// double-click does. It is one Tab stop: the arrow keys move inside it, Tab leaves it. A cell
// too narrow for its text shows it cut with an ellipsis and the whole text as its tooltip.
class ReportListView : public QTableWidget {
    Q_OBJECT
public:
    explicit ReportListView(QWidget* parent = nullptr);

    void AddColumn(const QString& title, int width, Qt::Alignment align = Qt::AlignLeft);
    // Images of iconSize each; rows are at least that tall.
    void SetImageList(std::vector<QIcon> images, QSize iconSize);

    // Appends a row with the given column texts and image; returns its index.
    int AppendRow(std::initializer_list<QString> texts, int image = -1);
    void DeleteAllItems() { setRowCount(0); }
    int ItemCount() const { return rowCount(); }
    QString ItemText(int row, int column) const;
    // -1 when the row does not exist or has no image.
    int ItemImage(int row) const;
    bool SetItemImage(int row, int image);
    // A disabled row is greyed and can be neither selected nor double-clicked.
    void SetRowEnabled(int row, bool enabled);
    bool IsRowEnabled(int row) const;
    int SelectedRow() const;
    void SelectRow(int row);
    // What assistive tools read as the row's state ("liked, playing"), on each of its cells.
    void SetRowDescription(int row, const QString& text);
    // The whole text as a plain tooltip when the cell shows it cut, else empty.
    QString CellToolTip(int row, int column) const;

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::vector<QIcon> images_;
    std::vector<Qt::Alignment> aligns_;
};
