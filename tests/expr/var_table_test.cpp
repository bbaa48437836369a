#include "expr/var_table.h"

#include <gtest/gtest.h>

#include "expr/compiled_expr.h"

using namespace vux;

TEST(VarTable, FindOrAddKeepsOneEntryPerExactName) {
    VarTable vars;
    EXPECT_EQ(FindOrAddVar(vars, "TEMP"), 0);
    EXPECT_EQ(FindOrAddVar(vars, "temp"), 1);  // case matters
    EXPECT_EQ(FindOrAddVar(vars, "TEMP"), 0);
    EXPECT_EQ(vars.entries.size(), 2u);
    EXPECT_EQ(vars.entries[1].value, 0.0);
}

TEST(VarTable, ConstantsAreAppendedEvenWhenRepeated) {
    ConstTable consts;
    AddConst(consts, "WINDOW_SIZE", 10);
    AddConst(consts, "WINDOW_SIZE", 20);
    ASSERT_EQ(consts.entries.size(), 2u);
    EXPECT_EQ(consts.entries[0].value, 10);
    EXPECT_EQ(consts.entries[1].value, 20);
}

TEST(VarTable, ResultVariableComesFirstAndConstantsAddNothing) {
    ConstTable consts;
    AddConst(consts, "ADC_OFFSET", 2500);
    VarTable vars;
    CompileExpr("SENSOR_PRES", "(PRES+ADC_OFFSET-500)", consts, vars);
    ASSERT_EQ(vars.entries.size(), 2u);
    EXPECT_EQ(vars.entries[0].name, "SENSOR_PRES");
    EXPECT_EQ(vars.entries[1].name, "PRES");
    EXPECT_EQ(FindOrAddVar(vars, "PRES"), 1);  // a later column finds the same entry
}
