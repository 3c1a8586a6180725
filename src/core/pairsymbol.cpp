#include "core/pairsymbol.h"

namespace PairSymbol {

QString of(QStringView item)
{
    return item.left(length).toString();
}

} // namespace PairSymbol
