#include "text/svg_path.h"

#include <algorithm>
#include <cstdio>

#include "text/ascii.h"
#include "text/read_number.h"
#include "text/text_log.h"

namespace kwl {

namespace {

struct Point {
  double x = 0, y = 0;
};

struct PathState {
  TextLog& log;
  std::string_view path;
  size_t pos = 0;
  Point current;
  Point control;  // the last cubic control point, for S
  Point start;    // of the subpath, where Z returns
  std::string& out;

  double Number() {
    double value;
    pos = ReadNumber(log, path, &value, pos, NumberRun::kOnePoint);
    return value;
  }
  // A point read from the path, relative to `origin` for lower-case commands.
  Point ReadPoint(bool relative, Point origin) {
    Point p;
    p.x = Number();
    p.y = Number();
    if (relative) p.x += origin.x, p.y += origin.y;
    return p;
  }
  void Emit(const char* format, auto... values) {
    char text[160];
    int n = std::snprintf(text, sizeof text, format, values...);
    if (n > 0) out.append(text, std::min<size_t>(static_cast<size_t>(n), sizeof text - 1));
  }
  void LineTo(Point p) {
    Emit("%g %g l ", p.x, p.y);
    current = p;
  }
};

bool IsCommand(char c) {
  switch (AsciiLower(c)) {
    case 'm':
    case 'l':
    case 'h':
    case 'v':
    case 'c':
    case 's':
    case 'q':
    case 'a':
    case 't':
    case 'z':
      return true;
    default:
      return false;
  }
}

void RunCubic(PathState& s, Point first, bool relative) {
  Point origin = s.current;
  Point second = s.ReadPoint(relative, origin);
  Point end = s.ReadPoint(relative, origin);
  s.Emit("%g %g %g %g %g %g c ", first.x, first.y, second.x, second.y, end.x, end.y);
  s.control = second;
  s.current = end;
}

// Arcs and smooth quadratics have no operator here: their arguments are
// read and a line goes to their end point, so the rest of the path stays in place.
void RunUnavailable(PathState& s, char command, bool relative) {
  LOGF(s.log, "%c not available !\n", command);
  if (AsciiLower(command) == 'a') {
    for (int i = 0; i < 5; ++i) s.Number();
  }
  s.LineTo(s.ReadPoint(relative, s.current));
}

void RunCommand(PathState& s, char command) {
  bool relative = command >= 'a' && command <= 'z';
  Point origin = s.current;
  switch (AsciiLower(command)) {
    case 'm':
      s.current = s.start = s.ReadPoint(relative, origin);
      s.Emit("%g %g m ", s.current.x, s.current.y);
      break;
    case 'l':
      s.LineTo(s.ReadPoint(relative, origin));
      break;
    case 'h':
      s.LineTo({s.Number() + (relative ? origin.x : 0), origin.y});
      break;
    case 'v':
      s.LineTo({origin.x, s.Number() + (relative ? origin.y : 0)});
      break;
    case 'c':
      RunCubic(s, s.ReadPoint(relative, origin), relative);
      return;
    case 's':
      RunCubic(s, {2 * origin.x - s.control.x, 2 * origin.y - s.control.y}, relative);
      return;
    case 'q': {
      Point control = s.ReadPoint(relative, origin);
      Point end = s.ReadPoint(relative, origin);
      s.Emit("%g %g %g %g y ", control.x, control.y, end.x, end.y);
      s.current = end;
      break;
    }
    case 'z':
      s.current = s.start;
      break;
    default:
      RunUnavailable(s, command, relative);
      break;
  }
  // Only a cubic leaves a control point for S to reflect.
  s.control = s.current;
}

}  // namespace

void SvgPathToPdf(TextLog& log, std::string_view path, std::string& out) {
  PathState s{log, path, 0, {}, {}, {}, out};
  char previous = 0;
  while (s.pos < path.size()) {
    char c = path[s.pos];
    char command;
    if (IsCommand(c)) {
      LOGF(log, "Cmd [%c]\n", c);
      command = c;
      ++s.pos;
    } else if (previous && ((c >= '0' && c <= '9') || c == '-' || c == '.')) {
      command = previous;  // more numbers: the previous command again
    } else {
      ++s.pos;  // separators
      continue;
    }
    RunCommand(s, command);
    // Numbers after a moveto draw lines.
    previous = command == 'M' ? 'L' : command == 'm' ? 'l' : command;
    if (AsciiLower(previous) == 'z') previous = 0;
  }
}

}  // namespace kwl
