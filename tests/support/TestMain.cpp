// Shared main of the test programs: a QApplication on the offscreen platform,
// so port events and form timers have the user-interface thread they expect.
// Its screen is 1024 x 768, the smallest every window of the program must fit.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#ifndef KVT_TEST_SCREEN
#error "KVT_TEST_SCREEN must name the offscreen platform's screen configuration"
#endif

int main(int argc, char** argv)
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || std::string(platform) == "offscreen")
        setenv("QT_QPA_PLATFORM", "offscreen:configfile=" KVT_TEST_SCREEN, 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
