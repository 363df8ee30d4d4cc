#include "modules/pdf/pdf_layout.h"

#include <cmath>
#include <vector>

#include "core/trace.h"
#include "interp/interpreter.h"
#include "modules/pdf/pdf_fonts.h"
#include "text/colours.h"

namespace kwl {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

Process& ProcOf(PdfDocument& doc) {
  return doc.owner->proc;
}

void AppendColour(std::string& out, uint32_t colour, const char* op) {
  out += ColourComponents(colour);
  out += ' ';
  out += op;
  out += '\n';
}

void AppendRotation(std::string& out, int degrees) {
  double a = degrees * 0.0174532925;
  AppendF(out, "%.3f %.3f %.3f %.3f 0 0 cm\n", std::cos(a), std::sin(a), -std::sin(a), std::cos(a));
}

// One word of a text: up to and including a space, hyphen, comma or slash,
// or up to a line feed. A line feed alone is a forced break.
struct Token {
  std::string_view text;
  bool forcedBreak = false;
};

Token NextToken(std::string_view text, size_t* pos) {
  size_t start = *pos;
  if (text[start] == '\n') {
    ++*pos;
    return {{}, true};
  }
  size_t end = text.find_first_of(" -,/\n", start);
  if (end == std::string_view::npos) {
    end = text.size();
  } else if (text[end] != '\n') {
    ++end;
  }
  *pos = end;
  return {text.substr(start, end - start), false};
}

void RoundedOutline(std::string& out, int w, int h, int rx, int ry) {
  AppendF(out, "%d %d m\n", rx, -h);
  AppendF(out, "%d %d l\n", w - rx, -h);
  AppendF(out, "%d %d %d %d v\n", w, -h, w, -h + ry);
  AppendF(out, "%d %d l\n", w, -ry);
  AppendF(out, "%d %d %d %d v\n", w, 0, w - rx, 0);
  AppendF(out, "%d %d l\n", rx, 0);
  AppendF(out, "%d %d %d %d v\n", 0, 0, 0, -ry);
  AppendF(out, "%d %d l\n", 0, -h + ry);
  AppendF(out, "%d %d %d %d v\n", 0, -h, rx, -h);
}

// The box at the origin the caller moved to, stroked and/or filled.
void DrawBox(PdfDocument& doc, const PdfCall& call, int rotation) {
  std::string& out = *doc.target;
  doc.x = call.x;
  doc.y = call.y;
  if (rotation > 0) AppendRotation(out, rotation);
  if (call.border <= 0) {
    AppendColour(out, doc.backgroundColour, "RG");
    AppendColour(out, doc.backgroundColour, "rg");
    AppendF(out, "0 0 %d %d re\n", call.w, -call.h);
  } else {
    AppendF(out, "%d w\n", call.border);
    AppendColour(out, doc.textColour, "RG");
    AppendColour(out, doc.backgroundColour, "rg");
    if (call.rx == 0) {
      AppendF(out, "0 0 %d %d re\n", call.w, -call.h);
    } else {
      RoundedOutline(out, call.w, call.h, call.rx / 2, call.ry / 2);
    }
  }
  AppendF(out, "%c\n", doc.backgroundColour != kWhite ? 'b' : 's');
  doc.y += call.h;
}

struct Underline {
  int x, y, width;
};

// Writes the lines of one text block; the lines themselves go out as TJ arrays.
class LineWriter {
 public:
  LineWriter(PdfDocument& doc, const PdfFont& font, int boxWidth)
      : doc_(doc), font_(font), boxWidth_(boxWidth) {
    size_ = doc.fontSize;
    lineHeight_ = doc.leading + size_;
    rise_ = PdfDescenderOffset(font, size_) - size_ + 1;
  }

  int lineHeight() const { return lineHeight_; }

  void Write(std::string_view line, int x) {
    std::string& out = *doc_.target;
    int width = PdfTextWidth(font_, line, size_);
    int dx = 1;
    if (doc_.align == kPdfCenter || doc_.align == kPdfRight) {
      dx = doc_.align == kPdfCenter ? boxWidth_ / 2 - width / 2 : boxWidth_ - width - 1;
      AppendF(out, "%d %d Td\n", dx, rise_);
      PdfAppendTJ(doc_, out, line, font_);
      AppendF(out, "%d %d Td\n", -dx, -doc_.leading);
    } else if (lines_ == 0) {
      AppendF(out, "1 %d Td\n", rise_);
      PdfAppendTJ(doc_, out, line, font_);
      AppendF(out, "0 %d TD\n", -lineHeight_);
    } else {
      PdfAppendTJ(doc_, out, line, font_);
      out += "T*\n";
    }
    ++lines_;
    if (doc_.underline) underlines_.push_back({dx, -(lineHeight_ * lines_), width});
    doc_.x = x + width;
  }

  void DrawUnderlines() {
    std::string& out = *doc_.target;
    for (const Underline& u : underlines_) {
      out += "1 w\n";
      AppendColour(out, doc_.textColour, "RG");
      AppendF(out, "%d %d m\n%d %d l\nS\n", u.x, u.y, u.x + u.width, u.y);
    }
  }

 private:
  PdfDocument& doc_;
  const PdfFont& font_;
  int boxWidth_;
  int size_ = 0;
  int lineHeight_ = 0;
  int rise_ = 0;
  int lines_ = 0;
  std::vector<Underline> underlines_;
};

struct Laid {
  std::string rest;  // what was not written
  bool cut = false;  // a line did not fit
};

// Lays the text out in the inner box (W by H) from the origin the caller set.
Laid LayoutText(PdfDocument& doc, const PdfCall& call, std::string_view text, int W, int H,
                int rotation) {
  PdfFont* font = CurrentFont(doc);
  int size = doc.fontSize;
  bool noclip = doc.mode == kPdfNoClip;
  bool nothingFits = !noclip && size > H;
  if (nothingFits && doc.mode == kPdfPageBreak) {
    ReportError(*doc.owner, 2, "ERROR: I can't make page break if i can't write one line");
    return {};
  }
  std::string& out = *doc.target;
  doc.x = call.x;
  doc.y = call.y;
  if (rotation > 0) AppendRotation(out, rotation);
  AppendF(out, "BT\n/F%d %d Tf\n", doc.fontNumber, size);
  AppendColour(out, doc.textColour, "rg");
  if (call.stroke > 0) {
    if (call.strokeColour > 0) AppendColour(out, call.strokeColour, "RG");
    AppendF(out, "%d Tr\n1 j\n%d w\n", doc.textColour == kWhite ? 1 : 2, call.stroke);
  }
  if (call.padLeft > 0 || call.padTop > 0) AppendF(out, "%d %d Td\n", call.padLeft, -call.padTop);
  if (call.scaling != 100) AppendF(out, "%d Tz\n", call.scaling);

  LineWriter writer(doc, *font, W);
  int L = writer.lineHeight();
  Laid laid;
  if (nothingFits) {
    laid = {std::string(text), true};
  } else {
    std::string line;
    int lineNumber = 1;
    size_t pos = 0;
    // Moves to the next line; false (with the rest kept) when it does not fit.
    auto nextLine = [&](size_t restFrom) {
      writer.Write(line, call.x);
      line.clear();
      ++lineNumber;
      if (noclip || int64_t{lineNumber} * L <= H) {
        doc.y += L;
        return true;
      }
      laid.rest = std::string(text.substr(restFrom));
      laid.cut = !laid.rest.empty();
      return false;
    };
    bool stopped = false;
    int64_t lineUnits = 0;  // the line's width, kept as it grows: a long line is not measured again
    while (pos < text.size() && !stopped) {
      size_t tokenStart = pos;
      Token token = NextToken(text, &pos);
      if (token.forcedBreak) {
        stopped = !nextLine(pos);
        lineUnits = 0;
        continue;
      }
      int64_t tokenUnits = PdfTextUnits(*font, token.text);
      // An empty line is never written for a word wider than the box: the
      // word goes on the line it starts (past the box's edge).
      if (!line.empty() && PdfUnitsWidth(lineUnits, size) + PdfUnitsWidth(tokenUnits, size) > W) {
        lineUnits = 0;
        if (!nextLine(tokenStart)) break;
      }
      line += token.text;
      lineUnits += tokenUnits;
      doc.x = call.x + PdfUnitsWidth(lineUnits, size);
    }
    // The last words are always written.
    if (!stopped && !line.empty()) writer.Write(line, call.x);
  }
  if (laid.cut && doc.mode == kPdfClip) {
    ReportError(*doc.owner, 4, "WARNING: Some text is not displayed");
  }
  out += "ET\n";
  writer.DrawUnderlines();
  doc.y += L;
  return laid;
}

}  // namespace

std::string PdfTextBox(PdfDocument& doc, const PdfCall& call, std::string_view text) {
  TRACE(ProcOf(doc), "PDF: Text\n");
  std::string rest(text);
  for (;;) {
    std::string& out = *doc.target;
    out += "q\n";
    AppendF(out, "1 0 0 1 %d %d cm\n", call.x, doc.pageHeight - call.y);
    int rotation = call.rotation;
    if (call.paintBox || call.border > 0) {
      DrawBox(doc, call, call.rotation);
      rotation = 0;
    }
    int W = call.w - call.padLeft - call.padRight;
    int H = call.h - call.padTop - call.padBottom;
    Laid laid = LayoutText(doc, call, rest, W, H, rotation);
    *doc.target += "Q\n";
    // Each new page must take some of the text, or the breaks would never end.
    if (doc.mode == kPdfPageBreak && laid.cut && laid.rest.size() < rest.size()) {
      PDFAddPage(doc);
      rest = std::move(laid.rest);
      continue;
    }
    return laid.rest;
  }
}

void PdfMeasure(PdfDocument& doc, const PdfCall& call, std::string_view text, int width) {
  PdfFont* font = CurrentFont(doc);
  int size = doc.fontSize;
  int L = doc.leading + size;
  int padding = call.padLeft + call.padRight;
  int64_t height = call.padTop + L;
  int breaks = 0;
  int64_t lineUnits = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    Token token = NextToken(text, &pos);
    if (token.forcedBreak) {
      ++breaks;
      height += L;
      lineUnits = 0;
      continue;
    }
    int64_t tokenUnits = PdfTextUnits(*font, token.text);
    int tokenWidth = PdfUnitsWidth(tokenUnits, size);
    if (tokenWidth + padding > width) {
      ReportError(*doc.owner, 4, "WARNING: Not enough space to write one word !");
      return;
    }
    if (lineUnits != 0 && PdfUnitsWidth(lineUnits, size) + tokenWidth + padding > width) {
      ++breaks;
      height += L;
      lineUnits = 0;
    }
    lineUnits += tokenUnits;
  }
  doc.x = padding + PdfUnitsWidth(lineUnits, size);
  doc.y = height;
  TRACE(ProcOf(doc), "CALC nb line = %d, X=%lld Height=%lld\n", breaks,
        static_cast<long long>(doc.x), static_cast<long long>(doc.y));
}

void PdfRect(PdfDocument& doc, const PdfCall& call) {
  TRACE(ProcOf(doc), "PDF: Rect\n");
  std::string& out = *doc.target;
  out += "q\n";
  AppendF(out, "1 0 0 1 %d %d cm\n", call.x, doc.pageHeight - call.y);
  if (call.paintBox || call.border > 0) DrawBox(doc, call, call.rotation);
  out += "Q\n";
}

void PdfLine(PdfDocument& doc, const PdfCall& call) {
  std::string& out = *doc.target;
  int x1 = call.x, y1 = doc.pageHeight - call.y;
  int x2 = call.x + call.w, y2 = doc.pageHeight - call.y - call.h;
  AppendF(out, "%d w\n", call.border);
  AppendColour(out, doc.textColour, "RG");
  AppendF(out, "%d %d m\n%d %d l\nS\n", x1, y1, x2, y2);
  TRACE(ProcOf(doc), "PDF Line: %d %d %d %d\n", x1, y1, x2, y2);
}

}  // namespace kwl
