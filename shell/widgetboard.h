// The engine's quote board backed by the main window's text boxes.
#pragma once

#include "quoteboard.h"

#include <QString>

#include <array>

class QLineEdit;
class QWidget;

namespace orbisk {

class WidgetBoard final : public QuoteBoard {
public:
    // Finds the board's fields among the window's children by name, once.
    explicit WidgetBoard(const QWidget *window);

    [[nodiscard]] std::string text(Field field) const override;
    void setText(Field field, const std::string &text) override;

    // The object name of the text box that shows the field.
    static QString objectName(Field field);

private:
    static constexpr std::size_t fieldCount = 3 * legCount + 2;
    static std::size_t slot(Field field);

    std::array<QLineEdit *, fieldCount> m_edits{};
};

} // namespace orbisk
