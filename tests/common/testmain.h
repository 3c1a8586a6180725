#pragma once

#include <QApplication>
#include <QTest>

namespace testing {
// Offscreen platform and Italian number formats, whatever the machine is set to.
void prepareEnvironment();
void pinItalianLocale();
} // namespace testing

#define QUOTAZIONI_TEST_MAIN(TestClass)                                                                      \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        testing::prepareEnvironment();                                                                       \
        QApplication app(argc, argv);                                                                        \
        testing::pinItalianLocale();                                                                         \
        TestClass tc;                                                                                        \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
