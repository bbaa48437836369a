#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr/compiled_expr.h"
#include "support/config_builder.h"
#include "support/expect.h"

using namespace vux;

namespace {

using Items = std::string;

Items CompileToItems(const std::string& text, ConstTable consts = {}) {
    VarTable vars;
    return test_support::RenderItems(CompileExpr("R", text, consts, vars), vars);
}

struct Case {
    const char* text;
    Items items;
};

class CompilerTable : public testing::TestWithParam<Case> {};

TEST_P(CompilerTable, EmitsPostfixItems) {
    EXPECT_EQ(CompileToItems(GetParam().text), GetParam().items) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    PrecedenceAndTokens, CompilerTable,
    testing::Values(
        Case{"a-b-c", "$a $b - $c -"},
        Case{"a/b/c", "$a $b / $c /"},
        Case{"a*b^c", "$a $b $c ^ *"},
        Case{"a^b*c", "$a $b ^ $c *"},
        Case{"a^b^c", "$a $b ^ $c ^"},  // left to right
        Case{"(a*b^c)", "$a $b $c ^ *"},
        Case{"((a*b^c))", "$a $b $c ^ *"},
        Case{"sin(a*b^c)", "$a $b $c ^ * s"},
        Case{"x+(a*b^c)", "$x $a $b $c ^ * +"},
        Case{"cos((x))", "$x c"},
        Case{"tan(x)*2", "$x t 2 *"},
        Case{"a+b*c-d", "$a $b $c * + $d -"},
        Case{"(a+b", "$a $b + ("},
        Case{"sin(x", "$x ( s"},
        Case{"sin*2", "$sin 2 *"},
        Case{"x.y", "$x $y"},
        Case{"2x5", "2 $x5"},
        Case{"1e5", "1 $e5"},
        Case{"2.5.1", "2.5"},
        Case{".5", "0.5"},
        Case{"a b", "$ab"},  // spaces neither end nor join tokens differently
        Case{"input*count", "input count *"},
        Case{"Input+COUNT", "$Input $COUNT +"},  // keywords are lower case only
        Case{"", ""},
        Case{"(", "("},
        Case{",=\t", ""}));

TEST(Compiler, FoldsConstantsReadBeforeCompiling) {
    ConstTable consts;
    AddConst(consts, "ADC_OFFSET", 2500);
    EXPECT_EQ(CompileToItems("(PRES+ADC_OFFSET-500)", consts),
              "$PRES 2500 + 500 -");
    EXPECT_EQ(CompileToItems("(TEMP+ADC_OFFSET)/((5000-(TEMP+ADC_OFFSET))/4000)", consts),
              "$TEMP 2500 + 5000 $TEMP 2500 + - 4000 / /");
}

TEST(Compiler, LaterOfTwoEqualConstantsWins) {
    ConstTable consts;
    AddConst(consts, "K", 1);
    AddConst(consts, "K", 2);
    EXPECT_EQ(CompileToItems("K", consts), "2");
}

TEST(Compiler, DefaultWindowFunctionAndItsShortVariant) {
    ConstTable consts;
    AddConst(consts, "WINDOW_SIZE", 10000);
    AddConst(consts, "PI", 3.14159265358979323846);
    VarTable vars;
    CompiledExpr w = CompileExpr("WINDOW_FUNCTION", "0.5*(1-cos((2*PI*input)/WINDOW_SIZE))", consts, vars);
    const Items expected = "0.5 1 2 3.1415926535897931 * input * 10000 / c - *";
    EXPECT_EQ(test_support::RenderItems(w, vars), expected);
    ASSERT_EQ(vars.entries.size(), 1u);  // only the result variable

    CompiledExpr s = CompileExpr("SHORT_WINDOW", "0.5*(1-cos((2*PI*input)/LINE_COUNT))", consts, vars);
    EXPECT_EQ(test_support::RenderItems(s, vars), "0.5 1 2 3.1415926535897931 * input * $LINE_COUNT / c - *");
    EXPECT_EQ(vars.entries[2].name, "LINE_COUNT");
}

TEST(Compiler, LongNamesAreAcceptedWhole) {
    const std::string name(300, 'n');
    EXPECT_EQ(CompileToItems(name + "+1"), "$" + name + " 1 +");
}

TEST(Compiler, UnbalancedClosingParenthesisStopsTheRun) {
    for (const char* text : {"a+b)", ")", "(a))", "sin(x))"}) {
        EXPECT_EQ(test_support::ExpectStop([&] { CompileToItems(text); }).kind, ErrorKind::UnbalancedParentheses)
            << text;
    }
}

TEST(Compiler, OperatorsMissingValuesAreRefusedNamingTheEquation) {
    for (const char* text : {"-x", "(-x)", "sin()", "2*", "*", "a+(*b)"}) {
        VarTable vars;
        const Error stop = test_support::ExpectStop([&] { CompileExpr("MY_EQ", text, {}, vars); });
        EXPECT_EQ(stop.kind, ErrorKind::MissingOperand) << text;
        EXPECT_EQ(stop.name, "MY_EQ") << text;
    }
}

TEST(Compiler, DeepExpressionsGetTheirOwnStack) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += "(1+";
    text += "1";
    for (int i = 0; i < 500; ++i) text += ")";
    VarTable vars;
    CompiledExpr e = CompileExpr("DEEP", text, {}, vars);
    EXPECT_EQ(e.items.size(), 1001u);
    EXPECT_EQ(EvaluateExpr(e, 0.0, vars, 0), 501.0);
}

}  // namespace
