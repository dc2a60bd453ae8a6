// Where a -list run's outputs go, and what the file system holds there
// already, asked without opening anything.
#ifndef LCDUMP_OUTPUTPATH_H
#define LCDUMP_OUTPUTPATH_H

#include <string>

#include "forms.h"

// Where input's dump goes with -mirror: its directories, less any root or
// drive and every ".", under outdir; empty for a name that climbs out of
// it with "..".
std::string mirrored(const std::string& input, const char* outdir, const OutputForm& form);

// directory as the start of the names of files in it: with a '/' at its
// end unless it ends in a separator already.
std::string in_directory(const char* directory);

// Whether anything is called name, a link that leads nowhere included.
bool name_taken(const std::string& name);

bool is_directory(const char* name);

#endif
