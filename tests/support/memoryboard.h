// An in-memory quote board for the engine tests, fuzzers and benchmarks: the main window's initial texts, and
// a log of every write in order.
#pragma once

#include "engine/defaults.h"
#include "engine/quoteboard.h"

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

class MemoryBoard : public orbisk::QuoteBoard {
public:
    using Field = orbisk::Field;

    MemoryBoard()
    {
        for (int leg = 1; leg <= orbisk::legCount; ++leg) {
            const orbisk::LegDefaults &quotes = orbisk::defaultLegs[leg - 1];
            m_texts[key(Field::bid(leg))] = quotes.bid;
            m_texts[key(Field::ask(leg))] = quotes.ask;
            m_texts[key(Field::spread(leg))] = orbisk::defaultSpread;
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
        if (afterWrite)
            afterWrite(field);
    }

    // Sets a text as the user would type it: not logged.
    void type(Field field, const std::string &text) { m_texts[key(field)] = text; }

    std::vector<std::pair<Field, std::string>> writes;
    std::function<void(Field)> afterWrite; // runs after every logged write, as the window's handlers do

private:
    static std::tuple<int, int, int> key(Field field)
    {
        return {static_cast<int>(field.kind), field.leg, static_cast<int>(field.measure)};
    }

    std::map<std::tuple<int, int, int>, std::string> m_texts;
};
