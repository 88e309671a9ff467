#pragma once
// Edit fields for a start address typed in hexadecimal. Only hexadecimal digits and the
// editing keys get through; Enter stays in the field. A fixed suffix after the digits shows
// the address's low digits that the field leaves out ("0": the text is the address / 16).
#include <QLineEdit>

#include "controls/gdi_paint.h"

class CHexAddrEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kSuffixWidth = 12;

    explicit CHexAddrEdit(QWidget* parent = nullptr);
    // The strip at the right that holds the suffix, in the field's coordinates.
    QRect suffixRect() const;
    const QString& suffix() const { return m_strSuffix; }

protected:
    CHexAddrEdit(QWidget* parent, const QString& suffix);
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_strSuffix;
};

// The same field with the suffix "00" (the text is the address / 256).
class CHexAddrEdit2 : public CHexAddrEdit {
    Q_OBJECT
public:
    explicit CHexAddrEdit2(QWidget* parent = nullptr);
};
