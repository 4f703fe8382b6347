// Exceptions and text helpers shared by every part of the host and the plug-in.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>
#include <initializer_list>

namespace orv {

// Root of every exception the host and plug-in raise on purpose. Message is UTF-8.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
    std::string Message() const { return what(); }
};

// Silent exception: aborts the current user action without any message.
class EAbort : public Exception {
public:
    EAbort() : Exception("操作已中止。") {}
};

// Misuse of a data set: wrong state, unknown field, bad packet structure.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// A value that does not convert to, or does not fit, the type it is meant for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A problem the user must see, with the caption of the window that raised it as title.
class TUserException : public Exception {
public:
    TUserException(const std::string& Message, const std::string& Title) : Exception(Message), FTitle(Title) {}
    const std::string& Title() const { return FTitle; }

private:
    std::string FTitle;
};

[[noreturn]] void Abort();

// Replaces each "%s" in Pattern by the next argument, "%%" by "%". Missing arguments
// leave "%s" as it stands; a pattern without placeholders comes back unchanged.
std::string Format(std::string_view Pattern, std::initializer_list<std::string_view> Args);

// UTF-8 helpers. Lengths count code points. Well-formed means no overlong forms, no
// surrogates and nothing above U+10FFFF.
bool IsValidUtf8(std::string_view Text);
// Offset of the first byte that does not start a well-formed sequence, or npos.
std::size_t FirstInvalidUtf8(std::string_view Text);
std::size_t Utf8Length(std::string_view Text);

// ASCII-only case mapping: letters a..z / A..Z; every other byte stays as it is.
std::string AnsiUpperAscii(std::string_view Text);
std::string LowerAscii(std::string_view Text);
bool SameTextAscii(std::string_view A, std::string_view B);

// Splits "A; B ;C" at ';' and trims blanks around each name; empty names are dropped.
std::vector<std::string> SplitFieldNames(std::string_view List);

std::string Trim(std::string_view Text);

} // namespace orv
