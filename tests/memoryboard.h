// An in-memory quote board for engine tests: the main window's initial texts, and a log of
// every write in order.
#pragma once

#include "quoteboard.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class MemoryBoard final : public orbisk::QuoteBoard {
public:
    using Field = orbisk::Field;

    MemoryBoard()
    {
        const char *bids[] = {"1.6364", "0.7225", "1.1826"};
        const char *asks[] = {"1.6369", "0.7230", "1.1831"};
        for (int leg = 1; leg <= orbisk::legCount; ++leg) {
            m_texts[key(Field::bid(leg))] = bids[leg - 1];
            m_texts[key(Field::ask(leg))] = asks[leg - 1];
            m_texts[key(Field::spread(leg))] = "5";
        }
    }

    [[nodiscard]] std::string text(Field field) const override
    {
        const auto found = m_texts.find(key(field));
        return found == m_texts.end() ? std::string() : found->second;
    }

    void setText(Field field, const std::string &text) override
    {
        m_texts[key(field)] = text;
        writes.emplace_back(field, text);
    }

    // Sets a text as the user would type it: not logged.
    void type(Field field, const std::string &text) { m_texts[key(field)] = text; }

    std::vector<std::pair<Field, std::string>> writes;

private:
    static std::pair<int, int> key(Field field) { return {static_cast<int>(field.kind), field.leg}; }

    std::map<std::pair<int, int>, std::string> m_texts;
};
