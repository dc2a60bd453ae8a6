// The survey's diagram as SVG: each star's flux1_chi2dof against its
// flux1_median on log axes, a point that links to its picture and names it
// on hover; one point per occupied cell of a few pixels for many stars.
#ifndef LCDUMP_SURVEYDIAGRAM_H
#define LCDUMP_SURVEYDIAGRAM_H

#include <cstddef>
#include <string>
#include <vector>

#include "surveypage.h"

// The stars a point each, up to a few thousand; above that, each occupied
// 3-pixel cell a point that links to its most variable star and tells how
// many it holds. Stars without a positive, finite median and chi2dof are
// left out; the count of them is the return value. Throws std::bad_alloc.
std::size_t draw_survey_diagram(std::string& out, const std::vector<SurveyStar>& stars);

#endif
