#include "StationUnderTest.h"

namespace {

// Ends the tests' application after the last test, inside main.
class QtApplicationEnvironment : public ::testing::Environment
{
public:
    void TearDown() override
    {
        delete StationUnderTest::Instance();
        StationUnderTest::Instance() = nullptr;
    }
};

const ::testing::Environment* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace
