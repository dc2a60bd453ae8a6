#include "svgmarks.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

void append_dot(std::string& dots, double x, double y)
{
    dots += 'M';
    append_pixel(dots, x);
    dots += ' ';
    append_pixel(dots, y);
    dots += "h0";
}

}  // namespace

void draw_points(std::string& out, const Panel& panel, const Points& points)
{
    std::string dots, bars;
    if (points.x.size() <= MOST_MARKS) {
        for (std::size_t i = 0; i < points.x.size(); ++i)
            panel.mark(dots, bars, points.x[i], points.y[i], points.low[i], points.high[i]);
    } else {
        const auto columns = static_cast<std::size_t>(panel.width() / CELL);
        const auto rows = static_cast<std::size_t>(panel.height() / CELL);
        struct Cell {
            double top = INFINITY, bottom = -INFINITY;
        };
        std::vector<Cell> cells(columns * rows);
        const auto clamp = [](double pixel, std::size_t count) {
            const double cell = pixel / CELL;
            return cell < 0 ? 0 : cell >= static_cast<double>(count) ? count - 1 : static_cast<std::size_t>(cell);
        };
        for (std::size_t i = 0; i < points.x.size(); ++i) {
            const double y = panel.y_pixel(points.y[i]) - panel.top();
            if (!(y >= 0 && y < panel.height()))
                continue;
            Cell& cell = cells[clamp(y, rows) * columns + clamp(panel.x_pixel(points.x[i]) - panel.left(), columns)];
            cell.top = std::min(cell.top, panel.y_pixel(points.high[i]));
            cell.bottom = std::max(cell.bottom, panel.y_pixel(points.low[i]));
        }
        // Dots by relative moves, mostly a cell along a row: a few bytes
        // each; a bar only where it reaches beyond its cell.
        double pen_x = 0, pen_y = 0;
        for (std::size_t row = 0; row < rows; ++row) {
            for (std::size_t column = 0; column < columns; ++column) {
                const Cell& cell = cells[row * columns + column];
                if (!(cell.top <= cell.bottom))
                    continue;
                const double x = panel.left() + (static_cast<double>(column) + 0.5) * CELL;
                const double y = panel.top() + (static_cast<double>(row) + 0.5) * CELL;
                if (dots.empty()) {
                    append_dot(dots, x, y);
                } else {
                    dots += 'm';
                    append_pixel(dots, x - pen_x);
                    dots += ' ';
                    append_pixel(dots, y - pen_y);
                    dots += "h0";
                }
                pen_x = x;
                pen_y = y;
                if (cell.top < y - CELL / 2 || cell.bottom > y + CELL / 2) {
                    bars += 'M';
                    append_pixel(bars, x);
                    bars += ' ';
                    append_pixel(bars, std::max(cell.top, panel.top() - 1));
                    bars += 'V';
                    append_pixel(bars, std::min(cell.bottom, panel.top() + panel.height() + 1));
                }
            }
        }
    }
    out += "<path class=\"bars\" d=\"";
    out += bars;
    out += "\"/>\n<path class=\"dots\" d=\"";
    out += dots;
    out += "\"/>\n";
}

void draw_curve(std::string& out, const Panel& panel, const double* x, const double* y, std::size_t n)
{
    if (n <= 2 * static_cast<std::size_t>(panel.width())) {
        panel.line(out, x, y, n);
        return;
    }
    const auto columns = static_cast<std::size_t>(panel.width());
    std::vector<double> least(columns, INFINITY), most(columns, -INFINITY);
    for (std::size_t k = 0; k < n; ++k) {
        const double pixel = panel.x_pixel(x[k]) - panel.left();
        const std::size_t column = pixel < 0 ? 0 : std::min(columns - 1, static_cast<std::size_t>(pixel));
        least[column] = std::min(least[column], y[k]);
        most[column] = std::max(most[column], y[k]);
    }
    bool first = true;
    for (std::size_t column = 0; column < columns; ++column) {
        if (!(least[column] <= most[column]))
            continue;
        const double at = panel.left() + static_cast<double>(column) + 0.5;
        out += first ? 'M' : 'L';
        first = false;
        append_pixel(out, at);
        out += ' ';
        append_pixel(out, panel.y_pixel(least[column]));
        out += 'L';
        append_pixel(out, at);
        out += ' ';
        append_pixel(out, panel.y_pixel(most[column]));
    }
}
