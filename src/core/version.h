// The version and platform the program reports (trace, information page, velversion).
#pragma once

namespace kwl {

constexpr const char* kVersionText = "v3.8rc6";
constexpr const char* kSystemName = "Linux";

}  // namespace kwl
