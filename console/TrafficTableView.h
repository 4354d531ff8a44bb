#pragma once

#include <QTableView>

// The traffic monitor's table (left to right, without spans). While following, each update of
// the table repaints a whole page, and the view strokes its grid lines through it pixel by
// pixel; here the same lines are filled as rectangles one pixel wide, the same pixels at a
// fraction of the cost. A style that asks for lines beside hidden headers keeps the view's own.
class TrafficTableView final : public QTableView {
public:
    explicit TrafficTableView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FillGrid(const QRegion& region);

    bool fillGrid_ = false;
};
