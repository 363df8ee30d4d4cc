#include <chrono>
#include <limits>

#include "core/trace.h"
#include "interp/substitute.h"
#include "interp/target_scope.h"
#include "modules/db/db_state.h"
#include "modules/db/db_tags.h"
#include "modules/db/tag_values.h"

namespace kwl {

namespace {

// Where `NAME=r` style attributes put r.sqlrowcount and r.sqlcolcount.
struct CountTarget {
  Scope* scope = nullptr;
  std::string name;
};

// A count too large for the integer form is kept whole as text.
void SetCount(Variable* var, uint64_t count) {
  if (!var) return;
  if (count <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    VarSetInt(*var, static_cast<int32_t>(count));
  } else {
    VarSet(*var, std::to_string(count));
  }
}

// The statement text in sqlstring; with sqlescapestr above 0 every value
// substituted into it is escaped for an SQL string literal.
void BuildStatement(Interpreter& interp, Variable& query) {
  std::string text;
  interp.escapeValues = VarInt(PageVar(interp, &DbVariables::escapestr)) > 0;
  SubstituteVariable(interp, query, text);
  interp.escapeValues = false;
  VarSet(PageVar(interp, &DbVariables::string), text);
}

CountTarget ReadCountTarget(Interpreter& interp, AttributeList& attributes) {
  CountTarget target;
  Variable* nameAttribute = nullptr;
  target.scope = TargetScope(interp, attributes, &nameAttribute);
  if (target.scope) SubstituteVariable(interp, *nameAttribute, target.name);
  return target;
}

void SetTargetCount(const CountTarget& target, const char* what, uint64_t count) {
  if (!target.scope) return;
  // Look the variable up by the name it is stored under (names keep 63 characters).
  std::string name = (target.name + "." + what).substr(0, kMaxNameLength);
  SetCount(ScopeGetOrCreate(*target.scope, name), count);
}

// Reads what the statement produced. True when rows were loaded.
bool ReadResult(Interpreter& interp, SqlConnection& c, DATable& table, const CountTarget& target) {
  unsigned opened = SqlOpenResult(c);
  if (opened != 0) {
    SetCount(&PageVar(interp, &DbVariables::rowcount), SqlRowCount(c));
    return false;
  }
  uint64_t rows = 0;
  if (SqlLoadResult(c, table, &rows) != 0) return false;
  SetCount(&PageVar(interp, &DbVariables::rowcount), rows);
  SetTargetCount(target, "sqlrowcount", rows);
  SetTargetCount(target, "sqlcolcount", static_cast<uint64_t>(DAColumnCount(table)));
  return true;
}

void CopyOutcome(Interpreter& interp, SqlConnection& c) {
  VarSetInt(PageVar(interp, &DbVariables::err), static_cast<int32_t>(SqlLastErrorCode(c)));
  VarSet(PageVar(interp, &DbVariables::errmsg), SqlLastErrorMessage(c));
  SetCount(&PageVar(interp, &DbVariables::id), c.lastInsertId);
}

// A failing statement switches an automatic trace on and shows itself there.
void TraceFailure(Interpreter& interp, SqlConnection& c) {
  if (TraceLevel(interp.proc) != kTraceAuto || SqlLastErrorCode(c) == 0) return;
  SetTraceLevel(interp.proc, kTraceFile);
  const std::string& statement = VarText(PageVar(interp, &DbVariables::string));
  Trace(interp.proc, "SQL EXEC (%d): %.2000s\n", static_cast<int>(statement.size()),
        statement.c_str());
  Trace(interp.proc, "SQL ERROR: %d - %s\n", static_cast<int>(SqlLastErrorCode(c)),
        SqlLastErrorMessage(c).c_str());
}

bool RunStatement(Interpreter& interp, SqlConnection& c, DATable& table, AttributeList& attributes,
                  const CountTarget& target) {
  ReportError(interp, 0, "");
  SqlSetLimit(c, AttributeInt(interp, attributes, "MAXROWS", 0));
  SqlSetStart(c, AttributeInt(interp, attributes, "START", 0));
  auto started = std::chrono::steady_clock::now();
  SqlAppendQuery(c, VarText(PageVar(interp, &DbVariables::string)));
  bool loaded = SqlExecute(c) == 0 && ReadResult(interp, c, table, target);
  CopyOutcome(interp, c);
  TraceFailure(interp, c);
  auto elapsed = std::chrono::steady_clock::now() - started;
  TRACE(interp.proc, "SQL Exec time = %ds\n",
        static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()));
  return loaded;
}

}  // namespace

bool SqlTag(Interpreter& interp, const TagCall& call, Block& block, bool* singlePass) {
  AttributeList attributes = TagAttributes(interp, call);
  Variable* query = FindAttribute(attributes, "QUERY");
  if (query) BuildStatement(interp, *query);
  auto option = AttributeText(interp, attributes, "OPTION");
  *singlePass = option && AsciiEqualsNoCase(*option, "ENTER");
  auto connectName = AttributeText(interp, attributes, "CONNECT");
  CountTarget target = ReadCountTarget(interp, attributes);
  VarSetInt(PageVar(interp, &DbVariables::rowcount), 0);
  SqlConnection* c = ChooseConnection(DbStateOf(interp), connectName ? &*connectName : nullptr);
  if (!query || !c || VarLength(PageVar(interp, &DbVariables::string)) == 0) {
    if (!query) ReportError(interp, 1, "ERROR: Missing field QUERY in SQL tag");
    ReportError(interp, 2, "ERROR: Can't exec QUERY (no connection?)");
    return false;
  }
  return RunStatement(interp, *c, block.rows, attributes, target);
}

namespace {

void SqlStarted(Interpreter& interp, Block& block) {
  VarSetInt(PageVar(interp, &DbVariables::querycount), 1);
  VarSetInt(PageVar(interp, &DbVariables::numrow), static_cast<int32_t>(block.currentRow + 1));
  ScopeSetInt(block.vars, "sqlnumrow", 1);
  ScopeSetInt(block.vars, "sqlcolcount", static_cast<int32_t>(DAColumnCount(block.rows)));
}

// After the pass over row r the counters name row r + 2 (1-based, the next one).
void SqlAfterPass(Interpreter& interp, Block& block) {
  auto next = static_cast<int32_t>(block.currentRow + 2);
  VarSetInt(PageVar(interp, &DbVariables::numrow), next);
  ScopeSetInt(block.vars, "sqlnumrow", next);
}

}  // namespace

const RowSource kSqlRows{"SQL", SqlTag, SqlStarted, nullptr, SqlAfterPass, nullptr};

}  // namespace kwl
