#pragma once
// A label with a cross mark and the fixed text "Need Advance Using" that lights up while the
// pointer is over it, with a pointing-hand cursor.
#include <QWidget>
#include <cstdint>

class CLabelMark : public QWidget {
    Q_OBJECT
public:
    static constexpr uint32_t kHoverColor = 0x00EAEAFF;  // COLORREF: RGB(255, 234, 234)

    explicit CLabelMark(QWidget* parent = nullptr);
    bool isHovered() const { return m_bHover; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_bHover = false;
};
