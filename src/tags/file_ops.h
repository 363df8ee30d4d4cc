// The operations of the FILE tag and what they share: handles, the current scope, standard output.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "interp/interpreter.h"
#include "page/attributes.h"

namespace kwl {

// One FILE operation: the tag's attributes and the substituted value of
// the attribute that chose the operation.
struct FileCall {
  Interpreter& interp;
  AttributeList& attributes;
  std::string value;
  int includeFlag = 0;
};

void FileOpen(FileCall& call);
void FileClose(FileCall& call);
void FileDelete(FileCall& call);
void FileRead(FileCall& call);
void FileWrite(FileCall& call);
void FileExist(FileCall& call);

// The substituted value of an attribute; false when the tag lacks it.
bool FileAttribute(FileCall& call, std::string_view name, std::string* value);

// Where handles and what is read are stored: the topmost block that is not a
// result block, else GLOBAL.
Scope& CurrentScope(Interpreter& interp);

// The handle held by the variable `name` (searched through every scope).
int32_t HandleOf(Interpreter& interp, std::string_view name);
// The open stream of the handle held by `name`; reports an error and gives
// null when the handle names no open stream (never opened, closed, made by
// EXIST, or made up).
std::FILE* StreamOf(Interpreter& interp, std::string_view name, int32_t* handle = nullptr);

// Text a tag sends to standard output: the response, or, while the page's
// output is captured or sent to a file, the same place as the page's text.
void WriteStandardOutput(Interpreter& interp, std::string_view text);

}  // namespace kwl
