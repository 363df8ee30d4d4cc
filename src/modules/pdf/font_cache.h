// Deflated font files kept between runs. Deflating a TrueType font takes
// longer than writing a hundred pages, and a CGI run starts from nothing, so
// the result is kept in a directory of this user's own ($TMPDIR or /tmp,
// "kwl-<uid>/fonts", mode 0700) and used again by later runs.
#pragma once

#include <string>

namespace kwl {

// The deflated form of `bytes` kept by an earlier run, into `packed`; false
// when there is none. A kept file is used only when it inflates back to
// exactly `bytes`, so a stale, torn or foreign file is never written out.
bool FindDeflatedFont(const std::string& bytes, std::string& packed);
// Keeps `packed`, the deflated form of `bytes`, for later runs; failures are
// silent (the next run deflates again).
void KeepDeflatedFont(const std::string& bytes, const std::string& packed);

}  // namespace kwl
