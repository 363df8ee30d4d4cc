#include "modules/pdf/pdf_document.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "core/trace.h"
#include "interp/interpreter.h"
#include "modules/pdf/pdf_fonts.h"

namespace kwl {

void AppendF(std::string& out, const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    out.append(small, static_cast<size_t>(n));
    return;
  }
  size_t at = out.size();
  out.resize(at + static_cast<size_t>(n) + 1);
  va_start(args, format);
  std::vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, args);
  va_end(args);
  out.resize(at + static_cast<size_t>(n));
}

void AppendPdfStringBytes(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
}

std::string PdfName(std::string_view text) {
  static constexpr std::string_view kDelimiters = "()<>[]{}/%#";
  std::string name;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte > '~' || kDelimiters.find(c) != std::string_view::npos) {
      AppendF(name, "#%02X", byte);
    } else {
      name += c;
    }
  }
  return name;
}

namespace {

// One deflate state for every stream of the process: setting one up and
// tearing it down costs more than compressing a page.
class Deflater {
 public:
  ~Deflater() {
    if (ready_) deflateEnd(&stream_);
  }
  bool Compress(std::string_view in, std::string& out) {
    if (in.empty() || in.size() > UINT32_MAX) return false;
    if (!ready_) {
      ready_ = deflateInit(&stream_, Z_DEFAULT_COMPRESSION) == Z_OK;
      if (!ready_) return false;
    } else if (deflateReset(&stream_) != Z_OK) {
      return false;
    }
    out.resize(in.size());
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream_.avail_in = static_cast<uInt>(in.size());
    stream_.next_out = reinterpret_cast<Bytef*>(out.data());
    stream_.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) return false;
    out.resize(stream_.total_out);
    return true;
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

bool PdfCompress(std::string_view in, std::string& out) {
  static thread_local Deflater deflater;
  return deflater.Compress(in, out);
}

PdfFont::~PdfFont() {
  if (face) FT_Done_Face(face);
}

PdfObject* PDFNewObj(PdfDocument& doc) {
  auto object = std::make_unique<PdfObject>();
  object->number = static_cast<int32_t>(doc.objects.size()) + 1;
  doc.objects.push_back(std::move(object));
  return doc.objects.back().get();
}

PdfFont* CurrentFont(PdfDocument& doc) {
  for (auto& font : doc.fonts) {
    if (font->number == doc.fontNumber) return font.get();
  }
  return doc.fonts.empty() ? nullptr : doc.fonts.front().get();
}

namespace {

// The operators of a stream as its object: compressed when that makes them
// smaller, else as they are.
void FinishStream(PdfObject& object, bool compressible) {
  std::string operators;
  operators.swap(object.text);
  std::string packed;
  if (compressible && PdfCompress(operators, packed)) {
    AppendF(object.text, "%d 0 obj\n<< /Length %zu\n/Filter /FlateDecode >>\nstream\n",
            object.number, packed.size());
    object.text += packed;
    object.text += "\n";
  } else {
    AppendF(object.text, "%d 0 obj\n<< /Length %zu >>\nstream\n", object.number, operators.size());
    object.text += operators;
    // WRIT may leave the operators without a line end; "endstream" must begin a line.
    if (!operators.empty() && operators.back() != '\n') object.text += "\n";
  }
  object.text += "endstream\nendobj\n\n";
}

void WriteAnnotationArray(PdfDocument& doc) {
  PdfObject& array = *doc.annotationArray;
  AppendF(array.text, "%d 0 obj\n[", array.number);
  for (PdfObject* annotation : doc.annotations) AppendF(array.text, "%d 0 R\n", annotation->number);
  array.text += "]\nendobj\n\n";
  doc.annotations.clear();
}

void WriteCatalog(PdfDocument& doc) {
  std::string names;
  if (doc.javaScript) {
    AppendF(names, "/Names << /JavaScript << /Names [ (JS7) %d 0 R ] >> >>\n",
            doc.javaScript->number);
  }
  AppendF(doc.catalog->text,
          "%d 0 obj\n<< /Type /Catalog\n/Outlines %d 0 R\n/Pages %d 0 R\n%s/OpenAction [%d 0 R "
          "/XYZ null null 1]\n/ViewerPreferences <<\n/ViewClip /BleedBox\n/FitWindow true\n>>\n>>"
          "\nendobj\n\n",
          doc.catalog->number, doc.outlines->number, doc.pages->number, names.c_str(),
          doc.pageList.front()->number);
}

void WriteInfo(PdfDocument& doc) {
  char date[80] = "";
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y%m%d%H%M%S%z", &local);
  AppendF(doc.info->text, "%d 0 obj\n<<\n/Producer (%s %s)\n/CreationDate (D:%s)\n>>\nendobj\n\n",
          doc.info->number, "KWL Technologies", "v3.8rc6", date);
}

void WriteResources(PdfDocument& doc) {
  std::string& text = doc.resources->text;
  AppendF(text, "%d 0 obj\n<< /ProcSet [/PDF /Text /ImageB /ImageC /ImageI]\n",
          doc.resources->number);
  if (!doc.fontObjects.empty()) {
    text += "/Font <<\n";
    int n = 0;
    for (PdfObject* font : doc.fontObjects) AppendF(text, "/F%d %d 0 R\n", ++n, font->number);
    text += ">>\n";
  }
  if (!doc.images.empty()) {
    text += "/XObject <<\n";
    for (PdfObject* image : doc.images) {
      AppendF(text, "/Img%d %d 0 R\n", image->number, image->number);
    }
    text += ">>\n";
  }
  text += ">>\nendobj\n\n";
}

void WritePageTree(PdfDocument& doc) {
  std::string& text = doc.pages->text;
  AppendF(text, "%d 0 obj\n<< /Type /Pages\n/Kids [", doc.pages->number);
  for (PdfObject* page : doc.pageList) AppendF(text, "%d 0 R\n", page->number);
  AppendF(text, "]\n/Count %zu\n/MediaBox [0 0 %d %d]\n>>\nendobj\n\n", doc.pageList.size(),
          doc.pageWidth, doc.pageHeight);
}

// A new file of its own beside `path`, so that a failed write never leaves
// half a document where a whole one was.
std::FILE* CreateTemporary(const std::string& path, std::string* temp) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    *temp = path + ".tmp" + std::to_string(getpid()) + "." + std::to_string(attempt);
    int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      std::FILE* file = fdopen(fd, "wb");
      if (!file) ::close(fd);
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

bool WriteFile(PdfDocument& doc) {
  std::string temp;
  std::FILE* file = CreateTemporary(doc.fileName, &temp);
  if (!file) return false;
  std::string head = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
  bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
  int64_t offset = static_cast<int64_t>(head.size());
  for (auto& object : doc.objects) {
    object->offset = offset;
    ok =
        ok && std::fwrite(object->text.data(), 1, object->text.size(), file) == object->text.size();
    offset += static_cast<int64_t>(object->text.size());
  }
  std::string tail;
  AppendF(tail, "\nxref\n0 %zu\n%010d 65535 f \n", doc.objects.size() + 1, 0);
  for (auto& object : doc.objects) {
    AppendF(tail, "%010lld 00000 n \n", static_cast<long long>(object->offset));
  }
  AppendF(tail, "trailer\n<</Size %zu\n/Root 1 0 R\n/Info %d 0 R\n>>\nstartxref\n%lld\n%%%%EOF\n",
          doc.objects.size() + 1, doc.info->number, static_cast<long long>(offset + 1));
  ok = ok && std::fwrite(tail.data(), 1, tail.size(), file) == tail.size();
  ok = std::fclose(file) == 0 && ok;
  if (ok && std::rename(temp.c_str(), doc.fileName.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

}  // namespace

std::unique_ptr<PdfDocument> PDFOpen(Interpreter& interp, std::string fileName) {
  auto doc = std::make_unique<PdfDocument>();
  doc->owner = &interp;
  doc->fileName = std::move(fileName);
  doc->catalog = PDFNewObj(*doc);
  doc->outlines = PDFNewObj(*doc);
  doc->info = PDFNewObj(*doc);
  doc->pages = PDFNewObj(*doc);
  doc->resources = PDFNewObj(*doc);
  doc->frame = PDFNewObj(*doc);
  PDFAddPage(*doc);
  doc->fontNumber = PdfLoadStandardFont(*doc, "Helvetica");
  return doc;
}

void PDFAddPage(PdfDocument& doc) {
  if (!doc.contentList.empty()) FinishStream(*doc.contentList.back(), true);
  PdfObject* page = PDFNewObj(doc);
  PdfObject* content = PDFNewObj(doc);
  doc.pageList.push_back(page);
  doc.contentList.push_back(content);
  doc.target = &content->text;
  AppendF(page->text, "%d 0 obj\n<</Type /Page\n/Parent %d 0 R\n/Contents [%d 0 R\n", page->number,
          doc.pages->number, doc.frame->number);
  AppendF(page->text, "%d 0 R]\n", content->number);
  if (doc.annotationArray) WriteAnnotationArray(doc);
  doc.annotationArray = PDFNewObj(doc);
  AppendF(page->text, "/Annots %d 0 R\n/Resources %d 0 R\n>>\nendobj\n\n",
          doc.annotationArray->number, doc.resources->number);
}

bool PDFClose(PdfDocument& doc) {
  WriteCatalog(doc);
  AppendF(doc.outlines->text, "%d 0 obj\n<< /Type /Outlines\n/Count 0\n>>\nendobj\n\n",
          doc.outlines->number);
  WriteInfo(doc);
  WriteResources(doc);
  WritePageTree(doc);
  WriteAnnotationArray(doc);
  FinishStream(*doc.frame, false);
  FinishStream(*doc.contentList.back(), true);
  doc.target = nullptr;
  Interpreter& interp = *doc.owner;
  if (!WriteFile(doc)) {
    ReportError(interp, 2, "ERROR: Can't write PDF file\n");
    return false;
  }
  TRACE(interp.proc, "PDF File %s closed\n", doc.fileName.c_str());
  return true;
}

}  // namespace kwl
