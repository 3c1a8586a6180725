#include "common/testmain.h"

#include <QLocale>

namespace testing {

void prepareEnvironment()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

void pinItalianLocale()
{
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
}

} // namespace testing
