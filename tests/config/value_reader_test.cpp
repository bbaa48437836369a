#include "config/value_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

using namespace vux;

namespace {

using config_test::MemoryFile;
using config_test::ReadRest;

struct Case {
    std::string input;     // rest of the line and what follows it
    std::string value;     // what the reader returns
    std::string leftOver;  // what is still unread afterwards
};

void Check(std::string (*reader)(std::FILE*), const Case& c) {
    std::FILE* file = MemoryFile(c.input);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(reader(file), c.value) << "input: " << c.input;
    EXPECT_EQ(ReadRest(file), c.leftOver) << "input: " << c.input;
    std::fclose(file);
}

TEST(ReadValue, RestOfLineWithoutSpacesCommentOrLineEnd) {
    const Case cases[] = {
        {" C:\\My Data\\run.csv\nNEXT", "C:\\MyData\\run.csv", "NEXT"},
        {" 10000 % in samples\nNEXT", "10000", "NEXT"},  // the comment is consumed too
        {" 0.5 * (1 - cos(x)) % Hanning, a=b\n", "0.5*(1-cos(x))", ""},
        {"\nNEXT", "", "NEXT"},
        {"   \n", "", ""},
        {" %only a comment\nX", "", "X"},
        {" last", "last", ""},            // the end of the file ends the value
        {" x % comment at the end", "x", ""},
        {"", "", ""},
        {" abc\r\nX", "abc", "X"},         // CR LF is the line end
        {" a\rb\nX", "a\rb", "X"},         // a lone CR is an ordinary character
        {" a\r", "a\r", ""},
        {std::string(" a\0b\n", 5), "ab", ""},  // NUL bytes are dropped
        {" 1.23\t\n", "1.23\t", ""},       // tabs are kept
    };
    for (const Case& c : cases) Check(ReadValue, c);
}

TEST(ReadTitle, KeepsInnerAndTrailingSpaces) {
    const Case cases[] = {
        {"   X Ang Rate  % comment\nNEXT", "X Ang Rate  ", "NEXT"},
        {" X Lin Accel Pwr Spectral Density\n", "X Lin Accel Pwr Spectral Density", ""},
        {" 0\r\nX", "0", "X"},
        {"  \n", "", ""},
        {" a b", "a b", ""},
        {std::string(" a\0 b\n", 6), "a b", ""},
    };
    for (const Case& c : cases) Check(ReadTitle, c);
}

TEST(ReadValue, HasNoLengthLimit) {
    std::string longPath(5000, 'p');
    Check(ReadValue, {" " + longPath + " % c\n", longPath, ""});
    Check(ReadTitle, {" " + longPath + " % c\n", longPath + " ", ""});
}

}  // namespace
