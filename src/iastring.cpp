#include "iastring.h"

#include <cctype>

int string2words(String& sentence, IAString& words)
{
    int n = sentence.length();
    int count = 0;
    int c = 0;
    while (c < n) {
        while (c < n && std::isspace(static_cast<unsigned char>(sentence[c])))
            ++c;
        int idx1 = c;
        while (c < n && !std::isspace(static_cast<unsigned char>(sentence[c])))
            ++c;
        if (c > idx1) {
            words[static_cast<unsigned int>(count)] = sentence.substring(idx1, c - 1);
            ++count;
        }
    }
    return count;
}
