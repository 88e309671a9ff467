#pragma once
// Turns dialog templates and menus (res/) into Qt widgets. Controls carry their template id
// and are looked up by it; handlers are connected by id, so a dialog class reads like its
// message map.
#include <QDialog>
#include <QString>
#include <QWidget>
#include <functional>
#include <unordered_map>

#include "res/dialog_template.h"
#include "res/menu.h"

class QMenuBar;
class QAction;

namespace ui {

// Pixels per dialog unit of a font: x * average character width / 4, y * height / 8.
struct DialogUnits {
    int charWidth = 0;
    int charHeight = 0;
    int x(int units) const;
    int y(int units) const;
    QRect toPixels(const res::Place& place) const;
};

// The font of a template; the Windows dialog faces become the system sans font at the same
// point size.
QFont templateFont(const res::FontSpec& spec);
DialogUnits dialogUnits(const QFont& font);

// The control id a widget carries, or res::kNoId.
int controlId(const QWidget* widget);
// Gives a widget built outside a template its control id.
void setControlId(QWidget* widget, int id);

// The controls built from one template, by id.
class ControlSet {
public:
    // Builds the controls as children of host in template order (which is also the tab
    // order), gives host the template's font and caption and fixes its size.
    void build(QWidget* host, const res::DialogTemplate& dialog);

    QWidget* control(int id) const;
    template <class W>
    W* control(int id) const { return qobject_cast<W*>(control(id)); }
    // Puts a dialog's own widget class in a control's place: geometry, id and visibility
    // carry over, the placeholder goes.
    void replace(int id, QWidget* widget);
    const DialogUnits& units() const { return units_; }

    // The usual operations on a control by id; unknown ids do nothing.
    void setText(int id, const QString& text);
    QString text(int id) const;
    void show(int id, bool visible);
    void enable(int id, bool enabled);
    bool isChecked(int id) const;
    // The program's own change of a box: like a dialog's own check, it notifies nobody.
    void setChecked(int id, bool checked);
    void setIcon(int id, int iconId);
    // The icon resource an icon picture or icon button shows, 0 for none.
    int icon(int id) const;

    // Notifications: a button (or clickable picture) clicked, a check box's state changed by
    // whatever means other than setChecked (mouse, keyboard, an accessibility action), an
    // edit's text changed, a list or combo selection changed by the operator, a list item
    // double-clicked.
    void onClicked(int id, std::function<void()> handler);
    void onToggled(int id, std::function<void()> handler);
    void onChanged(int id, std::function<void()> handler);
    void onSelChange(int id, std::function<void()> handler);
    void onDoubleClicked(int id, std::function<void()> handler);

private:
    QWidget* makeControl(QWidget* host, const res::ControlTemplate& item, QWidget* previous);

    std::unordered_map<int, QWidget*> byId_;
    DialogUnits units_;
};

// A widget built from a template. Pages are Templated<QWidget>, modal dialogs
// Templated<QDialog>.
template <class Base>
class Templated : public Base {
public:
    explicit Templated(const res::DialogTemplate& dialog, QWidget* parent = nullptr) : Base(parent) {
        controls_.build(this, dialog);
    }

    QWidget* control(int id) const { return controls_.control(id); }
    ControlSet& controls() { return controls_; }
    const ControlSet& controls() const { return controls_; }

protected:
    template <class C>
    void onClicked(int id, void (C::*handler)()) { controls_.onClicked(id, bind(handler)); }
    template <class C>
    void onToggled(int id, void (C::*handler)()) { controls_.onToggled(id, bind(handler)); }
    template <class C>
    void onChanged(int id, void (C::*handler)()) { controls_.onChanged(id, bind(handler)); }
    template <class C>
    void onSelChange(int id, void (C::*handler)()) { controls_.onSelChange(id, bind(handler)); }
    template <class C>
    void onDoubleClicked(int id, void (C::*handler)()) { controls_.onDoubleClicked(id, bind(handler)); }

private:
    template <class C>
    std::function<void()> bind(void (C::*handler)()) {
        return [this, handler] { (static_cast<C*>(this)->*handler)(); };
    }

    ControlSet controls_;
};

using TemplateDialog = Templated<QDialog>;
using TemplatePage = Templated<QWidget>;

// Fills a menu bar from a menu template; every command runs onCommand with its id.
void buildMenuBar(QMenuBar* bar, const res::MenuTemplate& menu, const std::function<void(int)>& onCommand);
// The action of a command in a menu bar (searched through the popups), or nullptr.
QAction* findCommand(QMenuBar* bar, int command);
// Removes a command from a menu bar, as DeleteMenu by command does.
void removeCommand(QMenuBar* bar, int command);

}  // namespace ui
