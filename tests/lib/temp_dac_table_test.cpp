#include <gtest/gtest.h>

#include "test_host.h"

using namespace calvex_test;

TEST(TempDacTable, Placeholder) { SUCCEED(); }
