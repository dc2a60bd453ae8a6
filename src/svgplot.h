// Plots as SVG text: a panel maps data to pixels and draws its axes at
// round ticks, marks with error bars and polylines. Every coordinate is
// written with a fixed number of decimals, so that a picture is the same
// bytes on every machine.
#ifndef LCDUMP_SVGPLOT_H
#define LCDUMP_SVGPLOT_H

#include <cstddef>
#include <cstdint>
#include <string>

// Ticks at first, first + step, … , count of them within the range asked,
// step 1, 2 or 5 times a power of ten, each written with decimals places.
struct Ticks {
    double first = 0;
    double step = 1;
    int count = 0;
    int decimals = 0;

    double at(int i) const { return first + step * i; }
};
// At most most ticks (at least 2) within [lo, hi]; none where the range is
// empty or not finite.
Ticks round_ticks(double lo, double hi, int most);

// value with exactly decimals places, as "%.*f" writes it; "0" for -0.
void append_fixed(std::string& out, double value, int decimals);
// text with &, <, >, " and ' escaped, and bytes that XML forbids (controls
// but tab and line ends) written as U+FFFD.
void append_escaped(std::string& out, const char* text);

// A rectangle of the picture, left, top, width and height in pixels, that
// shows [x_lo, x_hi] × [y_lo, y_hi] of the data, y upwards.
class Panel {
public:
    Panel(double left, double top, double width, double height, double x_lo, double x_hi, double y_lo, double y_hi);

    double x_pixel(double x) const { return left_ + (x - x_lo_) * x_scale_; }
    double y_pixel(double y) const { return top_ + height_ - (y - y_lo_) * y_scale_; }

    // The attributes x, y, width and height of the panel's rectangle.
    void rectangle(std::string& out) const;
    // The frame, the ticks and their labels, and the axes' names.
    void axes(std::string& out, const char* x_name, const char* y_name) const;
    // Path data: a dot at (x, y) into dots, drawn with round caps, and a
    // bar from y_low to y_high into bars.
    void mark(std::string& dots, std::string& bars, double x, double y, double y_low, double y_high) const;
    // Path data: the points (x[i], y[i]) joined by lines.
    void line(std::string& out, const double* x, const double* y, std::size_t n) const;

    double left() const { return left_; }
    double top() const { return top_; }
    double width() const { return width_; }
    double height() const { return height_; }

private:
    double left_, top_, width_, height_;
    double x_lo_, y_lo_;
    double x_scale_, y_scale_;
    Ticks x_ticks_, y_ticks_;
};

// A count for people, its digits grouped by thousands: 10,000.
void append_grouped(std::string& out, std::uint64_t count);

// A text element at (x, y) with attributes style (" class=\"y\"", or
// none), holding text, which is markup already.
void append_label(std::string& out, double x, double y, const char* style, const std::string& text);

// A pixel coordinate as the pictures write it: one decimal.
void append_pixel(std::string& out, double pixel);

#endif
