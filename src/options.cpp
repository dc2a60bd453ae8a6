#include "options.h"

#include "diagnostics.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One line holds at most this many characters before its newline; a longer
// line silently ends the reading of the option file.
const int MAX_OPTION_LINE_CHARS = 199;

// The message belongs on standard output; when that cannot take it, standard
// error still gets it, so the failure never goes unexplained.
[[noreturn]] void exit_cannot_open(const String& filename)
{
    if (!write_message(stdout, "Can't open file: ", filename.c_str()))
        write_message(stderr, "Can't open file: ", filename.c_str());
    std::exit(FAILURE_STATUS);
}

}  // namespace

OptionSet::OptionSet() : nwords(0) {}

OptionSet::OptionSet(int argc, char** argv) : nwords(0)
{
    parseCommand(argc, argv);
}

OptionSet::~OptionSet() = default;

void OptionSet::addWord(const String& word)
{
    wordlist[static_cast<unsigned int>(nwords)] = word;
    ++nwords;
}

void OptionSet::parseCommand(int argc, char** argv)
{
    nwords = 0;
    String optionFile;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "-file") == 0)
            optionFile = i + 1 < argc ? String(argv[i + 1]) : String();
        addWord(String(argv[i]));
    }
    if (optionFile.length() > 0)
        readOptionFile(optionFile);
}

void OptionSet::readOptionFile(const String& filename)
{
    // Binary, so that the words are the same bytes on every platform: text
    // mode would end the file at a 0x1a byte on Windows. A carriage return
    // before the newline is white space anyway.
    std::FILE* file = std::fopen(filename.c_str(), "rb");
    if (file == nullptr) {
        // No memory for the stream is no fault of the file.
        if (errno == ENOMEM)
            exit_out_of_memory();
        exit_cannot_open(filename);
    }

    char line[MAX_OPTION_LINE_CHARS + 1];
    for (;;) {
        int length = 0;
        bool sawAny = false;
        bool tooLong = false;
        int ch;
        while ((ch = std::getc(file)) != EOF) {
            sawAny = true;
            if (ch == '\n')
                break;
            if (length == MAX_OPTION_LINE_CHARS) {
                tooLong = true;
                break;
            }
            line[length++] = static_cast<char>(ch);
        }
        // A directory opens but cannot be read; a read error is no end of
        // file either. Both must not pass for an empty option file.
        if (std::ferror(file)) {
            std::fclose(file);
            exit_cannot_open(filename);
        }
        if (tooLong || !sawAny)
            break;
        line[length] = '\0';
        if (line[0] == '#' || line[0] == '\0')
            continue;

        String text(line);
        IAString words;
        int n = string2words(text, words);
        if (n == 0)
            continue;
        words[0] = String("-") + words[0];
        for (int i = 0; i < n; ++i)
            addWord(words[static_cast<unsigned int>(i)]);
    }
    std::fclose(file);
}

int OptionSet::locate(String name)
{
    String key = String("-") + name;
    for (int i = 0; i < nwords; ++i) {
        if (wordlist[static_cast<unsigned int>(i)] == key)
            return i;
    }
    return -1;
}

String OptionSet::getOption(String name, int index, String value)
{
    int p = locate(name);
    long long k = static_cast<long long>(p) + index;
    if (p > 0 && k >= 0 && k < nwords)
        return wordlist[static_cast<unsigned int>(k)];
    return value;
}

int OptionSet::getOption(String name, int index, int value)
{
    String text = getOption(name, index, String(""));
    return text.length() > 0 ? str2i(text) : value;
}

double OptionSet::getOption(String name, int index, double value)
{
    String text = getOption(name, index, String(""));
    return text.length() > 0 ? str2f(text) : value;
}

bool OptionSet::checkSwitch(String name)
{
    return locate(name) > 0;
}

int OptionSet::numArgs(String name)
{
    int p = locate(name);
    int i = p + 1;
    while (i < nwords) {
        const String& word = wordlist[static_cast<unsigned int>(i)];
        if (word.length() > 0 && word[0] == '-')
            break;
        ++i;
    }
    return i - p;
}

String OptionSet::word(int index)
{
    if (index < 0 || index >= nwords)
        return String();
    return wordlist[static_cast<unsigned int>(index)];
}
