#pragma once
// The map of sixteen protected flash blocks: a green strip of sixteen 6-pixel cells, the
// cells of the mask's set bits filled red (type 0) or orange (type 1), framed in black.
// Bit 0 is the leftmost cell. The map is 96 x 14 pixels in the top-left corner of the control
// whatever its size; the frame's right and bottom lines fall just outside that area.
#include <QWidget>
#include <cstdint>

class CProtectArea : public QWidget {
public:
    explicit CProtectArea(QWidget* parent = nullptr);

    // Takes the stored protect address, mask and PcROP type and redraws.
    void ShowStoredSettings();

    // The owner sets the fields and calls update().
    uint32_t m_dwProtectAddr = 0;  // not drawn
    uint16_t m_wMask = 0;
    uint32_t m_nType = 0;  // 0 red, 1 orange, any other value draws no cells

protected:
    void paintEvent(QPaintEvent* event) override;
};
