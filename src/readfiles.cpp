#include "readfiles.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

std::string Speller::operator()(const std::string& name)
{
    namespace fs = std::filesystem;
    try {
        std::error_code error;
        const fs::path path = fs::absolute(name, error);
        if (error)
            return name;
        const std::string parent = path.parent_path().string();
        auto known = resolved_.find(parent);
        if (known == resolved_.end()) {
            // Bounded: a list may name files in a million directories.
            if (resolved_.size() >= 256)
                resolved_.clear();
            fs::path directory = fs::weakly_canonical(path.parent_path(), error);
            known =
                resolved_.emplace(parent, (error ? path.parent_path().lexically_normal() : directory).string()).first;
        }
        return (fs::path(known->second) / path.filename()).lexically_normal().string();
    } catch (const std::system_error&) {
        // On Windows, a name that the code page cannot convert.
        return name;
    }
}

std::uint64_t hash_of(const std::string& text)
{
    std::uint64_t hash = 14695981039346656037u;
    for (char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    return hash;
}

ReadFiles::ReadFiles(const NameList& names, const char* list_name, const char* option_file, Speller& spell)
    : names_(names),
      spell_(spell),
      named_before_(names.size(), false)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        keys_.push_back({hash_of(spell(names[i])), i});
        identify(names[i], i);
    }
    if (std::strcmp(list_name, "-") != 0)
        identify(list_name, LIST);
    if (option_file != nullptr)
        identify(option_file, OPTION_FILE);
    std::sort(keys_.begin(), keys_.end());
    std::sort(identities_.begin(), identities_.end());
    // The later names of one file share a hash with the first, which
    // sorts before them.
    for (std::size_t k = 1; k < keys_.size(); ++k) {
        const std::size_t index = keys_[k].second;
        if (keys_[k].first == keys_[k - 1].first)
            named_before_[index] = find_spelling(spell(names[index]), keys_[k].first) < index;
    }
}

std::size_t ReadFiles::replaced_by(const std::string& output, const std::string& spelling)
{
    const std::size_t found = find_spelling(spelling, hash_of(spelling));
    FileIdentity identity;
    if (found != NONE || !identify_file(output.c_str(), identity))
        return found;
    const auto at = std::lower_bound(identities_.begin(), identities_.end(), std::make_pair(identity, std::size_t{0}));
    return at != identities_.end() && at->first == identity ? at->second : NONE;
}

void ReadFiles::identify(const char* name, std::size_t index)
{
    FileIdentity identity;
    if (identify_file(name, identity))
        identities_.push_back({identity, index});
}

std::size_t ReadFiles::find_spelling(const std::string& spelling, std::uint64_t hash)
{
    for (auto at = std::lower_bound(keys_.begin(), keys_.end(), std::make_pair(hash, std::size_t{0}));
         at != keys_.end() && at->first == hash; ++at)
        if (spell_(names_[at->second]) == spelling)
            return at->second;
    return NONE;
}
