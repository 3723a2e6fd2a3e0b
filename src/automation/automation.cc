// The bridge's commands: class registry, member binding by name, argument
// and result conversion, and the per-thread status.
#include "automation/automation.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "automation/automation_classes.h"
#include "platform/codepage.h"

namespace automation {

using rt::Bytes;
using rt::SubroutineRef;
using rt::Text;
using rt::Value;

namespace {

thread_local int t_status = 0;
thread_local int t_init_count = 0;

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

struct Registry {
  std::mutex mutex;
  std::map<std::string, AutomationFactory> classes;
};

Registry& Classes() {
  static Registry* registry = [] {
    auto* r = new Registry;
    r->classes[FoldName(kWinHttpRequestProgId)] = &NewWinHttpRequest;
    r->classes[FoldName(kRegExpProgId)] = &NewRegExp;
    return r;
  }();
  return *registry;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

enum class Access { kRead, kSet, kCall };

// The member `name` binds to, trying the access kinds in the order the
// access asks for, or null.
const AutomationMember* Bind(const AutomationObject& object, std::string_view name,
                             Access access) {
  static constexpr InvokeKind kRead[] = {InvokeKind::kPropertyGet, InvokeKind::kFunction};
  static constexpr InvokeKind kSet[] = {InvokeKind::kPropertyPut, InvokeKind::kPropertyPutRef,
                                        InvokeKind::kFunction};
  static constexpr InvokeKind kCall[] = {InvokeKind::kFunction, InvokeKind::kPropertyGet,
                                         InvokeKind::kPropertyPut, InvokeKind::kPropertyPutRef};
  std::span<const InvokeKind> order(kCall);
  if (access == Access::kRead) order = kRead;
  if (access == Access::kSet) order = kSet;
  std::span<const AutomationMember> members = object.Members();
  for (InvokeKind kind : order) {
    for (const AutomationMember& member : members) {
      if (member.kind == kind && SameName(member.name, name)) return &member;
    }
  }
  return nullptr;
}

// Writes a variant back into the logic's variable, keeping its kind.
void WriteBack(const Variant& from, Value* to) {
  std::visit(
      [&](auto& current) {
        using T = std::decay_t<decltype(current)>;
        if constexpr (std::is_same_v<T, Text>) {
          std::u16string s;
          if (VariantToString(from, &s)) current = WideToText(s);
        } else if constexpr (std::is_same_v<T, bool>) {
          bool b;
          if (VariantToBool(from, &b)) current = b;
        } else if constexpr (std::is_arithmetic_v<T>) {
          double d;
          if (VariantToDouble(from, &d)) current = static_cast<T>(d);
        } else if constexpr (std::is_same_v<T, Bytes>) {
          if (const Bytes* b = std::get_if<Bytes>(&from)) current = *b;
        }
      },
      *to);
}

// Runs one member access and returns its result variant; the status is
// stored for the thread.
Variant Access_(const ObjectSlot& slot, std::string_view name, Access access,
                AutomationArgs given) {
  Variant result;
  auto fail = [&](int status) {
    t_status = status;
    return Variant();
  };
  if (!slot.object) return fail(kEmptySlot);
  const AutomationMember* member = Bind(*slot.object, name, access);
  if (!member) return fail(kUnknownMember);
  std::vector<const AutomationArg*> args;
  for (const AutomationArg& arg : given) args.push_back(&arg);
  while (!args.empty() && args.back()->omitted()) args.pop_back();
  if (static_cast<int>(args.size()) > member->param_count && !member->varargs) {
    return fail(kTooManyArguments);
  }
  std::vector<Variant> values(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    if (int status = args[i]->ToVariant(&values[i]); status != kAutomationOk) return fail(status);
  }
  ObjectRef keep = slot.object;  // the member may release the slot's object
  int status = member->invoke(*keep, values, &result);
  if (status != kAutomationOk) return fail(status);
  for (size_t i = 0; i < args.size() && i < 32; ++i) {
    if ((member->out_params >> i & 1) && args[i]->reference()) {
      WriteBack(values[i], args[i]->reference());
    }
  }
  t_status = kAutomationOk;
  return result;
}

Text ResultText(const Variant& v) {
  std::u16string s;
  if (!VariantToString(v, &s)) {
    if (t_status == kAutomationOk) t_status = kResultConversion;
    return {};
  }
  return WideToText(s);
}

double ResultNumber(const Variant& v) {
  double d = 0;
  if (t_status != kAutomationOk) return 0;
  if (!VariantToDouble(v, &d)) {
    t_status = kResultConversion;
    return 0;
  }
  return d;
}

ObjectSlot ResultObject(const Variant& v) {
  if (t_status != kAutomationOk) return {};
  if (const ObjectRef* o = std::get_if<ObjectRef>(&v)) return {*o};
  t_status = kResultConversion;
  return {};
}

}  // namespace

// ---- arguments ----

AutomationArg AutomationArg::Ref(Value* variable) {
  AutomationArg arg(*variable);
  arg.reference_ = variable;
  return arg;
}

bool AutomationArg::omitted() const {
  return !object_ && !variant_ && std::holds_alternative<std::monostate>(value_);
}

int AutomationArg::ToVariant(Variant* out, bool allow_bytes) const {
  if (object_) {
    *out = object_->object;
    return kAutomationOk;
  }
  if (variant_) {
    *out = variant_->value;
    return kAutomationOk;
  }
  return std::visit(
      [&](const auto& v) -> int {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          *out = MissingArgument{};
        } else if constexpr (std::is_same_v<T, int64_t>) {
          *out = static_cast<int32_t>(static_cast<uint32_t>(v));
        } else if constexpr (std::is_same_v<T, Text>) {
          *out = TextToWide(v);
        } else if constexpr (std::is_same_v<T, Bytes>) {
          if (!allow_bytes) return kBadArgumentKind;
          *out = v;
        } else if constexpr (std::is_same_v<T, SubroutineRef>) {
          return kBadArgumentKind;
        } else {
          *out = v;
        }
        return kAutomationOk;
      },
      value_);
}

// ---- registry and life ----

void RegisterAutomationClass(std::string_view prog_id, AutomationFactory factory) {
  Registry& registry = Classes();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.classes[FoldName(prog_id)] = factory;
}

void AutomationInitialize() { ++t_init_count; }
void AutomationUninitialize() {
  if (t_init_count > 0) --t_init_count;
}

int AutomationStatus() { return t_status; }

bool CreateObject(ObjectSlot* slot, std::string_view class_name,
                  std::string_view /*type_library*/) {
  if (!slot || class_name.empty() || class_name[0] == '{') return false;
  AutomationFactory factory = nullptr;
  {
    Registry& registry = Classes();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.classes.find(FoldName(class_name));
    if (it == registry.classes.end()) return false;
    factory = it->second;
  }
  ObjectRef object = factory();
  if (!object) return false;
  slot->object = std::move(object);
  return true;
}

// ---- member access ----

bool SetProperty(const ObjectSlot& object, std::string_view name, AutomationArgs args) {
  Access_(object, name, Access::kSet, args);
  return t_status == kAutomationOk;
}

Text GetPropertyText(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  Variant v = Access_(o, name, Access::kRead, args);
  return t_status == kAutomationOk ? ResultText(v) : Text();
}
double GetPropertyNumber(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  return ResultNumber(Access_(o, name, Access::kRead, args));
}
ObjectSlot GetPropertyObject(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  return ResultObject(Access_(o, name, Access::kRead, args));
}
VariantSlot GetPropertyVariant(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  return {Access_(o, name, Access::kRead, args)};
}

void CallMethod(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  Access_(o, name, Access::kCall, args);
}
Text CallMethodText(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  Variant v = Access_(o, name, Access::kCall, args);
  return t_status == kAutomationOk ? ResultText(v) : Text();
}
double CallMethodNumber(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  return ResultNumber(Access_(o, name, Access::kCall, args));
}
ObjectSlot CallMethodObject(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  return ResultObject(Access_(o, name, Access::kCall, args));
}
VariantSlot CallMethodVariant(const ObjectSlot& o, std::string_view name, AutomationArgs args) {
  return {Access_(o, name, Access::kCall, args)};
}

// ---- slots ----

void AssignObject(ObjectSlot* target, const ObjectSlot& source) { target->object = source.object; }
void ReleaseObject(ObjectSlot* slot) { slot->object.reset(); }
bool IsObjectEmpty(const ObjectSlot& slot) { return !slot.object; }

void CopyVariant(VariantSlot* target, const VariantSlot& source) { target->value = source.value; }
void ClearVariant(VariantSlot* slot) { slot->value = std::monostate{}; }

}  // namespace automation
