#include "batch.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <unordered_map>

#include "diagnostics.h"
#include "input.h"
#include "interrupt.h"
#include "lcdump.h"
#include "namelist.h"
#include "output.h"
#include "outputfile.h"
#include "outputpath.h"
#include "platform.h"
#include "readfiles.h"
#include "summary.h"
#include "surveyreport.h"

namespace {

// "Error: INPUT: its output OUTPUT" + why, and the failure status.
int fail_output_of(std::FILE* messages, const char* input, const std::string& output, const char* why)
{
    return fail(messages, "Error: ", input, {": its output ", Piece::name(output.c_str()), why});
}

// Dumps input into output by way of an OutputFile; 0, or the failure
// status after the message, with nothing left behind.
int convert(const char* input, const std::string& output, const ListRequest& request, std::FILE* messages)
{
    std::FILE* in = open_input(input, messages);
    if (in == nullptr)
        return FAILURE_STATUS;
    OutputFile file(output);
    if (!file.create()) {
        const int status = errno == ENOMEM ? fail_out_of_memory(messages) : fail_output(messages, output.c_str());
        std::fclose(in);
        return status;
    }
    const int status = dump_measurements(in, input, file.stream(), messages, request.form, output.c_str());
    std::fclose(in);
    if (status != 0)
        return status;
    if (file.commit(request.force))
        return 0;
    if (errno == EEXIST)
        return fail_output_of(messages, input, output, " exists; not replaced (-force replaces it)");
    return fail_output(messages, output.c_str());
}

struct Tally {
    std::uint64_t files = 0;
    std::uint64_t done = 0;
    std::uint64_t failed = 0;
    // The summary table could not be written, so the run stopped.
    bool table_lost = false;
    // A survey page's own file can't be written, so no star was made.
    bool page_refused = false;
};

// Every name of the list in turn, until the end or a signal to stop.
class ListRun {
public:
    ListRun(const ListRequest& request, const NameList& names, std::FILE* messages, SurveyReport* report)
        : request_(request),
          names_(names),
          messages_(messages),
          read_(names, request.list_name, request.option_file, spell_),
          report_(report)
    {
    }

    void run(Tally& tally)
    {
        tally.files = names_.size();
        for (std::size_t i = 0; report_ != nullptr && i < SurveyReport::FILES && !tally.page_refused; ++i)
            tally.page_refused = check_page_file(report_->file(i)) != 0;
        for (std::size_t i = 0; i < names_.size() && interruption() == 0 && !tally.page_refused; ++i) {
            output_.clear();
            const int status = one(i);
            if (report_ != nullptr)
                report_->done(names_[i], output_.substr(std::min(output_.size(), picture_prefix())), status);
            ++(status == 0 ? tally.done : tally.failed);
            // Every later row would be lost too; the message said why.
            tally.table_lost = !request_.form.info->writes_files() && status != 0 && std::ferror(stdout) != 0;
            if (tally.table_lost)
                return;
        }
    }

private:
    std::string output_of(const char* input) const
    {
        return request_.mirror ? mirrored(input, request_.outdir, request_.form)
                               : output_for(input, request_.outdir, request_.form);
    }

    // What a picture's path under the page's directory starts with.
    std::size_t picture_prefix() const { return in_directory(request_.outdir).size(); }

    // Whether a page's own file may be written: never over a file the run
    // reads, and over another only with -force.
    int check_page_file(const std::string& output)
    {
        if (read_.replaced_by(output, spell_(output)) != ReadFiles::NONE)
            return fail(messages_, "Error: ", output.c_str(), {" would replace a file this run reads"});
        if (!request_.force && name_taken(output))
            return fail(messages_, "Error: ", output.c_str(), {" exists; not replaced (-force replaces it)"});
        return 0;
    }

    int one(std::size_t i)
    {
        const char* input = names_[i];
        if (read_.named_before(i))
            return fail(messages_, "Error: ", input,
                        {!request_.form.info->writes_files() ? ": already summarised in this run"
                                                             : ": already converted in this run"});
        if (!request_.form.info->writes_files())
            return dump_named_file(input, stdout, messages_, request_.form);
        const std::string output = output_ = output_of(input);
        if (output.empty())
            return fail(messages_, "Error: ", input, {": -mirror takes no name with a .. component"});
        const std::string spelling = spell_(output);
        if (const int status = check(i, output, spelling))
            return status;
        if (request_.mirror) {
            std::error_code error;
            const std::string directory =
                output.substr(0, static_cast<std::size_t>(last_component(output.c_str()) - output.c_str()));
            std::filesystem::create_directories(directory, error);
            if (error) {
                errno = error.value();
                return fail_output(messages_, directory.c_str());
            }
        }
        const int status = convert(input, output, request_, messages_);
        if (status == 0)
            written_.emplace(hash_of(spelling), i);
        return status;
    }

    // Whether output may be written for input i: never over a file the run
    // reads or one it wrote, and over another file only with -force.
    int check(std::size_t i, const std::string& output, const std::string& spelling)
    {
        const char* input = names_[i];
        const std::size_t read = read_.replaced_by(output, spelling);
        if (read != ReadFiles::NONE)
            return fail_output_of(messages_, input, output,
                                  read == i                        ? " would replace the input itself"
                                  : read == ReadFiles::LIST        ? " would replace the list"
                                  : read == ReadFiles::OPTION_FILE ? " would replace the option file"
                                                                   : " would replace another input of this run");
        const auto found = written_.equal_range(hash_of(spelling));
        for (auto at = found.first; at != found.second; ++at)
            if (spell_(output_of(names_[at->second])) == spelling)
                return fail_output_of(messages_, input, output, " would replace one written earlier in this run");
        if (!request_.force && name_taken(output))
            return fail_output_of(messages_, input, output, " exists; not replaced (-force replaces it)");
        return 0;
    }

    const ListRequest& request_;
    const NameList& names_;
    std::FILE* messages_;
    Speller spell_;
    ReadFiles read_;
    // The outputs written, by their spellings' hashes, each with its input.
    std::unordered_multimap<std::uint64_t, std::size_t> written_;
    SurveyReport* report_;
    // The output of the input in hand, once known.
    std::string output_;
};

// "lcdump: " + lead + "K of N files " + what.
void tell_count(std::FILE* messages, const char* lead, std::uint64_t part, std::uint64_t whole, const char* what)
{
    fail(messages, "lcdump: ", nullptr,
         {lead, Piece::count(part), " of ", Piece::count(whole), whole == 1 ? " file " : " files ", what});
}

// The list read whole, then the summary table's header where there is
// one, then each file; the status of the run.
int run_list(const ListRequest& request, std::FILE* list, std::FILE* messages)
{
    NameList names;
    if (const int status = read_list(list, request.list_name, names, messages))
        return status;
    // Every summary row in one table, whose header goes out even for an
    // empty list, so that the table always has its columns.
    SummaryTable table(stdout, request.form);
    const bool tabled = !request.form.info->writes_files();
    if (tabled && !table.start())
        return table.out_of_memory() ? fail_out_of_memory(messages) : fail_output(messages);
    ListRequest rows = request;
    rows.form.table = tabled ? &table : nullptr;
    std::unique_ptr<SurveyReport> report;
    if (request.report) {
        std::error_code error;
        if (!is_directory(request.outdir) && !std::filesystem::create_directory(request.outdir, error)) {
            errno = error.value();
            return fail(messages, "Error: can't make directory ", request.outdir, {": ", std::strerror(errno)});
        }
        report.reset(new SurveyReport(request.outdir, messages));
        rows.form.summary = &report->summary();
    }
    Tally tally;
    {
        ListRun run(rows, names, messages, report.get());
        catch_interruptions();
        run.run(tally);
    }
    if (tally.page_refused)
        return FAILURE_STATUS;
    if (interruption() != 0) {
        tell_count(messages, "interrupted; ", tally.done, tally.files,
                   request.form.info->writes_files() ? "converted" : "summarised");
        end_by_interruption();
    }
    if (tabled && !tally.table_lost && !table.finish()) {
        table.out_of_memory() ? fail_out_of_memory(messages) : fail_output(messages);
        tally.table_lost = true;
        tally.failed = tally.files;
    }
    const int page_status = report != nullptr ? report->finish(request.force) : 0;
    if (tally.failed > 0 && !tally.table_lost)
        tell_count(messages, "", tally.failed, tally.files,
                   request.form.info->writes_files() ? "not converted" : "not summarised");
    return tally.failed > 0 || page_status != 0 ? FAILURE_STATUS : 0;
}

// The list as a stream, closed at the end unless it is standard input.
struct ListStream {
    std::FILE* stream;
    bool owned;
    ~ListStream()
    {
        if (owned && stream != nullptr)
            std::fclose(stream);
    }
};

int open_and_run(const ListRequest& request, std::FILE* messages)
{
    // A binary table goes to standard output: never to a terminal.
    if (!request.form.info->writes_files() && request.form.info->binary() && is_terminal(stdout))
        return fail_binary_to_terminal("-list", request.list_name, request.form, messages);
    // A survey's page makes its directory, where there is none yet.
    const bool made_later = request.report && !name_taken(request.outdir);
    if (request.outdir != nullptr && !is_directory(request.outdir) && !made_later)
        return fail(messages, "Error: ", request.outdir,
                    {name_taken(request.outdir) ? ": not a directory" : ": no such directory"});
    const bool standard_input = std::strcmp(request.list_name, "-") == 0;
    if (!standard_input && is_directory(request.list_name))
        return fail(messages, "Error: ", request.list_name, {": the list is a directory"});
    const ListStream list{standard_input ? stdin : std::fopen(request.list_name, "rb"), !standard_input};
    // No memory for the stream is no fault of the list.
    if (list.stream == nullptr)
        return errno == ENOMEM ? fail_out_of_memory(messages) : fail(messages, "Can't open file: ", request.list_name);
    // A file-size limit then fails the write that meets it, and the
    // temporary goes, instead of the run being killed with it left behind.
    ignore_file_size_signal();
    quote_names_with_blank_ends();
    return run_list(request, list.stream, messages);
}

}  // namespace

int dump_list(const ListRequest& request, std::FILE* messages)
{
    // Out of memory may come anywhere, even in asking whether a name is a
    // directory; every file in hand is closed and every temporary removed
    // on the way here.
    try {
        return open_and_run(request, messages);
    } catch (const std::bad_alloc&) {
        return fail_out_of_memory(messages);
    }
}
