// The tag table in its fixed order.
#include "page/tag_table.h"

#include <array>

namespace kwl {

namespace {

// Order matters: the scanner takes the first entry whose opening begins the
// chunk, so "<SETAREA" must stay ahead of "<SET".
constexpr std::array<TagEntry, 46> kTags{{
    {"<CLOSE", "CLOSE", kTagClose, false},
    {"<COND", "COND", kTagCond, true},
    {"</COND", "COND", kTagCondEnd, false},
    {"<CONNECT", "CONNECT", kTagConnect, true},
    {"<COOKIE", "COOKIE", kTagCookie, true},
    {"<DELETE", "DELETE", kTagDelete, false},
    {"<ELSE", "COND", kTagElse, true},
    {"<GET", "GET", kTagGet, true},
    {"<INCLUDE", "INCLUDE", kTagInclude, true},
    {"<MAIL", "MAIL", kTagMail, true},
    {"<CREATE", "CREATE", kTagCreate, true},
    {"<OPEN", "OPEN", kTagOpen, false},
    {"<READ", "READ", kTagRead, false},
    {"<DEBUG", "DEBUG", kTagDebug, true},
    {"<SETAREA", "SETAREA", kTagSetarea, true},
    {"</SETAREA", "", kTagSetareaEnd, false},
    {"<SET", "SET", kTagSet, true},
    {"<SQL", "SQL", kTagSql, true},
    {"</SQL", "SQL", kTagSqlEnd, false},
    {"<WHILE", "WHILE", kTagWhile, true},
    {"</WHILE", "WHILE", kTagWhileEnd, false},
    {"<WRITE", "WRITE", kTagWrite, false},
    {"<HTML", "", kTagHtml, false},
    {"<!DOCTYPE", "", kTagHtml, false},
    {"<SCOPE", "SCOPE", kTagScope, true},
    {"</SCOPE", "", kTagScopeEnd, false},
    {"<HEAD", "", kTagHead, false},
    {"<!--", "", kTagComment, false},
    {"-->", "", kTagCommentEnd, false},
    {"<AUTH", "", kTagAuth, false},
    {"<SYSTEM", "", kTagSystem, false},
    {"<HTTP", "", kTagHttp, true},
    {"<WAIT", "WAIT", kTagWait, true},
    {"<PDF", "PDF", kTagPdf, true},
    {"<FILE", "FILE", kTagFile, true},
    {"<PICT", "PICT", kTagPict, true},
    {"<?XML", "XML", kTagXml, false},
    {"<NOPARSE", "NOPARSE", kTagNoparse, true},
    {"</NOPARSE", "", kTagNoparseEnd, false},
    {"<XPROC", "XPROC", kTagXproc, true},
    {"</XPROC", "", kTagXprocEnd, false},
    {"<XPATH", "XPATH", kTagXpath, true},
    {"</XPATH", "", kTagXpathEnd, false},
    {"<FUNCTION", "FUNCTION", kTagFunction, true},
    {"</FUNCTION", "", kTagFunctionEnd, false},
    {"<UNSET", "", kTagUnset, true},
}};

}  // namespace

std::span<const TagEntry> TagTable() {
  return kTags;
}

}  // namespace kwl
