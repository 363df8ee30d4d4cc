// The Interpreter record handed to every tag handler, and error reporting.
#pragma once

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/process.h"
#include "core/scope.h"
#include "core/variable.h"
#include "page/attributes.h"

namespace kwl {

struct TagRegistry;
class CompiledText;
class PageCache;

constexpr int kAbortFatal = 9999;

// The last search for one end tag in a running text (see FindEndTag).
struct EndTagSearch {
  std::string_view endTag;
  std::string_view text;
  size_t from = 0;
  size_t found = 0;
};
using EndTagSearches = std::array<EndTagSearch, 2>;

// One page run's view of the process: the scope stack, the output
// redirections and the predefined page variables (which live in GLOBAL and
// so stay valid for the whole run).
struct Interpreter {
  Interpreter(Process& p, TagRegistry& t, PageCache& c)
      : proc(p), stack(p.stack), tags(t), pages(c) {}
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  Process& proc;
  ScopeStack& stack;
  TagRegistry& tags;
  PageCache& pages;
  Scope* global = nullptr;
  Scope* session = nullptr;
  Scope functionBodies;
  Scope functionDeclarations;

  Variable* capture = nullptr;      // WriteOutput appends here when set
  std::FILE* outputFile = nullptr;  // else writes here when set
  bool escapeValues = false;        // substituted values are SQL-escaped
  bool sessionChanged = false;
  int abortCode = 0;
  unsigned faults = 0;           // errors and warnings reported so far (levels other than 0)
  bool lastWrittenBlank = true;  // blank-chunk filter of WriteOutput

  // Predefined page variables.
  Variable* null = nullptr;
  Variable* err = nullptr;
  Variable* errmsg = nullptr;
  Variable* version = nullptr;
  Variable* delcomment = nullptr;
  Variable* output = nullptr;
  Variable* looplimit = nullptr;
  Variable* startprint = nullptr;
  Variable* floatprecision = nullptr;
  Variable* dateformat = nullptr;
  Variable* currentfile = nullptr;
  Variable* currentdir = nullptr;
  Variable* charset = nullptr;

  // What a module keeps for this run (open connections, sockets, images), by
  // module name: see ModuleRunState. It goes with the Interpreter, so a
  // page's connections and handles end with the page.
  std::map<std::string, std::shared_ptr<void>, std::less<>> moduleState;

  // The compiled form of the text RunText is walking.
  CompiledText* running = nullptr;
  // End-tag searches in the running texts, by end tag.
  EndTagSearches endTagSearches;
};

// The run state of `module`, made on first use as T(interp) and destroyed
// with the run.
template <class T>
T& ModuleRunState(Interpreter& interp, std::string_view module) {
  auto it = interp.moduleState.find(module);
  if (it == interp.moduleState.end()) {
    it = interp.moduleState.emplace(std::string(module), std::make_shared<T>(interp)).first;
  }
  return *static_cast<T*>(it->second.get());
}

// Sets velerr/velerrmsg and traces "KWLERR=%d %s"; an error or warning
// switches an automatic trace on.
void ReportError(Interpreter& interp, int level, std::string_view message);
// ReportError(interp, 0, "") while nothing is traced.
inline void ClearErrorUntraced(Interpreter& interp) {
  Variable* err = interp.err;
  Variable* errmsg = interp.errmsg;
  // Mostly they are clear already: setting them again would change nothing a page sees.
  if (err && (err->kind != kKindInteger || err->integer != 0 || err->null)) VarSetInt(*err, 0);
  if (errmsg && (errmsg->kind != kKindText || !errmsg->text.empty() || errmsg->null))
    VarSet(*errmsg, {});
}
// What an operation that reports velerr's value does: clears the error when
// velerr is 0 and keeps it otherwise.
inline void ClearErrorIfZero(Interpreter& interp) {
  Variable* err = interp.err;
  if (err && err->kind == kKindInteger && !err->null) {
    if (err->integer != 0) return;
    Variable* errmsg = interp.errmsg;
    if (errmsg && (errmsg->kind != kKindText || !errmsg->text.empty() || errmsg->null))
      VarSet(*errmsg, {});
    return;
  }
  if (!err || VarInt(*err) == 0) ClearErrorUntraced(interp);
}
// A structure error: reported at level 1, and nothing more runs or is written.
void FatalError(Interpreter& interp, std::string_view message);

}  // namespace kwl
