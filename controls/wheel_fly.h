#pragma once
// A busy wheel: a dark line through the centre that turns by 45 degrees on each Step. It has
// no timer of its own; its holder advances it.
#include <QWidget>
#include <cstdint>
#include <utility>

class CWheelFly : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSteps = 8;
    static constexpr uint32_t kLineColor = 0x00404040;

    explicit CWheelFly(QWidget* parent = nullptr);
    void Step();
    int step() const { return m_nStep; }
    // The line of a step, from its first point towards its second.
    std::pair<QPoint, QPoint> stepLine(int step) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect m_rcWheel;  // left, top, right, bottom as Windows rectangles keep them
    int m_nStepX = 0;
    int m_nStepY = 0;
    int m_nStep = 0;
};
