#include <gtest/gtest.h>
#include "kxsql.h"
TEST(Token, Placeholder) { SQLToken<char> t; EXPECT_TRUE(t.Is(SQLTOKEN_TYPE::NONE)); }
