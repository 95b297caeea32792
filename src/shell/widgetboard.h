// The engine's quote board backed by the main window's text boxes.
#pragma once

#include "engine/quoteboard.h"
#include "shell/mainlayout.h"

namespace orbisk {

class WidgetBoard final : public QuoteBoard {
public:
    explicit WidgetBoard(const MainControls &controls)
        : m_controls(controls)
    {
    }

    [[nodiscard]] std::string text(Field field) const override;
    void setText(Field field, const std::string &text) override;

private:
    [[nodiscard]] QLineEdit *edit(Field field) const;

    const MainControls &m_controls;
};

} // namespace orbisk
