#include "surveyreport.h"

#include <cerrno>

#include "diagnostics.h"
#include "forms.h"
#include "output.h"
#include "outputfile.h"
#include "outputpath.h"

SurveyReport::SurveyReport(const char* directory, std::FILE* messages)
    : directory_(directory),
      messages_(messages),
      copy_(std::tmpfile())
{
    const std::string base = in_directory(directory);
    files_[0] = base + "summary.csv";
    files_[1] = base + "index.html";
    copy_messages_to(copy_);
}

SurveyReport::~SurveyReport()
{
    copy_messages_to(nullptr);
    if (copy_ != nullptr)
        std::fclose(copy_);
}

std::string SurveyReport::said_since()
{
    std::string text;
    const long end = copy_ != nullptr ? std::ftell(copy_) : -1;
    if (end > copied_ && std::fseek(copy_, copied_, SEEK_SET) == 0) {
        text.resize(static_cast<std::size_t>(end - copied_));
        text.resize(std::fread(&text[0], 1, text.size(), copy_));
        // Reading, then writing again, wants a seek between.
        std::fseek(copy_, 0, SEEK_END);
    }
    copied_ = end;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

void SurveyReport::done(const char* input, const std::string& picture, int status)
{
    std::string said = said_since();
    if (status == 0)
        stars_.push_back(SurveyStar{input, picture, summary_});
    else
        failed_.push_back(FailedStar{input, std::move(said)});
    summary_ = Summary();
}

int SurveyReport::write(const std::string& name, bool force, bool table)
{
    OutputFile file(name);
    if (!file.create())
        return errno == ENOMEM ? fail_out_of_memory(messages_) : fail_output(messages_, name.c_str());
    bool written;
    if (table) {
        OutputForm form(find_form("stats"));
        form.period = true;
        SummaryTable summary(file.stream(), form);
        written = summary.start();
        for (const SurveyStar& star : stars_)
            written = written && summary.add(star.name.c_str(), star.summary);
        written = written && summary.finish();
        if (!written && summary.out_of_memory())
            return fail_out_of_memory(messages_);
    } else {
        const std::string page = survey_page(stars_, failed_);
        written = write_all(file.stream(), page.data(), page.size());
    }
    if (written && file.commit(force))
        return 0;
    if (errno == EEXIST)
        return fail(messages_, "Error: ", name.c_str(), {" exists; not replaced (-force replaces it)"});
    return fail_output(messages_, name.c_str());
}

int SurveyReport::finish(bool force)
{
    // The table first, so that a page that is there names only files that are.
    if (const int status = write(files_[0], force, true))
        return status;
    return write(files_[1], force, false);
}
