// Many points and values drawn in bounded text: up to a few thousand
// points a mark each, beyond that one mark per occupied cell of a few
// pixels spanning its points' error bars; a curve of many values as its
// least and greatest in each pixel column.
#ifndef LCDUMP_SVGMARKS_H
#define LCDUMP_SVGMARKS_H

#include <cstddef>
#include <string>
#include <vector>

#include "svgplot.h"

// Above this many points a plot draws one mark per occupied cell of CELL
// by CELL pixels.
const std::size_t MOST_MARKS = 4000;
const double CELL = 3;

// Each point and the bottom and top of its error bar.
struct Points {
    std::vector<double> x, y, low, high;
};

// The points' bars and dots, as two paths of classes bars and dots.
void draw_points(std::string& out, const Panel& panel, const Points& points);
// Path data: the curve through (x[i], y[i]), x ascending.
void draw_curve(std::string& out, const Panel& panel, const double* x, const double* y, std::size_t n);

#endif
