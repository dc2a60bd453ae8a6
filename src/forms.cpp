#include "forms.h"

#include <cstring>

#include "dumploop.h"
#include "fits.h"
#include "periodogram.h"
#include "stats.h"
#include "svgpicture.h"
#include "textform.h"

const Modifier MODIFIERS[3] = {
    {"exact",
     &OutputForm::exact,
     nullptr,
     {"every floating-point value in the shortest text that",
      "reads back to the same bits (may use exponent notation)"}},
    {"period",
     &OutputForm::period,
     nullptr,
     {"with -stats: each row ends in the Lomb-Scargle period in", "days, its power and its false-alarm probability"}},
    {"fold",
     &OutputForm::fold,
     "P",
     {"with -svg: folded at P days, with no search for the period", "and no periodogram"}},
};

namespace {

const unsigned EXACT = 1u << 0;
const unsigned PERIOD = 1u << 1;
const unsigned FOLD = 1u << 2;

// The order is the help's. FITS keeps every value's bits, so -exact asks
// nothing of it that it does not do already.
// clang-format off
const FormInfo ROWS[] = {
    {nullptr, nullptr, "text", ".txt", 0, EXACT, &dump_with<TextWriter<PlainText>>, {nullptr, nullptr}},
    {"csv", nullptr, "CSV", ".csv", 0, EXACT, &dump_with<TextWriter<CsvText>>,
     {"comma-separated rows under a row of column names,", "and no count line"}},
    {"fits", nullptr, "FITS data", ".fits", BINARY | WHOLE_INPUT, EXACT, &dump_with<FitsWriter>,
     {"a FITS binary table instead of text, every value's bits", "kept: lcdump -in star.lc -fits > star.fits"}},
    {"stats", nullptr, "summary", ".csv", TABLE | WHOLE_INPUT, PERIOD, &dump_with<StatsWriter>,
     {"one CSV row of summary figures per input instead of its",
      "records (with -fits, a FITS table of one row per input)"}},
    {"stats", "fits", "FITS summary", ".fits", TABLE | BINARY | WHOLE_INPUT, PERIOD, &dump_with<StatsWriter>,
     {nullptr, nullptr}},
    {"periodogram", nullptr, "periodogram", ".periodogram.csv", WHOLE_INPUT, 0, &dump_with<PeriodogramWriter>,
     {"the Lomb-Scargle periodogram as CSV: frequency (1/d)", "and power at every frequency of the search"}},
    {"svg", nullptr, "SVG picture", ".svg", WHOLE_INPUT, PERIOD | FOLD, &dump_with<SvgWriter>,
     {"a picture as SVG: flux1 against JD, folded at the period", "the search finds, and the periodogram"}},
};
// clang-format on

}  // namespace

const FormList FORMS = {ROWS, sizeof ROWS / sizeof ROWS[0]};

const FormInfo* find_form(const char* name)
{
    for (const FormInfo& form : FORMS)
        if (form.name != nullptr && form.also == nullptr && std::strcmp(form.name, name) == 0)
            return &form;
    return nullptr;
}

const FormInfo* find_pair(const char* name, const char* other)
{
    for (const FormInfo& form : FORMS)
        if (form.also != nullptr && ((std::strcmp(form.name, name) == 0 && std::strcmp(form.also, other) == 0) ||
                                     (std::strcmp(form.name, other) == 0 && std::strcmp(form.also, name) == 0)))
            return &form;
    return nullptr;
}
