// Fixed window layouts described as tables.
//
// Both windows place every control at a fixed position given in twips (1/1440 inch): frames on
// the client area, controls inside their frame, relative to its top-left corner. A window is
// built from such a table instead of pages of construction calls, and gets typed handles to the
// controls it works with.
#pragma once

#include <QRect>
#include <QString>

#include <array>
#include <initializer_list>
#include <variant>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace orbisk {

constexpr int twipsPerPixel = 15; // at 96 dots per inch

constexpr int pixels(int twips)
{
    return twips / twipsPerPixel;
}

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;

    [[nodiscard]] QRect toPixels() const
    {
        return {pixels(left), pixels(top), pixels(width), pixels(height)};
    }
};

// The kind of a control, with where the window keeps its handle to it (none for a control
// nothing refers to).
struct Label {
    QLabel **handle = nullptr;
};
struct TextBox {
    QLineEdit **handle = nullptr;
};
struct Button {
    QPushButton **handle = nullptr;
};
using ControlKind = std::variant<Label, TextBox, Button>;

struct ControlSpec {
    QString name;
    ControlKind kind;
    TwipsRect rect;
    QString text = {}; // caption, or the text box's initial text
    int tabIndex = 0;
    int element = -1;            // index within a control group sharing one name; -1 when not in one
    QString accessibleName = {}; // for a control that keeps it for good
    bool inert = false;          // there for the layout's sake only: clipped away, doing nothing
};

struct FrameSpec {
    QString name;
    QString caption;
    TwipsRect rect;
    int tabIndex; // the form's own numbering, kept with it; a frame takes no focus
    int element = -1;
    std::vector<ControlSpec> controls = {}; // placed relative to the frame
};

struct FormSpec {
    std::vector<FrameSpec> frames;
    std::vector<ControlSpec> controls = {}; // placed on the client area
};

// Rows within a frame: the first at 240 twips from its top, each next one 360 further down.
constexpr int rowTop(std::size_t row)
{
    return 240 + 360 * static_cast<int>(row);
}

// One family of controls, one per row, that differ only in name, row and values.
template <std::size_t Rows> struct RowFamily {
    QString namePrefix; // the row's number, from 1, is appended
    int left;
    int width;
    int height;
    std::array<QString, Rows> texts; // in row order
    std::array<int, Rows> tabIndexes;
};

// The controls of a family in row order, with their kinds and handles.
template <std::size_t Rows>
std::vector<ControlSpec> rowFamily(const RowFamily<Rows> &family, const std::array<ControlKind, Rows> &kinds)
{
    std::vector<ControlSpec> controls;
    controls.reserve(Rows);
    for (std::size_t row = 0; row < Rows; ++row) {
        controls.push_back({.name = family.namePrefix + QString::number(row + 1),
                            .kind = kinds[row],
                            .rect = {family.left, rowTop(row), family.width, family.height},
                            .text = family.texts[row],
                            .tabIndex = family.tabIndexes[row]});
    }
    return controls;
}

// The controls of several families, one after the other.
std::vector<ControlSpec> joined(std::initializer_list<std::vector<ControlSpec>> families);

inline ControlKind kindFor(QLabel **handle)
{
    return Label{handle};
}
inline ControlKind kindFor(QLineEdit **handle)
{
    return TextBox{handle};
}
inline ControlKind kindFor(QPushButton **handle)
{
    return Button{handle};
}

// The kinds and handles of one member of every row's controls, in row order.
template <typename Row, std::size_t Rows, typename Widget>
std::array<ControlKind, Rows> perRow(std::array<Row, Rows> &rows, Widget *Row::*member)
{
    std::array<ControlKind, Rows> kinds;
    for (std::size_t row = 0; row < Rows; ++row)
        kinds[row] = kindFor(&(rows[row].*member));
    return kinds;
}

// Creates the controls as children of the client widget, names them, stores the handles, draws
// the frames in CompactFrameStyle, and chains the keyboard focus order by ascending tab index.
// Returns the focusable controls in that order.
std::vector<QWidget *> buildForm(QWidget *client, const FormSpec &form);

} // namespace orbisk
