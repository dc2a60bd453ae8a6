#include "forms.h"

#include <cstring>

#include "dumploop.h"
#include "fits.h"
#include "stats.h"
#include "textform.h"

const Modifier MODIFIERS[1] = {
    {"exact",
     &OutputForm::exact,
     {"every floating-point value in the shortest text that",
      "reads back to the same bits (may use exponent notation)"}},
};

namespace {

const unsigned EXACT = 1u << 0;

// The order is the help's. FITS keeps every value's bits, so -exact asks
// nothing of it that it does not do already.
// clang-format off
const FormInfo ROWS[] = {
    {nullptr, "text", ".txt", nullptr, 0, EXACT, &dump_with<TextWriter<PlainText>>, {nullptr, nullptr}},
    {"csv", "CSV", ".csv", nullptr, 0, EXACT, &dump_with<TextWriter<CsvText>>,
     {"comma-separated rows under a row of column names,", "and no count line"}},
    {"fits", "FITS data", ".fits", nullptr, BINARY | WHOLE_INPUT, EXACT, &dump_with<FitsWriter>,
     {"a FITS binary table instead of text, every value's bits", "kept: lcdump -in star.lc -fits > star.fits"}},
    {"stats", "summary", nullptr, STATS_HEADER, WHOLE_INPUT, 0, &dump_with<StatsWriter>,
     {"one CSV row of summary figures per input instead of its",
      "records: the count, JD range, medians, flux1's MAD"}},
};
// clang-format on

}  // namespace

const FormList FORMS = {ROWS, sizeof ROWS / sizeof ROWS[0]};

const FormInfo* find_form(const char* name)
{
    for (const FormInfo& form : FORMS)
        if (form.name != nullptr && std::strcmp(form.name, name) == 0)
            return &form;
    return nullptr;
}
