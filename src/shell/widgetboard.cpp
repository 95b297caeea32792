#include "shell/widgetboard.h"

#include <QLineEdit>

namespace orbisk {

QLineEdit *WidgetBoard::edit(Field field) const
{
    switch (field.kind) {
    case Field::Kind::Bid:
        return m_controls.legs.at(field.leg - 1).bid;
    case Field::Kind::Ask:
        return m_controls.legs.at(field.leg - 1).ask;
    case Field::Kind::Spread:
        return m_controls.legs.at(field.leg - 1).spread;
    case Field::Kind::Measure:
        break;
    }
    return field.measure == Measure::BuySide ? m_controls.buySide : m_controls.sellSide;
}

std::string WidgetBoard::text(Field field) const
{
    return edit(field)->text().toStdString();
}

void WidgetBoard::setText(Field field, const std::string &text)
{
    edit(field)->setText(QString::fromStdString(text));
}

} // namespace orbisk
