// Fixed window layouts described as tables.
//
// Both windows place every control at a fixed position given in twips (1/1440 inch): frames on
// the client area, controls inside their frame, relative to its top-left corner. A window is
// built from a list of such rows instead of pages of construction calls.
#pragma once

#include <QList>
#include <QString>

#include <vector>

class QWidget;

namespace orbisk {

enum class ControlKind { Frame, Label, TextBox, Button };

struct ControlSpec {
    QString name;
    ControlKind kind;
    QString frame; // empty: placed on the client area
    int left;      // twips
    int top;
    int width;
    int height;
    QString text; // caption, or the text box's initial text
    int tabIndex;
    QString accessibleName = {}; // what a screen reader calls the control
    int element = -1;            // index within a control group sharing one name; -1 when not in one
};

// One family of three controls, one per leg, sharing everything but row, name and values.
struct LegRowSpec {
    QString namePrefix; // the leg number is appended
    ControlKind kind;
    QString frame;
    int left;
    int width;
    int height;
    QList<QString> texts; // legs 1, 2, 3
    QList<int> tabIndexes;
    QString accessibleName = {}; // "%1" stands for the leg number
};

constexpr int twipsPerPixel = 15;

constexpr int pixels(int twips)
{
    return twips / twipsPerPixel;
}

// Expands leg families into rows at the given row tops.
std::vector<ControlSpec> expandLegRows(const std::vector<LegRowSpec> &families, const QList<int> &rowTops);

// Creates the controls as children of the client widget (frames first, so controls can be
// placed in them), names them, and chains the keyboard focus order by ascending tab index.
// Returns the focusable controls in that order.
QList<QWidget *> buildForm(QWidget *client, const std::vector<ControlSpec> &controls);

} // namespace orbisk
