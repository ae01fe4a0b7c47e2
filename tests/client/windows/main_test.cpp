// The window tests' entry point: the one Qt application of the tests (qt_test_support.h) is made before the
// first test and destroyed after the last, as the program does with its own, so that the web engine's
// threads are shut down before the libraries' exit-time destructors free what those threads still use.
#include "tests/client/windows/qt_test_support.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication* app = &morven::testing::App();
    const int result = RUN_ALL_TESTS();
    delete app;
    return result;
}
