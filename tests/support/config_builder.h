#pragma once
// Run configurations made the way the tool makes them, by evaluating a
// configuration text, and compiled items rendered as text.
//
//   const RunConfig config = ConfigText().Constant("WINDOW_SIZE", "4")
//                                .Column("A, 1, 1, 0, input * 2").Evaluate();

#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "config/evaluate.h"
#include "core/model.h"
#include "core/unique_fd.h"

namespace test_support {

// `value` with 17 significant digits, as a configuration would write it.
inline std::string Digits(double value) {
    std::ostringstream out;
    out.precision(17);
    out << value;
    return out.str();
}

// An anonymous file holding `bytes`, open for reading at its start.
inline vux::UniqueFile TextFile(std::string_view bytes) {
    vux::UniqueFile file(std::tmpfile());
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
    }
    return file;
}

// `text` evaluated as vux_reader.cfg (nothing printed).
inline vux::RunConfig EvaluateText(std::string_view text) { return vux::EvaluateConfig(TextFile(text)); }

// The items of `expr`, space-separated: numbers by value (17 digits),
// "input", "count", operators by their character, variables as "$name".
inline std::string RenderItems(const vux::CompiledExpr& expr, const vux::VarTable& vars) {
    std::ostringstream out;
    out.precision(17);
    bool first = true;
    for (const vux::ExprItem& item : expr.items) {
        if (!first) out << ' ';
        first = false;
        switch (item.kind) {
            case vux::ItemInput: out << "input"; break;
            case vux::ItemCount: out << "count"; break;
            case vux::ItemNumber: out << item.value; break;
            case vux::ItemOperator: out << item.op; break;
            case vux::ItemVariable: out << "$" << vars.entries.at(static_cast<size_t>(item.varIndex)).name; break;
        }
    }
    return out.str();
}

// A configuration text built section by section: "#STRINGS" with DATA_FILE
// and OUTPUT_FILE, "#CONSTANTS" with PI and whatever is added, then the
// window function, equations, columns and plot lines given.
struct ConfigText {
    std::string strings = "DATA_FILE = data.csv\nOUTPUT_FILE = out.mat\n";
    std::string constants = "PI = 3.14159265358979323846\n";
    std::string windowFunction, equations, columns, matlab;

    ConfigText& Constant(const std::string& name, const std::string& value) {
        constants += name + " = " + value + "\n";
        return *this;
    }
    // WINDOW_SIZE and SAMPLE_FREQ.
    ConfigText& Window(int size, int frequency) {
        return Constant("WINDOW_SIZE", std::to_string(size)).Constant("SAMPLE_FREQ", std::to_string(frequency));
    }
    ConfigText& WindowFunction(const std::string& text) {
        windowFunction = "WINDOW_FUNCTION = " + text + "\n";
        return *this;
    }
    ConfigText& Equation(int mode, const std::string& name, const std::string& text) {
        equations += std::to_string(mode) + ", " + name + " = " + text + "\n";
        return *this;
    }
    // A #COLUMNS line: "NAME, sampling, operation, rotation, equation or factor".
    ConfigText& Column(const std::string& line) {
        columns += line + "\n";
        return *this;
    }
    // A #MATLAB line: "NAME, type, x label, y label, title".
    ConfigText& Plot(const std::string& line) {
        matlab += line + "\n";
        return *this;
    }

    std::string Text() const {
        return "#STRINGS\n" + strings + "#CONSTANTS\n" + constants + "#WINDOW_FUNCTION\n" + windowFunction +
               "#EQUATIONS\n" + equations + "#COLUMNS\n" + columns + "#MATLAB\n" + matlab + "#ENDCFG\n";
    }
    vux::RunConfig Evaluate() const { return EvaluateText(Text()); }
};

}  // namespace test_support
