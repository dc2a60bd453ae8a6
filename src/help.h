// The usage line and the help, written from the option and form tables.
#ifndef LCDUMP_HELP_H
#define LCDUMP_HELP_H

#include <string>

// "Usage: lcdump -in FILE | -list LIST [...] (or -help, -version). Try
// 'lcdump --help'", without a newline. Each throws std::bad_alloc when
// there is no memory for the text.
std::string usage_line();

// The whole help, newline-ended.
std::string help_text();

#endif
