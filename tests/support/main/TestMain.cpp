// The main of every test executable. It seals the process before anything
// else runs (SealedMachine), and for the widget suites (OSTREVANE_TEST_WITH_QT)
// then opens one offscreen QApplication for the whole run. A run that left
// something new at the real "/" fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

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
    int status = RUN_ALL_TESTS();
    // A test whose programs wrote into the real machine fails the run, even
    // when every check of its own passed.
    for (const std::string& name : machine.newAtTheRealRoot()) {
        std::cerr << "The tests made /" << name << " outside their scratch machine\n";
        status = 1;
    }
    return status;
}
