#include "widgetboard.h"

#include <QLineEdit>
#include <QWidget>

namespace orbisk {

QString WidgetBoard::objectName(Field field)
{
    switch (field.kind) {
    case Field::Kind::Bid:
        return QStringLiteral("txtBid%1").arg(field.leg);
    case Field::Kind::Ask:
        return QStringLiteral("txtAsk%1").arg(field.leg);
    case Field::Kind::Spread:
        return QStringLiteral("txtSpread%1").arg(field.leg);
    case Field::Kind::BuySideMeasure:
        return QStringLiteral("txtBidCross1");
    case Field::Kind::SellSideMeasure:
        return QStringLiteral("txtAskCross1");
    }
    return {};
}

std::size_t WidgetBoard::slot(Field field)
{
    switch (field.kind) {
    case Field::Kind::Bid:
    case Field::Kind::Ask:
    case Field::Kind::Spread:
        return static_cast<std::size_t>(field.kind) * legCount + static_cast<std::size_t>(field.leg - 1);
    case Field::Kind::BuySideMeasure:
        return fieldCount - 2;
    case Field::Kind::SellSideMeasure:
        return fieldCount - 1;
    }
    return 0;
}

WidgetBoard::WidgetBoard(const QWidget *window)
{
    const auto find = [window](Field field) {
        auto *edit = window->findChild<QLineEdit *>(objectName(field));
        Q_ASSERT(edit);
        return edit;
    };
    for (int leg = 1; leg <= legCount; ++leg) {
        for (const Field field : {Field::bid(leg), Field::ask(leg), Field::spread(leg)})
            m_edits[slot(field)] = find(field);
    }
    for (const Field field : {Field::buySideMeasure(), Field::sellSideMeasure()})
        m_edits[slot(field)] = find(field);
}

std::string WidgetBoard::text(Field field) const
{
    return m_edits[slot(field)]->text().toStdString();
}

void WidgetBoard::setText(Field field, const std::string &text)
{
    m_edits[slot(field)]->setText(QString::fromStdString(text));
}

} // namespace orbisk
