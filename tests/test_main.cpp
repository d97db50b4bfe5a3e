// Test entry: the toolkit as the program starts it (project record, locale,
// translations), then every test. Widget tests run headless.
#include <gtest/gtest.h>

#include <cstdlib>

#include "frame/project.h"

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    tk::Application application(PROJECT);
    return RUN_ALL_TESTS();
}
