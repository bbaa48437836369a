// Equation compiler: a shunting-yard pass over the text that emits postfix
// items, folding constants and resolving every other name to a variable.

#include <cstdlib>
#include <string>
#include <vector>

#include "expr/compiled_expr.h"
#include "core/error.h"

namespace vux {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

ExprItem Operand(ExprItemKind kind, double value = 0.0, int32_t varIndex = -1) {
    ExprItem item;
    item.kind = kind;
    item.value = value;
    item.varIndex = varIndex;
    return item;
}

ExprItem Operator(char op, int32_t precedence) {
    ExprItem item;
    item.kind = ItemOperator;
    item.op = op;
    item.precedence = precedence;
    return item;
}

// The last entry wins when a name is listed twice, as the run setting does.
const ConstEntry* FindConst(const ConstTable& consts, const std::string& name) {
    const ConstEntry* found = nullptr;
    for (const ConstEntry& entry : consts.entries) {
        if (entry.name == name) found = &entry;
    }
    return found;
}

struct Compilation {
    const ConstTable& consts;
    VarTable& vars;
    CompiledExpr expr;
    std::vector<ExprItem> stack;  // operator stack

    void PopAndEmit() {
        expr.items.push_back(stack.back());
        stack.pop_back();
    }

    void ResolveName(const std::string& name, char delimiter) {
        if (const ConstEntry* c = FindConst(consts, name)) {
            expr.items.push_back(Operand(ItemNumber, c->value));
        } else if (name == "input") {
            expr.items.push_back(Operand(ItemInput));
        } else if (name == "count") {
            expr.items.push_back(Operand(ItemCount));
        } else if (delimiter == '(' && (name == "sin" || name == "cos" || name == "tan")) {
            stack.push_back(Operator(name[0], 3));
        } else {
            expr.items.push_back(Operand(ItemVariable, 0.0, FindOrAddVar(vars, name)));
        }
    }

    void ApplyOperator(char c) {
        switch (c) {
        case '(':
            stack.push_back(Operator('(', -1));
            break;
        case ')':
            while (!stack.empty() && stack.back().op != '(') PopAndEmit();
            if (stack.empty()) Fail(ErrorKind::UnbalancedParentheses);
            stack.pop_back();
            if (!stack.empty() && stack.back().precedence == 3) PopAndEmit();
            break;
        case '+':
        case '-':
            while (!stack.empty() && stack.back().precedence >= 0) PopAndEmit();
            stack.push_back(Operator(c, 0));
            break;
        case '*':
        case '/':
            while (!stack.empty() && stack.back().precedence >= 1) PopAndEmit();
            stack.push_back(Operator(c, 1));
            break;
        case '^':
            // Left to right like the other operators: a^b^c = (a^b)^c.
            while (!stack.empty() && stack.back().precedence >= 2) PopAndEmit();
            stack.push_back(Operator('^', 2));
            break;
        default:
            break;  // any other character only separates tokens
        }
    }
};

const char* OperatorName(char op) {
    switch (op) {
    case 's': return "sin";
    case 'c': return "cos";
    case 't': return "tan";
    case '+': return "+";
    case '-': return "-";
    case '*': return "*";
    case '/': return "/";
    default: return "^";
    }
}

// Checks that every operator finds its values and records the deepest stack
// an evaluation needs.
void CheckOperands(CompiledExpr& expr) {
    int32_t depth = 0;
    for (const ExprItem& item : expr.items) {
        if (item.kind != ItemOperator) {
            ++depth;
        } else if (item.op != '(') {
            const int32_t needed = item.precedence == 3 ? 1 : 2;
            if (depth < needed) {
                Error error;
                error.kind = ErrorKind::MissingOperand;
                error.name = expr.name;
                error.other = OperatorName(item.op);
                Fail(std::move(error));
            }
            depth -= needed - 1;
        }
        if (depth > expr.stackDepth) expr.stackDepth = depth;
    }
}

}  // namespace

CompiledExpr CompileExpr(std::string_view name, std::string_view text,
                         const ConstTable& consts, VarTable& vars) {
    Compilation c{consts, vars, CompiledExpr{}, {}};
    c.expr.name = std::string(name);
    c.expr.resultVar = FindOrAddVar(vars, name);

    std::string number;
    std::string word;
    // The end of the text is handled as a NUL delimiter, which ends the last token.
    for (size_t i = 0; i <= text.size(); ++i) {
        const char ch = i < text.size() ? text[i] : '\0';
        if (ch == ' ') continue;
        if ((IsDigit(ch) || ch == '.') && word.empty()) {
            number.push_back(ch);
            continue;
        }
        if (IsLetter(ch) || (IsDigit(ch) && !word.empty())) {
            word.push_back(ch);
            continue;
        }
        if (!number.empty()) {
            // Digits and points only: read as far as they form a decimal number.
            c.expr.items.push_back(Operand(ItemNumber, std::strtod(number.c_str(), nullptr)));
            number.clear();
        }
        if (!word.empty()) {
            c.ResolveName(word, ch);
            word.clear();
        }
        if (ch == '\0') break;  // a NUL ends the text, as in a C string
        c.ApplyOperator(ch);
    }
    // Whatever is left is emitted from the top down; an unmatched "(" becomes
    // an item the evaluator passes over.
    while (!c.stack.empty()) c.PopAndEmit();

    CheckOperands(c.expr);
    if (c.expr.stackDepth > kEvaluatorLocalStack) c.expr.scratch.resize(static_cast<size_t>(c.expr.stackDepth));
    return std::move(c.expr);
}
}  // namespace vux
