#include "forms/formlayout.h"

#include "forms/layoutstyle.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace orbisk {
namespace {

template <typename Widget> Widget *create(Widget **handle, const QString &text, QWidget *parent)
{
    auto *widget = new Widget(text, parent);
    if (handle)
        *handle = widget;
    return widget;
}

QWidget *createControl(const ControlSpec &control, QWidget *parent)
{
    return std::visit(
        [&](const auto &kind) -> QWidget * { return create(kind.handle, control.text, parent); },
        control.kind);
}

void place(QWidget *widget, const QString &name, const TwipsRect &rect, int element)
{
    widget->setObjectName(name);
    if (element >= 0)
        widget->setProperty("element", element);
    widget->setGeometry(rect.toPixels());
}

} // namespace

std::vector<ControlSpec> joined(std::initializer_list<std::vector<ControlSpec>> families)
{
    std::vector<ControlSpec> controls;
    for (const auto &family : families)
        controls.insert(controls.end(), family.begin(), family.end());
    return controls;
}

std::vector<QWidget *> buildForm(QWidget *client, const FormSpec &form)
{
    std::vector<std::pair<int, QWidget *>> focusable;
    const auto add = [&](const std::vector<ControlSpec> &controls, QWidget *parent) {
        for (const ControlSpec &control : controls) {
            QWidget *widget = createControl(control, parent);
            place(widget, control.name, control.rect, control.element);
            widget->setAccessibleName(control.inert ? QStringLiteral("Unused") : control.accessibleName);
            if (!std::holds_alternative<Label>(control.kind))
                focusable.emplace_back(control.tabIndex, widget);
        }
    };
    std::vector<QGroupBox *> boxes;
    for (const FrameSpec &frame : form.frames) {
        auto *box = boxes.emplace_back(new QGroupBox(frame.caption, client));
        place(box, frame.name, frame.rect, frame.element);
        add(frame.controls, box);
    }
    add(form.controls, client);
    // The frames' own style, made after them so that it outlives them as the client's child;
    // their controls keep the application's.
    auto *frameStyle = new CompactFrameStyle;
    frameStyle->setParent(client);
    for (QGroupBox *box : boxes)
        box->setStyle(frameStyle);

    std::stable_sort(focusable.begin(), focusable.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<QWidget *> chain;
    chain.reserve(focusable.size());
    for (const auto &entry : focusable)
        chain.push_back(entry.second);
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    return chain;
}

} // namespace orbisk
