#include "cli.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "batch.h"
#include "diagnostics.h"
#include "help.h"
#include "lcdump.h"
#include "options.h"
#include "output.h"
#include "platform.h"
#include "request.h"

namespace {

// "lcdump: " + lead, then the option the word meant with its value quoted
// for the shell, then end, as one line.
int fail_meant(std::FILE* messages, const char* lead, const Meant& meant, const char* end)
{
    return fail(messages, "lcdump: ", nullptr,
                {lead, Piece::name(meant.word), meant.word[0] != '\0' ? "; did you mean -" : "-",
                 Piece::name(meant.option), meant.value != nullptr ? " " : "",
                 meant.value != nullptr ? Piece::shell_word(meant.value) : "", end});
}

// Help and version are asked for only when there is nothing to dump, so a
// word such as -h in a long command line never keeps a file from its dump.
int show(const std::string& text)
{
    return write_all(stdout, text.data(), text.size()) && std::fflush(stdout) == 0 ? 0 : fail_output(stderr);
}

// For a run that names no input: the help or the version when asked for;
// else what the command line probably meant, if anything, then the usage
// line.
int answer_without_input(const Request& request)
{
    if (request.help)
        return show(help_text());
    if (request.version)
        return show("lcdump " LCDUMP_VERSION "\n");
    if (request.input_hint.value != nullptr)
        fail_meant(stderr, "no input named; did you mean: lcdump ", request.input_hint, "");
    return fail(stderr, usage_line().c_str(), nullptr);
}

// The switch of the first form that takes the modifier of that name.
const char* first_taker(const char* modifier)
{
    const char* taker = nullptr;
    for_each_form_switch([&](const char*, const char* const*, const FormInfo* form, std::size_t) {
        if (taker == nullptr && form != nullptr)
            for (std::size_t i = 0; i < sizeof MODIFIERS / sizeof MODIFIERS[0]; ++i)
                if (std::strcmp(MODIFIERS[i].name, modifier) == 0 && takes_modifier(*form, i))
                    taker = form->name;
    });
    return taker;
}

// The words' faults, in the order they are looked for; 0 when there is none.
int fail_request(const Request& request)
{
    if (request.near_miss.option != nullptr)
        return fail_meant(stderr, request.near_miss.takes_value ? "unknown option " : "unknown switch ",
                          request.near_miss, "?");
    if (request.conflict[0] != nullptr)
        return fail(stderr, "Error: -", nullptr,
                    {request.conflict[0], " and -", request.conflict[1], " can't be combined"});
    if (request.lone_modifier != nullptr)
        return fail(stderr, "Error: -", nullptr,
                    {request.lone_modifier, " goes with -", first_taker(request.lone_modifier)});
    if (request.form.fold && request.form.fold_period == 0)
        return fail(stderr, "Error: -fold takes a period in days above 0", nullptr,
                    {request.fold_word.length() > 0 ? ", not " : nullptr,
                     request.fold_word.length() > 0 ? Piece::shell_word(request.fold_word.c_str()) : Piece()});
    // An unset variable in -outdir "$OUTDIR" would put the outputs beside
    // the inputs instead.
    const bool outdir = request.outdir.length() > 0;
    if (!outdir && request.outdir_named)
        return fail(stderr, "Error: -outdir names no directory", nullptr);
    const bool report = request.report.length() > 0;
    if (!report && request.report_named)
        return fail(stderr, "Error: -report names no directory", nullptr);
    if (report && (outdir || request.form.fold))
        return fail(stderr, "Error: -", nullptr, {outdir ? "outdir" : "fold", " and -report can't be combined"});
    if (report && request.list.length() == 0)
        return fail(stderr, "Error: -report goes with -list", nullptr);
    // A form that writes no files but one table on standard output.
    if (!request.form.info->writes_files() && (outdir || request.force))
        return fail(stderr, "Error: -", nullptr,
                    {request.form.info->name, " and -", request.force ? "force" : "outdir", " can't be combined"});
    if (request.list.length() > 0 && request.input.length() > 0)
        return fail(stderr, "Error: -list and -in can't be combined", nullptr);
    if (request.mirror && !outdir && !report)
        return fail(stderr, "Error: -mirror goes with -outdir", nullptr);
    if (request.list.length() == 0 && (outdir || request.force))
        return fail(stderr, "Error: -", nullptr, {request.force ? "force" : "outdir", " goes with -list"});
    return 0;
}

int run(OptionSet& options, int argc, char** argv)
{
    const Request request = read_request(options, argc, argv);
    if (request.input.length() == 0 && request.list.length() == 0)
        return answer_without_input(request);
    if (const int status = fail_request(request))
        return status;
    if (request.list.length() == 0)
        return dump_file(request.input.c_str(), stdout, stderr, request.form);
    ListRequest list;
    list.list_name = request.list.c_str();
    list.outdir = request.outdir.length() > 0   ? request.outdir.c_str()
                  : request.report.length() > 0 ? request.report.c_str()
                                                : nullptr;
    list.report = request.report.length() > 0;
    list.mirror = request.mirror;
    list.force = request.force;
    list.option_file = request.option_file;
    list.form = request.form;
    return dump_list(list, stderr);
}

}  // namespace

int run_lcdump(int argc, char** argv)
{
    // Unbuffered: every write goes straight to the system, which is as the
    // text forms want it (each line leaves as it ends, in one write) and
    // lets a write that was cut short go on exactly where it stopped.
    // Messages, on the other hand, are gathered and leave in one write when
    // they end, each with a flush.
    static char message_buffer[1024];
    use_binary_mode(stdout);
    use_binary_mode(stderr);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, message_buffer, _IOFBF, sizeof message_buffer);

    OptionSet options(argc, argv);
    try {
        return run(options, argc, argv);
    } catch (const std::bad_alloc&) {
        // The help's and usage line's text, the only memory asked for here
        // that is not the option set's.
        return fail_out_of_memory(stderr);
    }
}
