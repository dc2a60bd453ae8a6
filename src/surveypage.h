// A survey's page: one HTML file that a browser opens from the directory it
// is in, needing nothing from elsewhere: the survey's diagram inline, a table
// of every star's figures, the most variable first, and the stars that failed.
#ifndef LCDUMP_SURVEYPAGE_H
#define LCDUMP_SURVEYPAGE_H

#include <string>
#include <vector>

#include "summary.h"

// A star that converted: its name as the list gives it, its picture's path
// under the page's directory, '/' between directories, and its figures.
struct SurveyStar {
    std::string name;
    std::string picture;
    Summary summary;
};

// A star that did not, and the lines said about it (empty where they could
// not be kept).
struct FailedStar {
    std::string name;
    std::string message;
};

// The page, whole; throws std::bad_alloc.
std::string survey_page(const std::vector<SurveyStar>& stars, const std::vector<FailedStar>& failed);

// path as a relative URL: every byte but letters, digits, '-', '.', '_',
// '~' and '/' written as %XX, so that no name can end the attribute or be
// read as a scheme.
void append_url(std::string& out, const std::string& path);

// The order of the page's table: by flux1_chi2dof, the greatest first and
// NaN last, ties in the list's order.
std::vector<std::size_t> most_variable_first(const std::vector<SurveyStar>& stars);

#endif
