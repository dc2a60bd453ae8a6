// OptionSet: the command-line words and those of an option file (-file NAME)
// as one ordered word list, with lookups by option name (given without the
// dash). The first occurrence wins, so the command line beats the option file.
#ifndef LCDUMP_OPTIONS_H
#define LCDUMP_OPTIONS_H

#include "iastring.h"
#include "sstring.h"

class OptionSet {
public:
    OptionSet();
    OptionSet(int argc, char** argv);
    ~OptionSet();

    OptionSet(const OptionSet&) = delete;
    OptionSet& operator=(const OptionSet&) = delete;

    // Stores every argument (program path included), then appends the words
    // of the option file named by the last -file. An option file that cannot
    // be read ends the process: "Can't open file: NAME" on stdout, status 8.
    void parseCommand(int argc, char** argv);

    // The word index places behind option name, or the default value.
    String getOption(String name, int index, String value);
    int getOption(String name, int index, int value);
    double getOption(String name, int index, double value);

    bool checkSwitch(String name);

    // The option word and the words behind it up to the next one starting with '-'.
    int numArgs(String name);

    // The list itself, for a caller that reads it word by word: how many
    // words it holds, and a copy of word index (no text out of range).
    int wordCount() const { return nwords; }
    String word(int index);

private:
    int locate(String name);
    void readOptionFile(const String& filename);
    void addWord(const String& word);

    int nwords;
    IAString wordlist;
};

#endif
