#pragma once

#include <QString>
#include <QStringView>

// A currency pair's symbol, such as "EUR/USD": the first seven characters of a currency list item
// ("EUR/USD - DOLLARO USA - 1"). Each caller decides what blanks to drop around the item first.
namespace PairSymbol {
constexpr qsizetype length = 7;
// A text shorter than a symbol is taken whole.
QString of(QStringView item);
} // namespace PairSymbol
