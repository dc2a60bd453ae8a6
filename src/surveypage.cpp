#include "surveypage.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "surveydiagram.h"
#include "svgplot.h"

namespace {

const char* const STYLE = "<style>\n"
                          "body{font-family:sans-serif;color:#222;margin:1.5em;max-width:100em}\n"
                          "table{border-collapse:collapse;font-size:0.85em}\n"
                          "th,td{padding:0.15em 0.5em;border-bottom:1px solid #ddd;white-space:nowrap}\n"
                          "th{cursor:pointer;text-align:left;background:#eee;position:sticky;top:0}\n"
                          "td.n{text-align:right;font-variant-numeric:tabular-nums}\n"
                          "code{white-space:pre-wrap}\n"
                          "</style>\n";

// A header's click sorts the table by its column, the greatest first,
// numbers as numbers and nan last; a second click turns the order round.
// index.html#sort=period opens it sorted so. The page reads whole without
// it.
const char* const SORTING =
    "<script>\n"
    "document.querySelectorAll('#stars th').forEach(function (th, column) {\n"
    "  th.addEventListener('click', function () {\n"
    "    var body = document.querySelector('#stars tbody'), rows = Array.prototype.slice.call(body.rows);\n"
    "    var down = th.getAttribute('data-down') !== 'yes';\n"
    "    th.setAttribute('data-down', down ? 'yes' : 'no');\n"
    "    function key(row) { var text = row.cells[column].textContent, value = Number(text);\n"
    "      return text === 'nan' ? null : isNaN(value) ? text : value; }\n"
    "    rows.sort(function (a, b) { var x = key(a), y = key(b);\n"
    "      if (x === null || y === null) return (x === null) - (y === null);\n"
    "      var order = typeof x === 'number' && typeof y === 'number' ? x - y : String(x).localeCompare(String(y));\n"
    "      return down ? -order : order; });\n"
    "    rows.forEach(function (row) { body.appendChild(row); });\n"
    "  });\n"
    "  if (location.hash === '#sort=' + th.textContent) th.click();\n"
    "});\n"
    "</script>\n";

void append_count(std::string& out, std::size_t n, const char* one, const char* many)
{
    append_grouped(out, n);
    out += n == 1 ? one : many;
}

void append_table(std::string& out, const std::vector<SurveyStar>& stars)
{
    out += "<table id=\"stars\">\n<thead><tr><th>rank</th><th>file</th>";
    for_each_summary_column(true, [&](const SummaryColumn& column) {
        out += "<th>";
        out += column.name;
        out += "</th>";
    });
    out += "</tr></thead>\n<tbody>\n";
    std::size_t rank = 0;
    for (std::size_t i : most_variable_first(stars)) {
        const SurveyStar& star = stars[i];
        out += "<tr><td class=\"n\">";
        append_fixed(out, static_cast<double>(++rank), 0);
        out += "</td><td><a href=\"";
        append_url(out, star.picture);
        out += "\">";
        append_escaped(out, star.name.c_str());
        out += "</a></td>";
        for_each_summary_column(true, [&](const SummaryColumn& column) {
            out += "<td class=\"n\">";
            append_value(out, column, star.summary);
            out += "</td>";
        });
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
}

void append_failures(std::string& out, const std::vector<FailedStar>& failed)
{
    out += "<h2 id=\"failed\">Stars that failed</h2>\n";
    if (failed.empty()) {
        out += "<p>None: every star of the list has its picture.</p>\n";
        return;
    }
    out += "<ul>\n";
    for (const FailedStar& star : failed) {
        out += "<li>";
        append_escaped(out, star.name.c_str());
        out += ": <code>";
        if (star.message.empty())
            out += "(its message went to standard error alone)";
        append_escaped(out, star.message.c_str());
        out += "</code></li>\n";
    }
    out += "</ul>\n";
}

}  // namespace

void append_url(std::string& out, const std::string& path)
{
    static const char HEX[] = "0123456789ABCDEF";
    for (char byte : path) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += HEX[c >> 4];
            out += HEX[c & 15];
        }
    }
}

std::vector<std::size_t> most_variable_first(const std::vector<SurveyStar>& stars)
{
    std::vector<std::size_t> order(stars.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const double x = stars[a].summary.flux1_chi2dof, y = stars[b].summary.flux1_chi2dof;
        return std::isnan(y) ? !std::isnan(x) : x > y;
    });
    return order;
}

std::string survey_page(const std::vector<SurveyStar>& stars, const std::vector<FailedStar>& failed)
{
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<title>Survey of ";
    std::string count;
    append_count(count, stars.size() + failed.size(), " light curve", " light curves");
    out += count + "</title>\n";
    out += STYLE;
    out += "</head>\n<body>\n<h1>Survey of " + count + "</h1>\n<p>";
    append_count(out, stars.size(), " picture", " pictures");
    out += " and <a href=\"#failed\">";
    append_count(out, failed.size(), " failure", " failures");
    out += "</a>. <a href=\"summary.csv\">summary.csv</a> holds the table below, as <code>lcdump -stats "
           "-period</code> writes it.</p>\n"
           "<h2>Variability against brightness</h2>\n"
           "<p>Each star's flux1_chi2dof, the &#967;&#178; of flux1 about its weighted mean per degree of "
           "freedom, against its flux1_median, both on log axes. A star above the dashed line at 1 varies "
           "more than its errors say. Each point links to the star's picture, and names it on hover.";
    std::string diagram;
    const std::size_t left_out = draw_survey_diagram(diagram, stars);
    if (left_out > 0) {
        out += ' ';
        append_count(out, left_out, " star is", " stars are");
        out += " left out of it, with no positive flux1_median or flux1_chi2dof.";
    }
    out += "</p>\n" + diagram;
    out += "<h2>Stars, the most variable first</h2>\n"
           "<p>By flux1_chi2dof; each name links to its picture. A click on a column's name sorts by it, and "
           "<code>index.html#sort=period</code> opens it sorted by period.</p>\n";
    append_table(out, stars);
    append_failures(out, failed);
    out += SORTING;
    out += "</body>\n</html>\n";
    return out;
}
