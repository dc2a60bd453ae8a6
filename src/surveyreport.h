// A -list run's survey page: each star's figures as its picture is made,
// the stars that failed with what was said of them, and at the end the
// summary table and the page beside the pictures, each whole or not at all.
#ifndef LCDUMP_SURVEYREPORT_H
#define LCDUMP_SURVEYREPORT_H

#include <cstdio>
#include <string>
#include <vector>

#include "summary.h"
#include "surveypage.h"

class SurveyReport {
public:
    // directory is the page's, where the pictures go; messages the run's.
    // From here to the end, every message line is copied into a temporary
    // file, where one can be had, for the page to quote.
    SurveyReport(const char* directory, std::FILE* messages);
    ~SurveyReport();
    SurveyReport(const SurveyReport&) = delete;
    SurveyReport& operator=(const SurveyReport&) = delete;

    // The page's own files, which the run checks before any star.
    static const std::size_t FILES = 2;
    const std::string& file(std::size_t i) const { return files_[i]; }

    // Where a star's summary goes while its picture is made.
    Summary& summary() { return summary_; }

    // After each star, the input's name, its picture's path and its
    // status: the star kept, with its figures or with the lines said of it
    // since the last star. Throws std::bad_alloc.
    void done(const char* input, const std::string& picture, int status);

    // The summary table, then the page; 0, or the failure status after
    // the message.
    int finish(bool force);

private:
    std::string said_since();
    int write(const std::string& name, bool force, bool table);

    std::string directory_;
    std::string files_[FILES];
    std::FILE* messages_;
    std::FILE* copy_;
    long copied_ = 0;
    Summary summary_;
    std::vector<SurveyStar> stars_;
    std::vector<FailedStar> failed_;
};

#endif
