// The by-name automation bridge: objects of our own registered classes are
// created by program id into object slots, and their members are reached by
// name (letter case ignored) with arguments and results carried as variants.
// The logic keeps its values (GBK texts, numbers, byte arrays) and the bridge
// converts at the boundary: texts travel as UTF-16 strings, byte arrays as
// byte-array variants.
//
// No command reports an error other than by its result: every member access
// stores a status number for the calling thread (0 success, negative codes
// below) and returns an empty value on failure. An object lives while any
// slot or variant holds it.
//
// Thread safety: an object is used by one thread at a time; the status is
// per thread; class registration is locked.
#ifndef TIEPIC_AUTOMATION_AUTOMATION_H_
#define TIEPIC_AUTOMATION_AUTOMATION_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "runtime/value.h"

namespace automation {

using rt::Bytes;
using rt::DateTime;
using rt::Text;
using rt::Value;

class AutomationObject;
using ObjectRef = std::shared_ptr<AutomationObject>;

// The value passed for an argument left out in the middle of a list.
struct MissingArgument {
  friend bool operator==(MissingArgument, MissingArgument) = default;
};

// An automation variant. monostate is the empty variant.
using Variant = std::variant<std::monostate, MissingArgument, bool, uint8_t, int16_t, int32_t,
                             float, double, DateTime, std::u16string, Bytes, ObjectRef>;

struct ObjectSlot {
  ObjectRef object;
};
struct VariantSlot {
  Variant value;
};

// Status numbers of a member access.
enum AutomationStatusCode : int {
  kAutomationOk = 0,
  kEmptySlot = -1,
  kNoDispatch = -2,
  kUnknownMember = -3,
  kNoTypeInfo = -4,
  kTooManyArguments = -5,
  kBadArgumentKind = -7,
  kResultConversion = -8,
  kBadParamCount = -9,
  kBadVariantType = -10,
  kMemberException = -11,
  kMemberNotFound = -12,
  kNoNamedArgs = -13,
  kOverflow = -14,
  kParamNotFound = -15,
  kTypeMismatch = -16,
  kParamNotOptional = -17,
  kInvocationFailed = -18,
};

// One argument of a member access, as the logic passes it.
class AutomationArg {
 public:
  AutomationArg() = default;  // omitted
  AutomationArg(Value value) : value_(std::move(value)) {}
  AutomationArg(const char* text) : value_(Text(text)) {}
  AutomationArg(const Text& text) : value_(text) {}
  AutomationArg(int value) : value_(int32_t{value}) {}
  AutomationArg(bool value) : value_(value) {}
  AutomationArg(double value) : value_(value) {}
  AutomationArg(const ObjectSlot& slot) : object_(&slot) {}
  AutomationArg(const VariantSlot& slot) : variant_(&slot) {}
  // A variable passed by reference: read now, written back after the call
  // when the member declares the parameter as an output.
  // REQUIRES: variable is not null and outlives the call.
  static AutomationArg Ref(Value* variable);

  bool omitted() const;
  // The argument as a variant, or kBadArgumentKind (a byte array is
  // accepted only when `allow_bytes`; an omitted one becomes MissingArgument).
  int ToVariant(Variant* out, bool allow_bytes = false) const;
  Value* reference() const { return reference_; }

 private:
  Value value_;
  const ObjectSlot* object_ = nullptr;
  const VariantSlot* variant_ = nullptr;
  Value* reference_ = nullptr;
};

using AutomationArgs = std::initializer_list<AutomationArg>;

enum class InvokeKind { kFunction, kPropertyGet, kPropertyPut, kPropertyPutRef };

// One member of a class. `invoke` receives exactly the arguments given
// (never more than param_count unless varargs) and returns a status.
struct AutomationMember {
  const char* name;
  InvokeKind kind;
  int param_count;            // a property put counts its value
  bool varargs = false;
  uint32_t out_params = 0;    // bit i: parameter i is by reference and written back
  int (*invoke)(AutomationObject& self, std::span<Variant> args, Variant* result) = nullptr;
};

// The base of every class offered through the bridge.
class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  virtual std::span<const AutomationMember> Members() const = 0;
  // The value an object stands for when converted to a scalar (its default
  // member), or false when it has none.
  virtual bool DefaultValue(Variant* /*out*/) { return false; }
};

using AutomationFactory = ObjectRef (*)();

// Makes `prog_id` (compared without regard to case) create objects with
// `factory`. A later registration of the same id replaces the earlier one.
void RegisterAutomationClass(std::string_view prog_id, AutomationFactory factory);

// Per-thread use of automation; counted, each initialise matched by one
// uninitialise. Creating objects does not depend on it.
void AutomationInitialize();
void AutomationUninitialize();

// The calling thread's status of its last member access.
int AutomationStatus();

// Returns true iff `slot` now holds a new object of the class; an unknown id
// leaves the slot unchanged.
bool CreateObject(ObjectSlot* slot, std::string_view class_name,
                  std::string_view type_library = {});

// Index arguments first, the value last. Returns true iff the status is 0.
bool SetProperty(const ObjectSlot& object, std::string_view name, AutomationArgs args);

Text GetPropertyText(const ObjectSlot& object, std::string_view name, AutomationArgs args = {});
double GetPropertyNumber(const ObjectSlot& object, std::string_view name,
                         AutomationArgs args = {});
ObjectSlot GetPropertyObject(const ObjectSlot& object, std::string_view name,
                             AutomationArgs args = {});
VariantSlot GetPropertyVariant(const ObjectSlot& object, std::string_view name,
                               AutomationArgs args = {});

void CallMethod(const ObjectSlot& object, std::string_view name, AutomationArgs args = {});
Text CallMethodText(const ObjectSlot& object, std::string_view name, AutomationArgs args = {});
double CallMethodNumber(const ObjectSlot& object, std::string_view name,
                        AutomationArgs args = {});
ObjectSlot CallMethodObject(const ObjectSlot& object, std::string_view name,
                            AutomationArgs args = {});
VariantSlot CallMethodVariant(const ObjectSlot& object, std::string_view name,
                              AutomationArgs args = {});

// The target takes another reference to the source's object (whatever it
// held is released).
void AssignObject(ObjectSlot* target, const ObjectSlot& source);
void ReleaseObject(ObjectSlot* slot);
bool IsObjectEmpty(const ObjectSlot& slot);

void CopyVariant(VariantSlot* target, const VariantSlot& source);
void ClearVariant(VariantSlot* slot);
Text VariantToText(const VariantSlot& variant, std::optional<int> element = {});
Bytes VariantToBytes(const VariantSlot& variant, std::optional<int> element = {});
// Returns true iff the variant (or its element `element`) was set from value.
bool SetVariant(VariantSlot* slot, const AutomationArg& value, std::optional<int> element = {});

// Variant conversions shared with the classes. Each returns true iff the
// conversion succeeded. A byte array converts to the string whose UTF-16
// units are its bytes, and a string to the bytes of its UTF-16 form.
bool VariantToString(const Variant& variant, std::u16string* out);
bool VariantToDouble(const Variant& variant, double* out);
bool VariantToBool(const Variant& variant, bool* out);
bool VariantToInt(const Variant& variant, int32_t* out);

// GBK text and UTF-16 strings as the bridge converts them.
std::u16string TextToWide(std::string_view text);
Text WideToText(std::u16string_view wide);

}  // namespace automation

#endif  // TIEPIC_AUTOMATION_AUTOMATION_H_
