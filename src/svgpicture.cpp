#include "svgpicture.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "lombscargle.h"
#include "numtext.h"
#include "output.h"
#include "svgmarks.h"
#include "svgplot.h"

namespace {

// The picture's layout in pixels: three panels of one width, one above
// the other under the title.
const double WIDTH = 760;
const double PANEL_LEFT = 90;
const double PANEL_WIDTH = 640;
const double PANEL_HEIGHT = 200;
const double PANEL_TOP[3] = {70, 350, 630};
// Below the last panel: its axis labels and a margin.
const double BOTTOM = 70;
const double HEIGHT = PANEL_TOP[2] + PANEL_HEIGHT + BOTTOM;

const char* const STYLE = "<style>\n"
                          "text{font-family:sans-serif;font-size:13px;fill:#222}\n"
                          ".title{font-size:16px;font-weight:bold}\n"
                          ".x{text-anchor:middle}\n"
                          ".y{text-anchor:end}\n"
                          ".frame{fill:none;stroke:#444}\n"
                          ".tick{stroke:#444}\n"
                          ".bars{stroke:#8ab;stroke-width:1}\n"
                          ".dots{stroke:#135;stroke-width:3;stroke-linecap:round}\n"
                          ".curve{fill:none;stroke:#135;stroke-width:1}\n"
                          ".peak{stroke:#c33;stroke-dasharray:4 3}\n"
                          "</style>\n";

void append_number(std::string& out, double value)
{
    char text[MAX_NUMBER_TEXT];
    out.append(text, put_shortest(text, value));
}

// The least and greatest of values, over the finite ones; [0, 1] where
// there is none.
void finite_range(const double* values, std::size_t n, double& lo, double& hi)
{
    lo = INFINITY;
    hi = -INFINITY;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = values[i];
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    if (!(lo <= hi)) {
        lo = 0;
        hi = 1;
    }
}

// A clipped group for the panel's content, named by its place.
void open_clip(std::string& out, const Panel& panel, int index)
{
    out += "<clipPath id=\"panel";
    out += static_cast<char>('1' + index);
    out += "\"><rect";
    panel.rectangle(out);
    out += "/></clipPath>\n<g clip-path=\"url(#panel";
    out += static_cast<char>('1' + index);
    out += ")\">\n";
}

Panel flux_panel(int index, double x_lo, double x_hi, const Points& points)
{
    double lo, hi;
    finite_range(points.y.data(), points.y.size(), lo, hi);
    const double margin = 0.08 * (hi - lo);
    return Panel(PANEL_LEFT, PANEL_TOP[index], PANEL_WIDTH, PANEL_HEIGHT, x_lo, x_hi, lo - margin, hi + margin);
}

// The periodogram, per pixel column its least and greatest power where
// there are more frequencies than columns, and the peak's frequency.
void draw_periodogram(std::string& out, const Periodogram& periodogram, const std::vector<double>& power,
                      const PeriodSearch& found)
{
    const FrequencyGrid& grid = periodogram.grid();
    const double f_lo = grid.count > 0 ? grid.first : 0;
    const double f_hi = grid.count > 0 ? grid.at(grid.count - 1) : 1;
    double lo, hi;
    finite_range(power.data(), power.size(), lo, hi);
    const Panel panel(PANEL_LEFT, PANEL_TOP[2], PANEL_WIDTH, PANEL_HEIGHT, f_lo, f_hi, 0, std::max(hi, 0.0) * 1.05);
    panel.axes(out, "frequency (1/d)", "power");
    open_clip(out, panel, 2);
    std::vector<double> f, p;
    for (std::size_t k = 0; k < power.size(); ++k) {
        if (std::isfinite(power[k])) {
            f.push_back(grid.at(k));
            p.push_back(power[k]);
        }
    }
    std::string path;
    draw_curve(path, panel, f.data(), p.data(), f.size());
    out += "<path class=\"curve\" d=\"";
    out += path;
    out += "\"/>\n";
    if (std::isfinite(found.period)) {
        out += "<path class=\"peak\" d=\"M";
        append_pixel(out, panel.x_pixel(1 / found.period));
        out += ' ';
        append_pixel(out, panel.top());
        out += 'V';
        append_pixel(out, panel.top() + panel.height());
        out += "\"/>\n";
    }
    out += "</g>\n";
}

}  // namespace

bool SvgWriter::record(const Measurement& m)
{
    ++records_;
    if (form_.summary != nullptr && !figures_.record(m)) {
        out_of_memory_ = true;
        return false;
    }
    if (!(std::isfinite(m.JD) && std::isfinite(m.flux1) && std::isfinite(m.err1)))
        return true;
    out_of_memory_ = !curve_.keep(m);
    return !out_of_memory_;
}

bool SvgWriter::finish()
{
    try {
        const std::size_t n = curve_.jd.size();
        const double* jd = curve_.jd.begin();
        const float* error = curve_.error.begin();
        double jd_lo, jd_hi;
        finite_range(jd, n, jd_lo, jd_hi);
        // Days from a whole JD, so that the ticks fall on round days; the
        // difference of two doubles this close is exact.
        const double jd0 = std::floor(jd_lo);
        Points raw;
        for (std::size_t i = 0; i < n; ++i)
            raw.x.push_back(jd[i] - jd0);
        raw.y.assign(curve_.flux.begin(), curve_.flux.end());
        for (std::size_t i = 0; i < n; ++i) {
            raw.low.push_back(raw.y[i] - error[i]);
            raw.high.push_back(raw.y[i] + error[i]);
        }
        // The period given, or the search's, which takes the records whose
        // error is positive and whose periodogram is the third panel.
        PeriodSearch found = {form_.fold_period, NAN, NAN};
        std::string periodogram_panel;
        if (!form_.fold) {
            std::vector<double> t, y, dy;
            for (std::size_t i = 0; i < n; ++i) {
                if (error[i] > 0) {
                    t.push_back(jd[i]);
                    y.push_back(raw.y[i]);
                    dy.push_back(error[i]);
                }
            }
            const Periodogram periodogram(LightCurve{t.data(), y.data(), dy.data(), t.size()});
            const std::vector<double> power = periodogram.powers();
            found = search_period(periodogram, power);
            draw_periodogram(periodogram_panel, periodogram, power, found);
        }
        if (form_.summary != nullptr && !figures_.summarise(*form_.summary, &found)) {
            out_of_memory_ = true;
            return false;
        }

        std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
        std::string width, height;
        append_fixed(width, WIDTH, 0);
        append_fixed(height, form_.fold ? PANEL_TOP[1] + PANEL_HEIGHT + BOTTOM : HEIGHT, 0);
        svg += " width=\"" + width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height + "\">\n";
        svg += STYLE;
        svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
        std::string text;
        append_escaped(text, name_);
        append_label(svg, PANEL_LEFT, 28, " class=\"title\"", text);
        text.clear();
        append_grouped(text, records_);
        text += records_ == 1 ? " record, " : " records, ";
        append_grouped(text, records_ - n);
        text += " left out as not finite";
        append_label(svg, PANEL_LEFT, 48, "", text);

        // Panel 1: against JD less a whole day named on the axis.
        const double pad = n > 0 ? 0.02 * (jd_hi - jd_lo) : 0;
        const Panel first = flux_panel(0, jd_lo - jd0 - pad, jd_hi - jd0 + pad, raw);
        std::string axis = "JD \xE2\x88\x92 ";
        append_fixed(axis, jd0, 0);
        axis += " (d)";
        first.axes(svg, axis.c_str(), "flux1");
        open_clip(svg, first, 0);
        draw_points(svg, first, raw);
        svg += "</g>\n";

        // Panel 2: folded at the period, over two cycles.
        Points folded;
        if (std::isfinite(found.period)) {
            for (std::size_t i = 0; i < n; ++i) {
                const double cycles = (jd[i] - jd_lo) / found.period;
                const double phase = cycles - std::floor(cycles);
                // A period so short that the cycles overflow gives no phase.
                if (!std::isfinite(phase))
                    continue;
                for (double turn : {0.0, 1.0}) {
                    folded.x.push_back(phase + turn);
                    folded.y.push_back(raw.y[i]);
                    folded.low.push_back(raw.low[i]);
                    folded.high.push_back(raw.high[i]);
                }
            }
        }
        const Panel second = flux_panel(1, 0, 2, std::isfinite(found.period) ? folded : raw);
        second.axes(svg, "phase", "flux1");
        text = "folded at ";
        if (std::isfinite(found.period)) {
            append_number(text, found.period);
            text += " d";
        } else {
            text = "no period: too few records or no baseline";
        }
        append_label(svg, PANEL_LEFT + PANEL_WIDTH, PANEL_TOP[1] - 8, " class=\"y\"", text);
        open_clip(svg, second, 1);
        draw_points(svg, second, folded);
        svg += "</g>\n";

        svg += periodogram_panel;
        svg += "</svg>\n";
        return write_all(out_, svg.data(), svg.size()) && std::fflush(out_) == 0;
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        return false;
    }
}
