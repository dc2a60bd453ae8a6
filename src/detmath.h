// Elementary functions for figures that must come out bit for bit the same on
// every machine. Stand-in until the portable versions land: these call the
// C++ library, whose last bits may differ from one library to another.
#ifndef LCDUMP_DETMATH_H
#define LCDUMP_DETMATH_H

#include <cmath>

namespace detmath {

inline void sin_cos(double x, double& sine, double& cosine)
{
    sine = std::sin(x);
    cosine = std::cos(x);
}

inline double exp(double x)
{
    return std::exp(x);
}

inline double log(double x)
{
    return std::log(x);
}

}  // namespace detmath

#endif
