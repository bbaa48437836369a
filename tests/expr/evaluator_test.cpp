#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "expr/compiled_expr.h"

using namespace vux;

namespace {

struct Engine {
    ConstTable consts;
    VarTable vars;

    void Set(const std::string& name, double value) {
        vars.entries[static_cast<size_t>(FindOrAddVar(vars, name))].value = value;
    }
    double Eval(const std::string& text, double input = 0.0, int32_t position = 0) {
        CompiledExpr e = CompileExpr("R", text, consts, vars);
        return EvaluateExpr(e, input, vars, position);
    }
};

TEST(Evaluator, OperandsAreTakenInWrittenOrder) {
    Engine g;
    g.Set("a", 5);
    g.Set("b", 3);
    EXPECT_EQ(g.Eval("a-b"), 2.0);
    g.Set("a", 6);
    EXPECT_EQ(g.Eval("a/b"), 2.0);
    g.Set("a", 2);
    g.Set("b", 10);
    EXPECT_EQ(g.Eval("a^b"), 1024.0);
    EXPECT_EQ(g.Eval("2^3^2"), 64.0);  // (2^3)^2
    EXPECT_EQ(g.Eval("2*3^2"), 18.0);
    EXPECT_EQ(g.Eval("10-4-3"), 3.0);
}

TEST(Evaluator, DefaultWindowFunction) {
    Engine g;
    AddConst(g.consts, "WINDOW_SIZE", 10000);
    AddConst(g.consts, "PI", 3.14159265358979323846);
    CompiledExpr w = CompileExpr("WINDOW_FUNCTION", "0.5*(1-cos((2*PI*input)/WINDOW_SIZE))", g.consts, g.vars);
    EXPECT_EQ(EvaluateExpr(w, 0, g.vars, 0), 0.0);
    EXPECT_EQ(EvaluateExpr(w, 5000, g.vars, 0), 1.0);
    EXPECT_NEAR(EvaluateExpr(w, 2500, g.vars, 0), 0.5, 1e-16);
    EXPECT_EQ(g.vars.entries[static_cast<size_t>(w.resultVar)].value, EvaluateExpr(w, 2500, g.vars, 0));
}

TEST(Evaluator, DivisionByZeroAndNaNFlowThrough) {
    Engine g;
    EXPECT_EQ(g.Eval("1/0"), INFINITY);
    const double nan = g.Eval("0/0");
    EXPECT_TRUE(std::isnan(nan));
    EXPECT_TRUE(std::isnan(g.vars.entries[0].value));  // stored in the result variable
    EXPECT_TRUE(std::isnan(g.Eval("(0-2)^0.5")));
}

TEST(Evaluator, FunctionsUseRadians) {
    Engine g;
    AddConst(g.consts, "PI", 3.14159265358979323846);
    EXPECT_NEAR(g.Eval("tan(PI/4)"), 1.0, 2.3e-16);
    EXPECT_NEAR(g.Eval("sin(PI/2)+cos(0)"), 2.0, 1e-15);
    EXPECT_EQ(g.Eval("tan(0)+1"), 1.0);  // one value left after a function
}

TEST(Evaluator, InputCountAndVariablesAreBoundPerCall) {
    Engine g;
    EXPECT_EQ(g.Eval("count*2", 0.0, 7), 14.0);
    EXPECT_EQ(g.Eval("input+1", 41.0), 42.0);
    CompiledExpr e = CompileExpr("X", "k*input", g.consts, g.vars);
    g.Set("k", 3);
    EXPECT_EQ(EvaluateExpr(e, 2, g.vars, 0), 6.0);
    g.Set("k", 4);
    EXPECT_EQ(EvaluateExpr(e, 2, g.vars, 0), 8.0);
}

TEST(Evaluator, SelfReferenceSeesThePreviousResult) {
    Engine g;
    CompiledExpr e = CompileExpr("ACC", "ACC+1", g.consts, g.vars);
    EXPECT_EQ(EvaluateExpr(e, 0, g.vars, 0), 1.0);
    EXPECT_EQ(EvaluateExpr(e, 0, g.vars, 0), 2.0);
    EXPECT_EQ(EvaluateExpr(e, 0, g.vars, 0), 3.0);
}

TEST(Evaluator, LooseTextsHaveDefinedResults) {
    Engine g;
    g.Set("a", 1.5);
    g.Set("b", 2.0);
    EXPECT_EQ(g.Eval("(a+b"), 3.5);   // a missing ")" at the end is tolerated
    EXPECT_EQ(g.Eval("sin(b"), std::sin(2.0));
    EXPECT_EQ(g.Eval("2x"), 2.0);     // values left over: the bottom one
    EXPECT_EQ(g.Eval(""), 0.0);       // no items
    EXPECT_EQ(g.Eval("()"), 0.0);
    EXPECT_EQ(g.Eval("misspelt*3"), 0.0);  // unknown names are variables at 0.0
}

}  // namespace
