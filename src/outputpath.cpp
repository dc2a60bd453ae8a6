#include "outputpath.h"

#include <filesystem>
#include <system_error>

#include "lcdump.h"
#include "platform.h"

std::string mirrored(const std::string& input, const char* outdir, const OutputForm& form)
{
    std::string inner;
    std::size_t start = 0;
    // A drive letter's colon only ever follows one letter at the start.
    if (input.size() >= 2 && input[1] == ':' && is_path_separator(':'))
        start = 2;
    while (start < input.size()) {
        std::size_t end = start;
        while (end < input.size() && !is_path_separator(input[end]))
            ++end;
        const std::string component = input.substr(start, end - start);
        if (component == "..")
            return "";
        if (!component.empty() && component != ".")
            inner += (inner.empty() ? "" : "/") + component;
        start = end + 1;
    }
    return output_for(in_directory(outdir) + inner, nullptr, form);
}

std::string in_directory(const char* directory)
{
    return std::string(directory) + (*last_component(directory) == '\0' ? "" : "/");
}

bool name_taken(const std::string& name)
{
    try {
        std::error_code error;
        return std::filesystem::exists(std::filesystem::symlink_status(name, error));
    } catch (const std::system_error&) {
        return false;
    }
}

bool is_directory(const char* name)
{
    try {
        std::error_code error;
        return std::filesystem::is_directory(name, error);
    } catch (const std::system_error&) {
        return false;
    }
}
