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

QWidget *createControl(const ControlSpec &spec, QWidget *parent)
{
    switch (spec.kind) {
    case ControlKind::Frame:
        return new QGroupBox(spec.text, parent);
    case ControlKind::Label:
        return new QLabel(spec.text, parent);
    case ControlKind::TextBox:
        return new QLineEdit(spec.text, parent);
    case ControlKind::Button:
        return new QPushButton(spec.text, parent);
    }
    return nullptr;
}

} // namespace

QList<QWidget *> buildForm(QWidget *client, const std::vector<ControlSpec> &controls)
{
    std::vector<const ControlSpec *> ordered;
    ordered.reserve(controls.size());
    for (const ControlSpec &spec : controls)
        ordered.push_back(&spec);
    std::stable_partition(ordered.begin(), ordered.end(),
                          [](const ControlSpec *spec) { return spec->kind == ControlKind::Frame; });

    std::vector<std::pair<int, QWidget *>> focusable;
    for (const ControlSpec *spec : ordered) {
        QWidget *parent = spec->frame.isEmpty()
                              ? client
                              : client->findChild<QGroupBox *>(spec->frame, Qt::FindDirectChildrenOnly);
        Q_ASSERT(parent);
        QWidget *widget = createControl(*spec, parent);
        widget->setObjectName(spec->name);
        widget->setAccessibleName(spec->accessibleName);
        if (spec->element >= 0)
            widget->setProperty("element", spec->element);
        widget->setGeometry(pixels(spec->left), pixels(spec->top), pixels(spec->width), pixels(spec->height));
        if (spec->kind == ControlKind::TextBox || spec->kind == ControlKind::Button)
            focusable.emplace_back(spec->tabIndex, widget);
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
