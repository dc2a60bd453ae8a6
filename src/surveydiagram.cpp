#include "surveydiagram.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

#include "detmath.h"
#include "svgmarks.h"
#include "svgplot.h"

namespace {

const double WIDTH = 760;
const double HEIGHT = 470;
const double LEFT = 90;
const double TOP = 20;
const double PLOT_WIDTH = 640;
const double PLOT_HEIGHT = 380;

// log10 from the machine-independent ln, so that every machine puts each
// point at the same pixel.
double log_ten(double x)
{
    static const double LN_TEN = detmath::log(10);
    return detmath::log(x) / LN_TEN;
}

bool drawable(const Summary& summary)
{
    return std::isfinite(summary.flux1_median) && summary.flux1_median > 0 && std::isfinite(summary.flux1_chi2dof) &&
           summary.flux1_chi2dof > 0;
}

// The range of values, widened to whole decades and at least one.
void decades(double& lo, double& hi)
{
    lo = std::floor(lo);
    hi = std::ceil(hi);
    if (!(hi > lo))
        hi = lo + 1;
}

// A figure's text as the summary table writes it.
void append_figure(std::string& out, const Summary& summary, double Summary::*figure)
{
    for (const SummaryColumn& column : SUMMARY_COLUMNS)
        if (column.figure == figure)
            append_value(out, column, summary);
}

// The decades' ticks and labels, 10 with the power raised, on both axes.
void decade_axes(std::string& out, const Panel& panel, double x_lo, double x_hi, double y_lo, double y_hi)
{
    auto label = [&](double x, double y, const char* style, double power) {
        std::string text = "10<tspan dy=\"-6\" font-size=\"10\">";
        append_fixed(text, power, 0);
        append_label(out, x, y, style, text + "</tspan>");
    };
    out += "<path class=\"tick\" d=\"";
    for (double k = x_lo; k <= x_hi; ++k) {
        out += 'M';
        append_pixel(out, panel.x_pixel(k));
        out += ' ';
        append_pixel(out, panel.top() + panel.height());
        out += "v5";
    }
    for (double k = y_lo; k <= y_hi; ++k) {
        out += 'M';
        append_pixel(out, panel.left());
        out += ' ';
        append_pixel(out, panel.y_pixel(k));
        out += "h-5";
    }
    out += "\"/>\n";
    for (double k = x_lo; k <= x_hi; ++k)
        label(panel.x_pixel(k), panel.top() + panel.height() + 20, " class=\"x\"", k);
    for (double k = y_lo; k <= y_hi; ++k)
        label(panel.left() - 8, panel.y_pixel(k) + 4, " class=\"y\"", k);
}

}  // namespace

std::size_t draw_survey_diagram(std::string& out, const std::vector<SurveyStar>& stars)
{
    std::vector<std::size_t> drawn;
    std::vector<double> x, y;
    for (std::size_t i = 0; i < stars.size(); ++i) {
        if (drawable(stars[i].summary)) {
            drawn.push_back(i);
            x.push_back(log_ten(stars[i].summary.flux1_median));
            y.push_back(log_ten(stars[i].summary.flux1_chi2dof));
        }
    }
    double x_lo = 0, x_hi = 1, y_lo = 0, y_hi = 1;
    for (std::size_t k = 0; k < drawn.size(); ++k) {
        x_lo = k == 0 ? x[k] : std::min(x_lo, x[k]);
        x_hi = k == 0 ? x[k] : std::max(x_hi, x[k]);
        y_lo = k == 0 ? y[k] : std::min(y_lo, y[k]);
        y_hi = k == 0 ? y[k] : std::max(y_hi, y[k]);
    }
    decades(x_lo, x_hi);
    decades(y_lo, y_hi);
    const Panel panel(LEFT, TOP, PLOT_WIDTH, PLOT_HEIGHT, x_lo, x_hi, y_lo, y_hi);
    std::string width, height;
    append_fixed(width, WIDTH, 0);
    append_fixed(height, HEIGHT, 0);
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + width + "\" height=\"" + height +
           "\" viewBox=\"0 0 " + width + " " + height + "\">\n";
    out += "<style>\n"
           "text{font-family:sans-serif;font-size:13px;fill:#222}\n"
           ".x{text-anchor:middle}\n.y{text-anchor:end}\n"
           ".frame{fill:none;stroke:#444}\n.tick{stroke:#444}\n"
           ".unit{stroke:#c33;stroke-dasharray:4 3}\n"
           ".star{fill:#135}\n.stars{fill:#135;stroke:#8ab;stroke-width:1}\n"
           "a:hover .star,a:hover .stars{fill:#c33}\n"
           "</style>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n<rect class=\"frame\"";
    panel.rectangle(out);
    out += "/>\n";
    decade_axes(out, panel, x_lo, x_hi, y_lo, y_hi);
    out += "<text class=\"x\" x=\"410.0\" y=\"";
    append_pixel(out, TOP + PLOT_HEIGHT + 44);
    out += "\">flux1_median</text>\n<text class=\"x\" transform=\"translate(24 ";
    append_pixel(out, TOP + PLOT_HEIGHT / 2);
    out += ") rotate(-90)\">flux1_chi2dof</text>\n";
    // Scatter as the errors alone would make it.
    if (y_lo < 0 && y_hi > 0) {
        out += "<path class=\"unit\" d=\"M";
        append_pixel(out, LEFT);
        out += ' ';
        append_pixel(out, panel.y_pixel(0));
        out += 'H';
        append_pixel(out, LEFT + PLOT_WIDTH);
        out += "\"/>\n";
    }
    // Each cell's stars, the most variable first, in an order of the cells
    // that is the same on every machine.
    std::map<std::pair<std::int64_t, std::int64_t>, std::pair<std::size_t, std::size_t>> cells;
    const bool binned = drawn.size() > MOST_MARKS;
    for (std::size_t k = 0; k < drawn.size(); ++k) {
        const auto column = static_cast<std::int64_t>(std::floor((panel.x_pixel(x[k]) - LEFT) / CELL));
        const auto row = static_cast<std::int64_t>(std::floor((panel.y_pixel(y[k]) - TOP) / CELL));
        const auto key = binned ? std::make_pair(column, row) : std::make_pair(std::int64_t(k), std::int64_t(0));
        auto found = cells.emplace(key, std::make_pair(k, std::size_t(0))).first;
        if (y[k] > y[found->second.first])
            found->second.first = k;
        ++found->second.second;
    }
    for (const auto& cell : cells) {
        const std::size_t k = cell.second.first;
        const SurveyStar& star = stars[drawn[k]];
        out += "<a href=\"";
        append_url(out, star.picture);
        out += "\"><circle class=\"";
        out += cell.second.second > 1 ? "stars" : "star";
        out += "\" cx=\"";
        append_pixel(out, panel.x_pixel(x[k]));
        out += "\" cy=\"";
        append_pixel(out, panel.y_pixel(y[k]));
        out += "\" r=\"3\"><title>";
        if (cell.second.second > 1) {
            append_grouped(out, cell.second.second);
            out += " stars here, the most variable ";
        }
        append_escaped(out, star.name.c_str());
        out += ": flux1_median ";
        append_figure(out, star.summary, &Summary::flux1_median);
        out += ", flux1_chi2dof ";
        append_figure(out, star.summary, &Summary::flux1_chi2dof);
        out += ", period ";
        append_figure(out, star.summary, &Summary::period);
        out += " d</title></circle></a>\n";
    }
    out += "</svg>\n";
    return stars.size() - drawn.size();
}
