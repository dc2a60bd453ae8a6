// The files a -list run reads, which no output may replace, and the one
// spelling of a file's names by which outputs and inputs are compared.
#ifndef LCDUMP_READFILES_H
#define LCDUMP_READFILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "namelist.h"
#include "platform.h"

// One spelling for every name of a file: absolute, its directory resolved
// through links and "..", and its last component as it stands, so that a
// link there is itself and not the file it leads to. The spelling is the
// same whether the file exists yet or not. Names that share a directory,
// as most in a list do, share one resolution of it. A name that cannot be
// made absolute, or converted, is spelt as it stands.
class Speller {
public:
    std::string operator()(const std::string& name);

private:
    std::unordered_map<std::string, std::string> resolved_;
};

// A hash of text (64-bit FNV-1a), the same in every run: texts that are
// equal hash alike, and texts that differ seldom do.
std::uint64_t hash_of(const std::string& text);

// The files a run reads, which no output may replace: every input of the
// list, found by its spelling's hash (a hash that matches is confirmed by
// the spelling itself, so that no two files are ever taken for one), which
// holds for a name that does not exist yet too; and every file that exists,
// the list and the option file among them, by its identity, which holds
// for its every name.
class ReadFiles {
public:
    // Indices past the list's names.
    static const std::size_t NONE = static_cast<std::size_t>(-1);
    static const std::size_t LIST = NONE - 1;
    static const std::size_t OPTION_FILE = NONE - 2;

    // The inputs are names; the list is list_name unless it is "-"
    // (standard input); option_file may be null. names and spell are kept,
    // and must outlive this.
    ReadFiles(const NameList& names, const char* list_name, const char* option_file, Speller& spell);

    // Whether names[i] is a file named earlier in the list.
    bool named_before(std::size_t i) const { return named_before_[i]; }

    // Which read file output (of that spelling) would replace: the index of
    // an input, LIST, OPTION_FILE, or NONE.
    std::size_t replaced_by(const std::string& output, const std::string& spelling);

private:
    void identify(const char* name, std::size_t index);

    // The smallest index of an input whose spelling is spelling, or NONE.
    std::size_t find_spelling(const std::string& spelling, std::uint64_t hash);

    const NameList& names_;
    Speller& spell_;
    std::vector<std::pair<std::uint64_t, std::size_t>> keys_;
    std::vector<std::pair<FileIdentity, std::size_t>> identities_;
    std::vector<bool> named_before_;
};

#endif
