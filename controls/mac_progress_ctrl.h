#pragma once
// The shaded progress bar: a raised bar in one colour over the face colour, or, in marquee
// mode, diagonal shaded stripes that run along the whole control while no position is known.
// Range, position, colour and marquee mode may be set from a worker thread: they are stored
// under a lock or atomically and the repaint is queued to the user-interface thread.
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "controls/gdi_paint.h"

COLORREF LightenColor(COLORREF color, int amount);
COLORREF DarkenColor(COLORREF color, int amount);

// The colours the bar is drawn with, all derived from the bar colour and the system shadows.
struct BarShades {
    COLORREF bar, light1, light2, light3, dark1, dark2, darkShadow, midShadow, shadow;
};
BarShades computeBarShades(COLORREF bar, COLORREF shadow, COLORREF darkShadow);

class CMacProgressCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMarqueeIntervalMs = 25;
    static constexpr int kMarqueePhases = 20;

    explicit CMacProgressCtrl(QWidget* parent = nullptr);

    void SetBarColor(COLORREF color);
    COLORREF GetBarColor() const;
    // Any nonzero value switches marquee mode on (the stripes restart at their first phase).
    void SetMarqueeMode(int on);
    int GetMarqueeMode() const;

    void SetRange(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    void SetPos(int pos);
    int GetPos() const;

    // The template's vertical style; user-interface thread only.
    void SetVertical(bool vertical);
    bool IsVertical() const { return m_bVertical; }

    // One marquee step: the stripes advance one pixel and the timer is armed again. The timer
    // calls it every 25 ms; tests call it directly.
    void OnTimer();
    int marqueeStep() const { return m_nStep.load(); }
    bool marqueeTimerActive() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Draws the whole control: the face, then the bar or the marquee stripes with their relief.
    void OnPaint();
    void scheduleRepaint();
    void applyMarqueeTimer();
    BarShades shades() const;

    std::atomic<int> m_nStep{0};
    std::atomic<int> m_bMarquee{0};
    std::atomic<COLORREF> m_crBar;
    mutable std::mutex m_rangeLock;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
    bool m_bVertical = false;
    QTimer m_timer;
};
