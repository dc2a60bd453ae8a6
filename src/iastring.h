// IAString, the growable list of Strings, and splitting a text into its
// white-space separated words.
#ifndef LCDUMP_IASTRING_H
#define LCDUMP_IASTRING_H

#include "ia.h"
#include "sstring.h"

typedef InfiniteArray<String> IAString;

// Stores the words of sentence at words[0..count-1] and returns count;
// elements behind them are left as they were.
int string2words(String& sentence, IAString& words);

#endif
