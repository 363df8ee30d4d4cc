// The tag table: every tag of the language, its opening text and its code.
#pragma once

#include <span>

namespace kwl {

struct TagEntry {
  const char* opening;  // what a chunk must begin with, "<" included
  const char* name;     // the tag family, for documentation
  int code;
  bool listed;  // shown in the information page's tag list
};

// The 46 entries in their fixed order (the order decides between openings
// that share a beginning, such as "<SETAREA" and "<SET").
std::span<const TagEntry> TagTable();

// Tag codes (the dispatch keys).
enum TagCode : int {
  kTagNone = 0,
  kTagSql = 1,
  kTagSqlEnd = 2,
  kTagCond = 3,
  kTagElse = 4,
  kTagCondEnd = 5,
  kTagInclude = 6,
  kTagSet = 8,
  kTagHtml = 9,
  kTagMail = 10,
  kTagConnect = 11,
  kTagCookie = 12,
  kTagOpen = 14,
  kTagRead = 15,
  kTagClose = 16,
  kTagWhile = 17,
  kTagWhileEnd = 18,
  kTagGet = 19,
  kTagWrite = 20,
  kTagDelete = 21,
  kTagComment = 23,
  kTagCommentEnd = 24,
  kTagAuth = 25,
  kTagCreate = 26,
  kTagSystem = 27,
  kTagHttp = 28,
  kTagWait = 35,
  kTagPdf = 36,
  kTagFile = 37,
  kTagPict = 38,
  kTagXml = 39,
  kTagNoparse = 40,
  kTagNoparseEnd = 41,
  kTagXproc = 42,
  kTagXprocEnd = 43,
  kTagXpath = 44,
  kTagXpathEnd = 45,
  kTagHead = 46,
  kTagFunction = 47,
  kTagFunctionEnd = 48,
  kTagScope = 49,
  kTagScopeEnd = 50,
  kTagSetarea = 51,
  kTagSetareaEnd = 52,
  kTagDebug = 53,
  kTagUnset = 54,
  kTagCodeCount = 55
};

}  // namespace kwl
