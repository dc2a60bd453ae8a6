// String: heap-held, NUL-terminated text with value semantics, which keeps
// "no text" (null buffer) apart from "empty text" (a lone NUL), plus the
// word-scanning and number/text helpers built on it.
#ifndef LCDUMP_SSTRING_H
#define LCDUMP_SSTRING_H

#include <iosfwd>

class String {
public:
    String();
    String(char c);
    String(const char* cp);
    String(const String& s);
    ~String();

    String& operator=(const String& s);
    String& assign(const String& s);

    // Characters i1..i2 inclusive; i2 == i1 - 1 gives an empty text.
    // Bounds outside the text give a String with no text.
    String substring(int i1, int i2) const;

    // Drops the text and allocates newsize + 1 characters that the caller
    // fills, NUL included. Returns false only for a negative size.
    bool resize(int newsize);

    int length() const;
    char* c_str() const;

    String& operator+=(const String& s);
    String& append(const String& s);

    // No bounds check: 0 <= index <= length() on a String that has text.
    char operator[](int index) const;
    char& operator[](int index);

private:
    int nchars;
    char* buffer;
};

String operator+(const String& s1, const String& s2);
bool operator==(const String& s1, const String& s2);
bool operator!=(const String& s1, const String& s2);
std::ostream& operator<<(std::ostream& os, const String& s);

// Assigns to w the first white-space separated word of s at or after start;
// returns the position just behind it, or -1 when the word reaches the end
// of s (or no word is left).
int get_word(String& s, String& w, int start);

// "%d" and "%f" texts, never truncated.
String num_to_str(int i);
String num_to_str(float x);
String num_to_str(double x);

// strtol (base 10, clamped to int's range) and strtod rules; 0 when nothing converts.
int str2i(String s);
double str2f(String s);

#endif
