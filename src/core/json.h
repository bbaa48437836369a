#pragma once
// A JSON text written piece by piece, two-space indented, for files other
// tools read. Any bytes may be given as a string: valid UTF-8 is written as
// it is (control characters, '"' and '\' escaped), and each byte that is not
// part of valid UTF-8 is written as the escape \udcNN for byte 0xNN, the
// form Python's "surrogateescape" decodes (os.fsencode gives the bytes
// back), so the text is always valid UTF-8 and no byte is lost. Numbers are
// written in their shortest form that reads back to the same double; a
// value that is not finite is written as the string "NaN", "Infinity" or
// "-Infinity" (which Python's float() reads).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vux {
class JsonWriter {
public:
    // Containers: Begin and End must pair; inside an object every value
    // follows a Key.
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view name);

    JsonWriter& String(std::string_view bytes);
    JsonWriter& Number(double value);
    JsonWriter& Integer(int64_t value);
    JsonWriter& Unsigned(uint64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // The text so far; complete (with a final line end) once the outermost
    // container is ended.
    const std::string& Text() const { return text_; }

private:
    void BeforeValue();
    void NewLine();

    std::string text_;
    std::vector<bool> empty_;  // per open container: nothing in it yet
    bool afterKey_ = false;
};
}  // namespace vux
