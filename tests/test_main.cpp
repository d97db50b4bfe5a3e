// Test entry: the toolkit as the program starts it (project record, locale,
// translations), then every test. Widget tests run headless.
#include <gtest/gtest.h>

#include <cstdlib>

#include "frame/project.h"

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
    // A death test runs in a fresh process of its own, not a fork of this one:
    // the toolkit's threads and locks do not survive a fork.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#ifndef _WIN32
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    tk::Application application(PROJECT);
    return RUN_ALL_TESTS();
}
