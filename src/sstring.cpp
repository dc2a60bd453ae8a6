#include "sstring.h"

#include "diagnostics.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace {

// Every buffer is exactly length + 1 characters; an allocation that fails
// ends the run rather than leaving a String in a half-made state. malloc, not
// new (std::nothrow): the standard library may implement the latter by
// catching a bad_alloc, and with memory that tight even the exception cannot
// be made, which aborts the process instead of reporting.
char* allocate_text(long long length)
{
    if (length < 0 || length >= INT_MAX)
        exit_out_of_memory();
    char* text = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
    if (text == nullptr)
        exit_out_of_memory();
    return text;
}

char* copy_text(const char* source, int length)
{
    char* text = allocate_text(length);
    if (length > 0)
        std::memcpy(text, source, static_cast<std::size_t>(length));
    text[length] = '\0';
    return text;
}

bool is_space(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// snprintf sized to the value, so no text is ever cut short.
String format_number(const char* format, double x)
{
    int length = std::snprintf(nullptr, 0, format, x);
    String text;
    text.resize(length);
    std::snprintf(text.c_str(), static_cast<std::size_t>(length) + 1, format, x);
    return text;
}

}  // namespace

String::String() : nchars(0), buffer(nullptr) {}

String::String(char c) : nchars(1), buffer(allocate_text(1))
{
    buffer[0] = c;
    buffer[1] = '\0';
}

String::String(const char* cp) : nchars(0), buffer(nullptr)
{
    if (cp == nullptr)
        return;
    std::size_t length = std::strlen(cp);
    if (length >= INT_MAX)
        exit_out_of_memory();
    nchars = static_cast<int>(length);
    buffer = copy_text(cp, nchars);
}

String::String(const String& s) : nchars(s.nchars), buffer(nullptr)
{
    if (nchars > 0)
        buffer = copy_text(s.buffer, nchars);
}

String::~String()
{
    std::free(buffer);
}

String& String::operator=(const String& s)
{
    if (this == &s)
        return *this;
    char* text = s.buffer != nullptr ? copy_text(s.buffer, s.nchars) : nullptr;
    std::free(buffer);
    buffer = text;
    nchars = s.nchars;
    return *this;
}

String& String::assign(const String& s)
{
    return *this = s;
}

String String::substring(int i1, int i2) const
{
    if (i1 < 0 || i2 >= nchars || i2 < i1 - 1)
        return String();
    // Returned as a prvalue so that no copy turns the empty text into no text.
    if (i2 == i1 - 1)
        return String("");
    String part;
    part.nchars = i2 - i1 + 1;
    part.buffer = copy_text(buffer + i1, part.nchars);
    return part;
}

bool String::resize(int newsize)
{
    std::free(buffer);
    buffer = nullptr;
    nchars = 0;
    if (newsize < 0)
        return false;
    buffer = allocate_text(newsize);
    nchars = newsize;
    return true;
}

int String::length() const
{
    return nchars;
}

char* String::c_str() const
{
    return buffer;
}

String& String::operator+=(const String& s)
{
    if (buffer == nullptr)
        return *this = s;
    // The old text is released only after s has been copied, so appending a
    // String to itself reads live memory and doubles the text.
    long long total = static_cast<long long>(nchars) + s.nchars;
    char* text = allocate_text(total);
    std::memcpy(text, buffer, static_cast<std::size_t>(nchars));
    if (s.nchars > 0)
        std::memcpy(text + nchars, s.buffer, static_cast<std::size_t>(s.nchars));
    text[total] = '\0';
    std::free(buffer);
    buffer = text;
    nchars = static_cast<int>(total);
    return *this;
}

String& String::append(const String& s)
{
    return *this += s;
}

char String::operator[](int index) const
{
    return buffer[index];
}

char& String::operator[](int index)
{
    return buffer[index];
}

String operator+(const String& s1, const String& s2)
{
    String sum(s1);
    sum += s2;
    return sum;
}

bool operator==(const String& s1, const String& s2)
{
    const char* a = s1.c_str() != nullptr ? s1.c_str() : "";
    const char* b = s2.c_str() != nullptr ? s2.c_str() : "";
    return std::strcmp(a, b) == 0;
}

bool operator!=(const String& s1, const String& s2)
{
    return !(s1 == s2);
}

std::ostream& operator<<(std::ostream& os, const String& s)
{
    if (s.c_str() != nullptr)
        os << s.c_str();
    return os;
}

int get_word(String& s, String& w, int start)
{
    int n = s.length();
    if (s.c_str() == nullptr || start < 0 || start > n) {
        w = String("");
        return -1;
    }
    int c = start;
    while (c < n && is_space(s[c]))
        ++c;
    int idx1 = c;
    while (c < n && !is_space(s[c]))
        ++c;
    w = s.substring(idx1, c - 1);
    return c < n ? c : -1;
}

String num_to_str(int i)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", i);
    return String(text);
}

String num_to_str(float x)
{
    return format_number("%f", static_cast<double>(x));
}

String num_to_str(double x)
{
    return format_number("%f", x);
}

int str2i(String s)
{
    if (s.c_str() == nullptr)
        return 0;
    long value = std::strtol(s.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double str2f(String s)
{
    if (s.c_str() == nullptr)
        return 0.0;
    return std::strtod(s.c_str(), nullptr);
}
