#include "base/userdialogs.h"

QString appTitle()
{
    return QStringLiteral("Quotazioni Valute");
}
