#include "formlayout.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace orbisk {

std::vector<ControlSpec> expandLegRows(const std::vector<LegRowSpec> &families, const QList<int> &rowTops)
{
    std::vector<ControlSpec> rows;
    for (const LegRowSpec &family : families) {
        for (int i = 0; i < rowTops.size(); ++i) {
            const QString accessibleName =
                family.accessibleName.isEmpty() ? QString() : family.accessibleName.arg(i + 1);
            rows.push_back({family.namePrefix + QString::number(i + 1), family.kind, family.frame,
                            family.left, rowTops[i], family.width, family.height, family.texts[i],
                            family.tabIndexes[i], accessibleName});
        }
    }
    return rows;
}

namespace {

QWidget *createControl(const ControlSpec &control, QWidget *parent)
{
    switch (control.kind) {
    case ControlKind::Frame:
        return new QGroupBox(control.text, parent);
    case ControlKind::Label:
        return new QLabel(control.text, parent);
    case ControlKind::TextBox:
        return new QLineEdit(control.text, parent);
    case ControlKind::Button:
        return new QPushButton(control.text, parent);
    }
    return nullptr;
}

} // namespace

QList<QWidget *> buildForm(QWidget *client, const std::vector<ControlSpec> &controls)
{
    std::vector<const ControlSpec *> ordered;
    ordered.reserve(controls.size());
    for (const ControlSpec &control : controls)
        ordered.push_back(&control);
    std::stable_partition(ordered.begin(), ordered.end(),
                          [](const ControlSpec *control) { return control->kind == ControlKind::Frame; });

    std::vector<std::pair<int, QWidget *>> focusable;
    for (const ControlSpec *control : ordered) {
        QWidget *parent = control->frame.isEmpty()
                              ? client
                              : client->findChild<QGroupBox *>(control->frame, Qt::FindDirectChildrenOnly);
        Q_ASSERT(parent);
        QWidget *widget = createControl(*control, parent);
        widget->setObjectName(control->name);
        widget->setAccessibleName(control->accessibleName);
        if (control->element >= 0)
            widget->setProperty("element", control->element);
        widget->setGeometry(pixels(control->left), pixels(control->top), pixels(control->width),
                            pixels(control->height));
        if (control->kind == ControlKind::TextBox || control->kind == ControlKind::Button)
            focusable.emplace_back(control->tabIndex, widget);
    }

    std::stable_sort(focusable.begin(), focusable.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<QWidget *> chain;
    for (const auto &entry : focusable)
        chain.append(entry.second);
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    return chain;
}

} // namespace orbisk
