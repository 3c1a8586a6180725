#pragma once

// What the quote label shows: nothing yet, the mark of a quote that could not be had, or a quote.
// Only the window turns it into text.
struct ShownQuote
{
    enum class State { Empty, Unavailable, Quote };
    State state = State::Empty;
    double value = 0;

    static ShownQuote quote(double value) { return {State::Quote, value}; }
    static ShownQuote unavailable() { return {State::Unavailable, 0}; }
    bool operator==(const ShownQuote &) const = default;
};
