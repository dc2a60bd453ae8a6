// Stand-in until the portable versions land.
#ifndef LCDUMP_DETMATH_H
#define LCDUMP_DETMATH_H
#include <cmath>
namespace detmath {
inline void sin_cos(double x, double& s, double& c)
{
    s = std::sin(x);
    c = std::cos(x);
}
inline double exp(double x)
{
    return std::exp(x);
}
inline double log(double x)
{
    return std::log(x);
}
inline double log_gamma(double x)
{
    return std::lgamma(x);
}
}  // namespace detmath
#endif
