// The information page: version, platform, database client, tags and features.
#pragma once

#include <string>

#include "core/process.h"

namespace kwl {

// "MySQL-m.n.p" from the database client's version number.
std::string DatabaseSystemText(Process& proc);
// Plain-text form, for a console run without a page.
void WriteInfoText(Process& proc);
// HTML form with its header, for a CGI request without a page.
void WriteInfoHtml(Process& proc);

}  // namespace kwl
