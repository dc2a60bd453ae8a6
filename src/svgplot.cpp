#include "svgplot.h"

#include <charconv>
#include <cmath>

#include "numtext.h"

namespace {

// 10^k, by products and one division, the same bits everywhere.
double ten_to(int k)
{
    double power = 1;
    for (int i = 0; i < (k < 0 ? -k : k); ++i)
        power *= 10;
    return k < 0 ? 1 / power : power;
}

// The length of the well-formed UTF-8 sequence at p (of at most left
// bytes) of a character XML allows, or 0.
std::size_t xml_character_length(const unsigned char* p, std::size_t left)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return b >= 0x20 || b == '\t' || b == '\n' || b == '\r' ? 1 : 0;
    std::size_t length;
    unsigned long code;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        code = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        code = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        code = b & 0x07u;
    } else {
        return 0;
    }
    if (length > left)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0u) != 0x80u)
            return 0;
        code = code << 6 | (p[i] & 0x3Fu);
    }
    const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool allowed = code >= least[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) &&
                         code != 0xFFFE && code != 0xFFFF;
    return allowed ? length : 0;
}

}  // namespace

Ticks round_ticks(double lo, double hi, int most)
{
    Ticks ticks;
    if (!(std::isfinite(lo) && std::isfinite(hi) && hi > lo && most >= 2) || !std::isfinite(hi - lo))
        return ticks;
    const double raw = (hi - lo) / (most - 1);
    // 10^k <= raw < 10^(k+1); 10^k runs to infinity above 10^308 and to 0
    // below 10^-323, which ends either walk.
    int k = 0;
    while (ten_to(k) > raw)
        --k;
    while (ten_to(k + 1) <= raw)
        ++k;
    // The least of 1, 2 and 5 times 10^k, or 10^(k+1), not below raw.
    const double power = ten_to(k);
    double step = 10 * power;
    for (int multiple : {1, 2, 5}) {
        if (multiple * power >= raw) {
            step = multiple * power;
            break;
        }
    }
    const double first = std::ceil(lo / step), last = std::floor(hi / step);
    // A step beyond the doubles, or so small beside the values that the
    // ticks round together, gives none rather than too many.
    if (!std::isfinite(step) || !(last - first < most))
        return ticks;
    ticks.first = first * step;
    ticks.step = step;
    ticks.count = last >= first ? static_cast<int>(last - first) + 1 : 0;
    ticks.decimals = step >= 1 ? 0 : -(k + (step == 10 * power ? 1 : 0));
    return ticks;
}

void append_fixed(std::string& out, double value, int decimals)
{
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) {
        out += "0";
        return;
    }
    const char* begin = text;
    if (*begin == '-') {  // -0 and -0.0… are written without the sign
        bool zero = true;
        for (const char* c = begin + 1; c != result.ptr; ++c)
            zero = zero && (*c == '0' || *c == '.');
        if (zero)
            ++begin;
    }
    out.append(begin, static_cast<std::size_t>(result.ptr - begin));
}

void append_pixel(std::string& out, double pixel)
{
    append_fixed(out, pixel, 1);
}

void append_escaped(std::string& out, const char* text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t left = 0;
    while (p[left] != 0)
        ++left;
    while (left > 0) {
        const std::size_t length = xml_character_length(p, left);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++p;
            --left;
            continue;
        }
        switch (*p) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.append(reinterpret_cast<const char*>(p), length);
        }
        p += length;
        left -= length;
    }
}

Panel::Panel(double left, double top, double width, double height, double x_lo, double x_hi, double y_lo, double y_hi)
    : left_(left),
      top_(top),
      width_(width),
      height_(height),
      x_lo_(x_lo),
      y_lo_(y_lo)
{
    // An empty range is widened to one unit about its value.
    if (!(x_hi > x_lo)) {
        x_lo_ = x_lo - 0.5;
        x_hi = x_lo + 0.5;
    }
    if (!(y_hi > y_lo)) {
        y_lo_ = y_lo - 0.5;
        y_hi = y_lo + 0.5;
    }
    x_scale_ = width / (x_hi - x_lo_);
    y_scale_ = height / (y_hi - y_lo_);
    x_ticks_ = round_ticks(x_lo_, x_hi, 7);
    y_ticks_ = round_ticks(y_lo_, y_hi, 7);
}

void Panel::rectangle(std::string& out) const
{
    out += " x=\"";
    append_pixel(out, left_);
    out += "\" y=\"";
    append_pixel(out, top_);
    out += "\" width=\"";
    append_pixel(out, width_);
    out += "\" height=\"";
    append_pixel(out, height_);
    out += '"';
}

void Panel::axes(std::string& out, const char* x_name, const char* y_name) const
{
    out += "<rect class=\"frame\"";
    rectangle(out);
    out += "/>\n<path class=\"tick\" d=\"";
    const double bottom = top_ + height_;
    for (int i = 0; i < x_ticks_.count; ++i) {
        out += 'M';
        append_pixel(out, x_pixel(x_ticks_.at(i)));
        out += ' ';
        append_pixel(out, bottom);
        out += "v5";
    }
    for (int i = 0; i < y_ticks_.count; ++i) {
        out += 'M';
        append_pixel(out, left_);
        out += ' ';
        append_pixel(out, y_pixel(y_ticks_.at(i)));
        out += "h-5";
    }
    out += "\"/>\n";
    for (int i = 0; i < x_ticks_.count; ++i) {
        out += "<text class=\"x\" x=\"";
        append_pixel(out, x_pixel(x_ticks_.at(i)));
        out += "\" y=\"";
        append_pixel(out, bottom + 18);
        out += "\">";
        append_fixed(out, x_ticks_.at(i), x_ticks_.decimals);
        out += "</text>\n";
    }
    for (int i = 0; i < y_ticks_.count; ++i) {
        out += "<text class=\"y\" x=\"";
        append_pixel(out, left_ - 8);
        out += "\" y=\"";
        append_pixel(out, y_pixel(y_ticks_.at(i)) + 4);
        out += "\">";
        append_fixed(out, y_ticks_.at(i), y_ticks_.decimals);
        out += "</text>\n";
    }
    out += "<text class=\"x\" x=\"";
    append_pixel(out, left_ + width_ / 2);
    out += "\" y=\"";
    append_pixel(out, bottom + 36);
    out += "\">";
    append_escaped(out, x_name);
    out += "</text>\n<text class=\"x\" transform=\"translate(";
    append_pixel(out, left_ - 58);
    out += ' ';
    append_pixel(out, top_ + height_ / 2);
    out += ") rotate(-90)\">";
    append_escaped(out, y_name);
    out += "</text>\n";
}

void Panel::mark(std::string& dots, std::string& bars, double x, double y, double y_low, double y_high) const
{
    const double px = x_pixel(x);
    dots += 'M';
    append_pixel(dots, px);
    dots += ' ';
    append_pixel(dots, y_pixel(y));
    dots += "h0";
    bars += 'M';
    append_pixel(bars, px);
    bars += ' ';
    append_pixel(bars, y_pixel(y_low));
    bars += 'V';
    append_pixel(bars, y_pixel(y_high));
}

void Panel::line(std::string& out, const double* x, const double* y, std::size_t n) const
{
    for (std::size_t i = 0; i < n; ++i) {
        out += i == 0 ? 'M' : 'L';
        append_pixel(out, x_pixel(x[i]));
        out += ' ';
        append_pixel(out, y_pixel(y[i]));
    }
}

void append_label(std::string& out, double x, double y, const char* style, const std::string& text)
{
    out += "<text";
    out += style;
    out += " x=\"";
    append_pixel(out, x);
    out += "\" y=\"";
    append_pixel(out, y);
    out += "\">";
    out += text;
    out += "</text>\n";
}

void append_grouped(std::string& out, std::uint64_t count)
{
    char text[MAX_NUMBER_TEXT];
    out.append(text, put_grouped(text, count));
}
