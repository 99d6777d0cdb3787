#include <gtest/gtest.h>
#include "json/json.h"
TEST(Json, ParsesATrueValue) { EXPECT_TRUE(tov::json::parse("true").has_value()); }
