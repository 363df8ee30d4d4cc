// What the database module declares to the rest of the program: its page variables.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

constexpr PageVariable kDbPageVariables[] = {
    {"sqlescapestr", nullptr, 0}, {"sqlstring", "", 0},          {"sqlerr", nullptr, 0},
    {"sqlerrmsg", "", 0},         {"sqlrowcount", nullptr, 0},   {"sqlnumrow", nullptr, 0},
    {"sqlcolcount", nullptr, 0},  {"sqlquerycount", nullptr, 0}, {"sqlid", nullptr, 0},
};

}  // namespace kwl
