// A sum of doubles that keeps the rounding error of each addition and adds
// it back at the end, so that a long sum is as good as one taken exactly and
// rounded once, unless its terms cancel to far below their size.
#ifndef LCDUMP_COMPENSATED_H
#define LCDUMP_COMPENSATED_H

#include <cmath>

class CompensatedSum {
public:
    void add(double term)
    {
        // Neumaier's variant of Kahan's: the error of sum + term is exact
        // whichever of the two is the larger.
        const double sum = sum_ + term;
        if (std::fabs(sum_) >= std::fabs(term))
            error_ += (sum_ - sum) + term;
        else
            error_ += (term - sum) + sum_;
        sum_ = sum;
    }
    double value() const { return sum_ + error_; }

private:
    double sum_ = 0;
    double error_ = 0;
};

#endif
