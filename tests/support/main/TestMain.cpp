// The main of every test executable. It seals the process before anything
// else runs (SealedMachine), and for the widget suites (OSTREVANE_TEST_WITH_QT)
// then opens one offscreen QApplication for the whole run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SealedMachine.hpp"

#ifdef OSTREVANE_TEST_WITH_QT
#include <QApplication>
#endif

int main(int argc, char** argv) {
    testing_support::SealedMachine machine;
#ifdef OSTREVANE_TEST_WITH_QT
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
