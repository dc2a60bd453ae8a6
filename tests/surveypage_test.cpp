// The survey page's pieces as properties: every star of a large survey is in
// exactly one of the diagram's points, each point the most variable of its
// cell and within it; links escaped so that no name leaves its attribute or
// reads as a scheme; the table's order. The page as a whole is checked in
// Chromium by report_check.py.
#include "surveypage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "surveydiagram.h"

namespace {

SurveyStar star(const std::string& name, double median, double chi2dof)
{
    SurveyStar s;
    s.name = name;
    s.picture = name + ".svg";
    s.summary.flux1_median = median;
    s.summary.flux1_chi2dof = chi2dof;
    s.summary.period = 1;
    return s;
}

struct Point {
    std::string picture;
    double x, y;
    long count;
};

std::vector<Point> points_of(const std::string& svg)
{
    std::vector<Point> points;
    const std::regex point("<a href=\"([^\"]*)\"><circle class=\"stars?\" cx=\"([\\d.]+)\" cy=\"([\\d.]+)\" r=\"3\">"
                           "<title>(([\\d,]+) stars here)?");
    for (std::sregex_iterator at(svg.begin(), svg.end(), point), end; at != end; ++at) {
        const std::smatch& m = *at;
        points.push_back({m[1], std::stod(m[2]), std::stod(m[3]),
                          m[5].matched ? std::stol(std::regex_replace(m[5].str(), std::regex(","), "")) : 1});
    }
    return points;
}

}  // namespace

TEST(SurveyDiagram, AFewStarsAPointEachAndManyAPointPerCellThatHoldsThemAll)
{
    std::mt19937_64 rng(29);
    std::uniform_real_distribution<double> unit(0, 1);
    for (std::size_t n : {std::size_t(1), std::size_t(700), std::size_t(4000), std::size_t(4001), std::size_t(10000)}) {
        SCOPED_TRACE(n);
        std::vector<SurveyStar> stars;
        std::size_t undrawable = 0;
        for (std::size_t i = 0; i < n; ++i) {
            // Brightness over four decades, variability mostly near 1; one
            // in fifty with a figure a log axis can't show.
            // Below 1 as well as above: a log axis shows every positive figure.
            double median = std::pow(10, 5 * unit(rng) - 1), chi2dof = std::pow(10, 3 * std::pow(unit(rng), 6) - 0.5);
            if (i % 50 == 7) {
                // Either figure, as NaN, 0 or -1 in turn.
                const std::size_t k = i / 50;
                (k % 2 == 0 ? median : chi2dof) = k / 2 % 3 == 0 ? NAN : k / 2 % 3 == 1 ? 0 : -1;
                ++undrawable;
            }
            stars.push_back(star("s" + std::to_string(i), median, chi2dof));
        }
        std::string svg;
        EXPECT_EQ(draw_survey_diagram(svg, stars), undrawable);
        const std::vector<Point> points = points_of(svg);
        long held = 0;
        for (const Point& p : points) {
            held += p.count;
            // Inside the frame.
            EXPECT_TRUE(p.x >= 90 && p.x <= 730 && p.y >= 20 && p.y <= 400) << p.x << " " << p.y;
        }
        EXPECT_EQ(static_cast<std::size_t>(held), n - undrawable);
        // Each axis runs from decade to decade, each labelled, the first and
        // the last at the frame's edges.
        const std::regex x_label("<text class=\"x\" x=\"([\\d.]+)\" y=\"[\\d.]+\">10<tspan");
        const std::regex y_label("<text class=\"y\" x=\"[\\d.]+\" y=\"([\\d.]+)\">10<tspan");
        std::vector<double> xs, ys;
        for (std::sregex_iterator at(svg.begin(), svg.end(), x_label), end; at != end; ++at)
            xs.push_back(std::stod((*at)[1]));
        for (std::sregex_iterator at(svg.begin(), svg.end(), y_label), end; at != end; ++at)
            ys.push_back(std::stod((*at)[1]) - 4);
        ASSERT_GE(xs.size(), 2u);
        ASSERT_GE(ys.size(), 2u);
        EXPECT_EQ(xs.front(), 90);
        EXPECT_EQ(xs.back(), 730);
        EXPECT_EQ(ys.front(), 400);
        EXPECT_EQ(ys.back(), 20);
        // And a tick at each label.
        std::string ticks = svg.substr(svg.find("<path class=\"tick\" d=\"") + 22);
        ticks = ticks.substr(0, ticks.find('"'));
        EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 'v'), static_cast<long>(xs.size())) << ticks;
        EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 'h'), static_cast<long>(ys.size())) << ticks;
        if (n - undrawable <= 4000) {
            EXPECT_EQ(points.size(), n - undrawable);
            continue;
        }
        // Binned: fewer points than stars, each the star of greatest
        // chi2dof among those of its 3-pixel cell, found here from the
        // figures by the axes' whole decades; stars within a fiftieth of a
        // cell of its edge are let be.
        EXPECT_LT(points.size(), n / 2);
        double x_lo = INFINITY, x_hi = -INFINITY, y_lo = INFINITY, y_hi = -INFINITY;
        for (const SurveyStar& s : stars)
            if (s.summary.flux1_median > 0 && s.summary.flux1_chi2dof > 0) {
                x_lo = std::min(x_lo, std::log10(s.summary.flux1_median));
                x_hi = std::max(x_hi, std::log10(s.summary.flux1_median));
                y_lo = std::min(y_lo, std::log10(s.summary.flux1_chi2dof));
                y_hi = std::max(y_hi, std::log10(s.summary.flux1_chi2dof));
            }
        x_lo = std::floor(x_lo), x_hi = std::ceil(x_hi), y_lo = std::floor(y_lo), y_hi = std::ceil(y_hi);
        std::map<std::pair<long, long>, const SurveyStar*> greatest;
        std::set<std::pair<long, long>> near_edge;
        for (const SurveyStar& s : stars) {
            if (!(s.summary.flux1_median > 0 && s.summary.flux1_chi2dof > 0))
                continue;
            const double column = (std::log10(s.summary.flux1_median) - x_lo) / (x_hi - x_lo) * 640 / 3;
            const double row = (1 - (std::log10(s.summary.flux1_chi2dof) - y_lo) / (y_hi - y_lo)) * 380 / 3;
            const std::pair<long, long> cell(static_cast<long>(std::floor(column)), static_cast<long>(std::floor(row)));
            if (std::fabs(column - std::round(column)) < 0.02 || std::fabs(row - std::round(row)) < 0.02)
                near_edge.insert(cell);
            const SurveyStar*& best = greatest[cell];
            if (best == nullptr || s.summary.flux1_chi2dof > best->summary.flux1_chi2dof)
                best = &s;
        }
        EXPECT_EQ(points.size(), greatest.size());
        std::size_t checked = 0;
        for (const Point& p : points) {
            const std::pair<long, long> cell(static_cast<long>(std::floor((p.x - 90) / 3)),
                                             static_cast<long>(std::floor((p.y - 20) / 3)));
            // A point's pixels have one decimal: one that close to an edge
            // may be the cell's on either side.
            const double column = (p.x - 90) / 3, row = (p.y - 20) / 3;
            if (near_edge.count(cell) != 0 || std::fabs(column - std::round(column)) < 0.02 ||
                std::fabs(row - std::round(row)) < 0.02)
                continue;
            ASSERT_EQ(greatest.count(cell), 1u) << p.x << " " << p.y;
            EXPECT_EQ(p.picture, greatest[cell]->picture);
            ++checked;
        }
        EXPECT_GT(checked, points.size() * 3 / 4);
        EXPECT_LT(svg.size(), std::size_t(1) << 20);
    }
}

TEST(SurveyDiagram, AxesSpanTheDecadesOfTheFiguresAlone)
{
    // Figures away from 1 on both axes: the decades are theirs, 10^2 to
    // 10^5 and 10^0 to 10^3, and no more.
    // In every order, so that each extreme comes first and last.
    std::vector<SurveyStar> stars = {star("a", 5e2, 5), star("b", 5e4, 700), star("c", 2e3, 30)};
    std::sort(stars.begin(), stars.end(), [](const SurveyStar& x, const SurveyStar& y) { return x.name < y.name; });
    do {
        std::string svg;
        draw_survey_diagram(svg, stars);
        std::string powers;
        const std::regex label("<text class=\"([xy])\"[^>]*>10<tspan dy=\"-6\" font-size=\"10\">(-?\\d+)</tspan>");
        for (std::sregex_iterator at(svg.begin(), svg.end(), label), end; at != end; ++at)
            powers += (*at)[1].str() + (*at)[2].str() + " ";
        EXPECT_EQ(powers, "x2 x3 x4 x5 y0 y1 y2 y3 ") << stars[0].name << stars[1].name << stars[2].name;
    } while (std::next_permutation(stars.begin(), stars.end(),
                                   [](const SurveyStar& x, const SurveyStar& y) { return x.name < y.name; }));
}

TEST(SurveyPage, LinksEscapeEveryByteThatIsNoPlainPathCharacter)
{
    for (int c = 1; c < 256; ++c) {
        std::string url;
        append_url(url, std::string(1, static_cast<char>(c)));
        const bool plain = std::isalnum(c) != 0 && c < 128;
        const bool kept = plain || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        EXPECT_EQ(url, kept ? std::string(1, static_cast<char>(c)) : std::string(escaped)) << c;
    }
}

TEST(SurveyPage, MostVariableFirstNanLastTiesInListOrder)
{
    const std::vector<SurveyStar> stars = {star("a", 1, 2),   star("b", 1, NAN), star("c", 1, 50),      star("d", 1, 2),
                                           star("e", 1, NAN), star("f", 1, 0.5), star("g", 1, INFINITY)};
    const std::vector<std::size_t> order = most_variable_first(stars);
    std::string names;
    for (std::size_t i : order)
        names += stars[i].name;
    EXPECT_EQ(names, "gcadfbe");
}

TEST(SurveyPage, NamesAndMessagesAreEscapedWhereverTheyStand)
{
    std::vector<SurveyStar> stars = {star("<b>&amp;\"'", 100, 3)};
    stars[0].picture = "x\".svg";
    const std::vector<FailedStar> failed = {{"<i>", "Error: <i>: too short"}};
    const std::string page = survey_page(stars, failed);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(page.find("<i>"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;&amp;amp;&quot;&#39;"), std::string::npos);
    EXPECT_NE(page.find("href=\"x%22.svg\""), std::string::npos);
    EXPECT_NE(page.find("Error: &lt;i&gt;: too short"), std::string::npos);
    EXPECT_NE(page.find("1 picture and <a href=\"#failed\">1 failure</a>"), std::string::npos);
    // Counts for people, as the messages write them.
    const std::vector<SurveyStar> many(1233, star("s", 10, 1));
    const std::string big = survey_page(many, failed);
    EXPECT_NE(big.find("<title>Survey of 1,234 light curves</title>"), std::string::npos);
    EXPECT_NE(big.find("1,233 pictures and"), std::string::npos);
}
