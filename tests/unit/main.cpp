// The panel's one thread runs in a single-threaded COM apartment (the XML parser needs it); so do the tests.
#include <gtest/gtest.h>

#include <objbase.h>

int main(int argc, char** argv)
{
    CoInitialize(nullptr);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
