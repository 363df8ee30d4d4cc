// <SET>: assigns a value made by one format operation, then REPLACE/BY.
#include <optional>

#include "core/trace.h"
#include "interp/arith_plan.h"
#include "interp/substitute.h"
#include "interp/target_scope.h"
#include "interp/text_plan.h"
#include "tags/format_ops.h"
#include "tags/set_tags.h"

namespace kwl {

namespace {

bool Has(const AttributeList& attributes, std::string_view name) {
  return FindAttribute(attributes, name) != nullptr;
}

// A SET that assigns a VALUE (without CHARSET) or an integer EXPR (without
// BIT, BITON or BITOFF) and has neither SCOPE nor REPLACE, read once; any
// other SET runs the long way.
struct SetPlan final : TagPlan {
  explicit SetPlan(const AttributeList& attributes) {
    const Variable* naming = nullptr;
    kind = TargetKindOf(attributes, &naming);
    if (kind == TargetKind::kNone || Has(attributes, "SCOPE") || Has(attributes, "REPLACE")) return;
    const FormatOperation* operation = nullptr;
    const Variable* input = nullptr;
    for (const FormatOperation& each : FormatOperations()) {
      if ((input = FindAttribute(attributes, each.name))) {
        operation = &each;
        break;
      }
    }
    if (!operation) return;
    name.emplace(VarRawText(*naming));
    this->input.emplace(VarRawText(*input));
    if (operation->handler == FormatExpr) {
      if (Has(attributes, "BIT") || Has(attributes, "BITON") || Has(attributes, "BITOFF")) return;
      arith.emplace(*this->input);
      quick = arith->Usable();
    } else if (operation->handler == FormatValue && !Has(attributes, "CHARSET")) {
      quick = true;
      PlanExtension();
    }
  }

  // VALUE="$name$..." into the literal `name` (a text built up in a loop) only
  // appends the rest to the variable when the reference reads that variable.
  void PlanExtension() {
    std::string_view target = name->text();
    std::string_view value = input->text();
    if (!name->Literal() || target.size() > kMaxNameLength || !BeginsWithReference(value, target))
      return;
    self.emplace(target);
    rest.emplace(value.substr(target.size() + 2));
  }

  // The variable `name` of `scope`, made when `create` says so. A literal name
  // keeps it, and whether the value's leading reference reads it, while no
  // scope changes shape.
  Variable* Target(Interpreter& interp, Scope& scope, std::string_view text, bool create) {
    Variable* var = create ? ScopeGetOrCreate(scope, text) : scope.Find(text);
    if (var && name->Literal()) {
      extends_ = self && rest->Literal() && ResolveCached(interp.proc, *self) == var;
      shape = gScopeShape;
      var_ = var;
    }
    return var;
  }
  bool Run(Interpreter& interp) override;
  [[gnu::noinline]] bool FindAndAssign(Interpreter& interp);
  [[gnu::noinline]] bool Assign(Interpreter& interp, Variable* target, Scope* scope,
                                std::string_view text);
  [[gnu::always_inline]] bool AssignInteger(Interpreter& interp, Variable* target, Scope* scope,
                                            std::string_view text);

  TargetKind kind;
  bool quick = false;
  std::optional<TextPlan> name;
  std::optional<TextPlan> input;
  std::optional<ArithPlan> arith;  // for EXPR
  std::optional<CachedName> self;  // for a VALUE that extends its target
  std::optional<TextPlan> rest;
  uint64_t shape = 0;  // the target variable found last, while no scope changes shape
  Variable* var_ = nullptr;
  bool extends_ = false;  // the value is var_'s text and a literal rest
};

// False when the SET must take the long way (nothing was changed then).
bool SetPlan::Run(Interpreter& interp) {
  if (shape != gScopeShape) return FindAndAssign(interp);
  // The target found last: no scope changed shape since, so its scope is the
  // same (the stack is) and so is the variable (its name is literal).
  Variable* target = var_;
  if (target == interp.proc.debug) return false;
  if (kind == TargetKind::kSession) interp.sessionChanged = true;
  if (arith) return AssignInteger(interp, target, nullptr, {});
  if (!extends_) return Assign(interp, target, nullptr, {});
  VarExtend(*target, rest->text());
  ClearErrorUntraced(interp);
  return true;
}

bool SetPlan::FindAndAssign(Interpreter& interp) {
  if (!quick) return false;
  Scope* scope = TargetScopeOf(interp, kind);
  if (!scope) return false;
  std::string scratch;
  std::string_view text = name->Value(interp, scratch);
  if (text.empty()) return true;
  Variable* target = self ? Target(interp, *scope, text, false) : nullptr;
  if (target && target == interp.proc.debug) return false;
  if (arith) return AssignInteger(interp, target, scope, text);
  return Assign(interp, target, scope, text);
}

// A missing target is made once its value is known, as the long way makes
// it. veldebug is left to the handler: a plan never changes whether the run
// is traced (loops rely on it).
inline bool SetPlan::AssignInteger(Interpreter& interp, Variable* target, Scope* scope,
                                   std::string_view text) {
  int32_t value = 0;
  if (!arith->Eval(interp, &value)) return false;
  if (!target && (target = Target(interp, *scope, text, true)) == interp.proc.debug) return false;
  target->text.clear();  // what emptying it first would leave
  VarSetInt(*target, value);
  ClearErrorIfZero(interp);
  return true;
}

bool SetPlan::Assign(Interpreter& interp, Variable* target, Scope* scope, std::string_view text) {
  std::string scratch;
  if (self && target && target == ResolveCached(interp.proc, *self)) {
    VarExtend(*target, rest->Value(interp, scratch));
  } else {
    std::string_view value = input->Value(interp, scratch);
    if (!target && (target = Target(interp, *scope, text, true)) == interp.proc.debug) return false;
    VarSet(*target, value);
  }
  ClearErrorUntraced(interp);
  return true;
}

// Every SET the plan does not run.
[[gnu::noinline]] void SetTagLongWay(Interpreter& interp, const TagCall& call);

}  // namespace

void SetTag(Interpreter& interp, const TagCall& call) {
  SetPlan* plan = TagPlanOf<SetPlan>(interp, call);
  if (!plan || !PlansApply(interp) || !plan->Run(interp)) SetTagLongWay(interp, call);
}

namespace {

void SetTagLongWay(Interpreter& interp, const TagCall& call) {
  const AttributeList& attributes = TagAttributes(interp, call);
  SetTarget target = FindSetTarget(interp, attributes,
                                   "ERROR: No GLOBAL, NAME, LOCAL or RETURN defined in tag SET");
  if (!target.scope || target.name.empty()) return;
  for (const FormatOperation& operation : FormatOperations()) {
    const Variable* input = FindAttribute(attributes, operation.name);
    if (!input) continue;
    FormatCall format{interp, attributes, target.name, *input, *target.scope};
    if (operation.handler(format) == 0) ReportError(interp, 0, "");
    ApplyReplace(interp, attributes, target.name, *target.scope);
    return;
  }
  ReportError(interp, 0, "WARNING: VALUE set to null in tag SET");
}

}  // namespace

SetTarget FindSetTarget(Interpreter& interp, const AttributeList& attributes,
                        std::string_view missing) {
  SetTarget target;
  const Variable* nameAttribute = nullptr;
  target.scope = TargetScope(interp, attributes, &nameAttribute);
  if (!target.scope) {
    ReportError(interp, 1, missing);
    return target;
  }
  target.name = Substituted(interp, VarRawText(*nameAttribute));
  return target;
}

void ApplyReplace(Interpreter& interp, const AttributeList& attributes, std::string_view name,
                  Scope& scope) {
  const Variable* replace = FindAttribute(attributes, "REPLACE");
  if (!replace) return;
  std::string search = Substituted(interp, VarRawText(*replace));
  if (search.empty()) {
    ReportError(interp, 2, "ERROR in REPLACE tag");
    return;
  }
  std::string by;
  if (const Variable* byAttribute = FindAttribute(attributes, "BY")) {
    by = Substituted(interp, VarRawText(*byAttribute));
  } else {
    Trace(interp.proc, "ERROR : BY undefined in REPLACE tag\n");
  }
  Variable& target = *ScopeGetOrCreate(scope, name);
  TRACE(interp.proc, "Replace %s by %s in var %.*s\n", search.c_str(), by.c_str(),
        static_cast<int>(name.size()), name.data());
  const std::string& text = VarText(target);
  std::string result;
  size_t pos = 0;
  for (size_t found; (found = text.find(search, pos)) != std::string::npos;
       pos = found + search.size()) {
    result.append(text, pos, found - pos);
    result += by;
  }
  if (pos == 0) return;
  result.append(text, pos, std::string::npos);
  VarSet(target, result);
}

}  // namespace kwl
