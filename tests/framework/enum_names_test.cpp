#include "framework/enum_names.h"

#include <gtest/gtest.h>

namespace {
enum TTestFruit : int { tfApple, tfPear, tfPlum };
}

using namespace qv;

TEST(EnumNames, RegisteredByTypeAndLookedUpBothWays)
{
    TEnumNames::Register<TTestFruit>({"tfApple", "tfPear", "tfPlum"});
    const char* type = QMetaType::fromType<TTestFruit>().name();
    EXPECT_TRUE(TEnumNames::IsKnown(type));
    EXPECT_EQ(TEnumNames::ValueOf(type, "tfPlum"), 2);
    EXPECT_FALSE(TEnumNames::ValueOf(type, "tfCherry").has_value());
    EXPECT_EQ(TEnumNames::NameOf(type, 1), "tfPear");
    EXPECT_EQ(TEnumNames::NameOf(type, 7), "7");
    EXPECT_FALSE(TEnumNames::ValueOf("NoSuchType", "x").has_value());
}
