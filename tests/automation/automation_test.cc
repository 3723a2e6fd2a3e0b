// The bridge's by-name rules: binding without regard to case, access-kind
// order, omitted and by-reference arguments, empty slots, statuses and the
// variant conversions; with a probe class registered by the test and the two
// built-in classes.
#include "automation/automation.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "platform/codepage.h"

#include "runtime/gbk.h"

namespace automation {

using rt::Bytes;
using rt::SubroutineRef;
using rt::Text;
using rt::Value;
using rt::operator""_gbk;

namespace {

// Describes its arguments as text: "i" int, "s" string, "m" missing,
// "v" anything else; e.g. Describe(1, , "x") gives "imsv"-like output.
class Probe : public AutomationObject {
 public:
  std::span<const AutomationMember> Members() const override;
  int32_t value = 0;
};

int Describe(AutomationObject&, std::span<Variant> args, Variant* result) {
  std::u16string out;
  for (const Variant& a : args) {
    if (std::holds_alternative<int32_t>(a)) out += u'i';
    else if (std::holds_alternative<std::u16string>(a)) out += u's';
    else if (std::holds_alternative<MissingArgument>(a)) out += u'm';
    else if (std::holds_alternative<bool>(a)) out += u'b';
    else out += u'v';
  }
  *result = out;
  return kAutomationOk;
}

int GetValue(AutomationObject& o, std::span<Variant>, Variant* result) {
  *result = static_cast<Probe&>(o).value;
  return kAutomationOk;
}

int PutValue(AutomationObject& o, std::span<Variant> args, Variant*) {
  return VariantToInt(args.back(), &static_cast<Probe&>(o).value) ? kAutomationOk : kTypeMismatch;
}

// Doubles its by-reference argument.
int Twice(AutomationObject&, std::span<Variant> args, Variant*) {
  int32_t n = 0;
  if (args.empty() || !VariantToInt(args[0], &n)) return kTypeMismatch;
  args[0] = n * 2;
  return kAutomationOk;
}

// A function and a property of the same name: reading finds the property,
// calling finds the function.
int WhichFunction(AutomationObject&, std::span<Variant>, Variant* r) { return *r = u"function", 0; }
int WhichProperty(AutomationObject&, std::span<Variant>, Variant* r) { return *r = u"property", 0; }

constexpr AutomationMember kProbeMembers[] = {
    {"Describe", InvokeKind::kFunction, 3, false, 0, Describe},
    {"Value", InvokeKind::kPropertyGet, 0, false, 0, GetValue},
    {"Value", InvokeKind::kPropertyPut, 1, false, 0, PutValue},
    {"Twice", InvokeKind::kFunction, 1, false, 1, Twice},
    {"Which", InvokeKind::kFunction, 0, false, 0, WhichFunction},
    {"Which", InvokeKind::kPropertyGet, 0, false, 0, WhichProperty},
};
std::span<const AutomationMember> Probe::Members() const { return kProbeMembers; }

ObjectRef NewProbe() { return std::make_shared<Probe>(); }

class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterAutomationClass("Tiepic.Probe", &NewProbe);
    ASSERT_TRUE(CreateObject(&probe_, "tiepic.PROBE"));
  }
  ObjectSlot probe_;
};

TEST_F(AutomationTest, MembersAreFoundWithoutRegardToCase) {
  EXPECT_TRUE(SetProperty(probe_, "VALUE", {42}));
  EXPECT_EQ(GetPropertyNumber(probe_, "value"), 42);
  EXPECT_EQ(GetPropertyText(probe_, "vAlUe"), "42");
  EXPECT_EQ(AutomationStatus(), kAutomationOk);
}

TEST_F(AutomationTest, AccessKindsAreTriedInTheirOrder) {
  EXPECT_EQ(GetPropertyText(probe_, "Which"), "property");
  EXPECT_EQ(CallMethodText(probe_, "Which"), "function");
  // Calling a property-only member still reaches it.
  EXPECT_EQ(CallMethodNumber(probe_, "Value"), 0);
  EXPECT_EQ(AutomationStatus(), kAutomationOk);
}

TEST_F(AutomationTest, AMissingMemberGivesEmptyResultsAndStatusThree) {
  EXPECT_EQ(GetPropertyText(probe_, "NoSuchThing"), "");
  EXPECT_EQ(AutomationStatus(), kUnknownMember);
  EXPECT_FALSE(SetProperty(probe_, "NoSuchThing", {1}));
  ObjectSlot none = CallMethodObject(probe_, "NoSuchThing");
  EXPECT_TRUE(IsObjectEmpty(none));
  ReleaseObject(&none);
}

TEST_F(AutomationTest, AnEmptySlotGivesEmptyResultsThatCanBeReleased) {
  ObjectSlot empty;
  EXPECT_EQ(GetPropertyText(empty, "Value"), "");
  EXPECT_EQ(AutomationStatus(), kEmptySlot);
  EXPECT_EQ(GetPropertyNumber(empty, "Value"), 0);
  ObjectSlot object = GetPropertyObject(empty, "Value");
  VariantSlot variant = GetPropertyVariant(empty, "Value");
  EXPECT_TRUE(IsObjectEmpty(object));
  EXPECT_EQ(VariantToText(variant), "");
  ReleaseObject(&object);
  ClearVariant(&variant);
  ReleaseObject(&empty);
  EXPECT_TRUE(IsObjectEmpty(empty));
}

TEST_F(AutomationTest, TrailingOmittedArgumentsAreDroppedMiddleOnesMissing) {
  EXPECT_EQ(CallMethodText(probe_, "Describe", {1, {}, {}}), "i");
  EXPECT_EQ(CallMethodText(probe_, "Describe", {{}, "x"}), "ms");
  EXPECT_EQ(CallMethodText(probe_, "Describe", {1, {}, true}), "imb");
  EXPECT_EQ(CallMethodText(probe_, "Describe", {1, 2, 3, 4}), "");
  EXPECT_EQ(AutomationStatus(), kTooManyArguments);
}

TEST_F(AutomationTest, ByteArraysCannotBePassedDirectlyButThroughAVariant) {
  EXPECT_EQ(CallMethodText(probe_, "Describe", {Value(Bytes{1, 2})}), "");
  EXPECT_EQ(AutomationStatus(), kBadArgumentKind);
  VariantSlot bytes;
  ASSERT_TRUE(SetVariant(&bytes, Value(Bytes{1, 2})));
  EXPECT_EQ(CallMethodText(probe_, "Describe", {bytes}), "v");
}

TEST_F(AutomationTest, ByReferenceOutputsAreWrittenBackInTheVariablesKind) {
  Value n = int32_t{21};
  CallMethod(probe_, "Twice", {AutomationArg::Ref(&n)});
  EXPECT_EQ(n, Value(int32_t{42}));
  Value text = Text("5");
  CallMethod(probe_, "Twice", {AutomationArg::Ref(&text)});
  EXPECT_EQ(text, Value(Text("10")));
  Value by_value = int32_t{3};
  CallMethod(probe_, "Twice", {by_value});
  EXPECT_EQ(by_value, Value(int32_t{3}));
}

TEST_F(AutomationTest, AnUnknownClassLeavesTheSlotAsItWas) {
  ObjectSlot slot;
  AssignObject(&slot, probe_);
  EXPECT_FALSE(CreateObject(&slot, "No.Such.Class"));
  EXPECT_FALSE(CreateObject(&slot, "{00000000-0000-0000-0000-000000000000}"));
  EXPECT_EQ(slot.object, probe_.object);
}

TEST_F(AutomationTest, StatusIsKeptPerThread) {
  GetPropertyText(probe_, "NoSuchThing");
  int other = 99;
  std::thread([&] { other = AutomationStatus(); }).join();
  EXPECT_EQ(other, kAutomationOk);
  EXPECT_EQ(AutomationStatus(), kUnknownMember);
}

TEST(AutomationVariants, BytesRoundTripAndStringsShowTheirUtf16Bytes) {
  Bytes data = {0, 1, 2, 0xFE, 0xFF, 0};
  VariantSlot slot;
  ASSERT_TRUE(SetVariant(&slot, Value(data)));
  EXPECT_EQ(VariantToBytes(slot), data);
  VariantSlot copy;
  CopyVariant(&copy, slot);
  ClearVariant(&slot);
  EXPECT_EQ(VariantToBytes(slot), Bytes());
  EXPECT_EQ(VariantToBytes(copy), data);
  EXPECT_EQ(VariantToText(copy, 3), "254");
  EXPECT_TRUE(SetVariant(&copy, 7, 0));
  EXPECT_EQ(VariantToBytes(copy)[0], 7);
  EXPECT_FALSE(SetVariant(&copy, 7, 6));

  ASSERT_TRUE(SetVariant(&slot, "中a"_gbk));
  EXPECT_EQ(VariantToBytes(slot), (Bytes{0x2D, 0x4E, 'a', 0}));
  EXPECT_EQ(VariantToText(slot), "中a"_gbk);
  VariantSlot as_bytes;
  ASSERT_TRUE(SetVariant(&as_bytes, Value(VariantToBytes(slot))));
  EXPECT_EQ(VariantToText(as_bytes), "中a"_gbk);
  EXPECT_FALSE(SetVariant(&slot, AutomationArg()));
  EXPECT_FALSE(SetVariant(&slot, Value(SubroutineRef{1})));
}

TEST(AutomationClasses, RegExpHasNoSinglelineSwitch) {
  ObjectSlot regex;
  ASSERT_TRUE(CreateObject(&regex, "VBScript.RegExp"));
  ASSERT_TRUE(SetProperty(regex, "Pattern", {"a.b"}));
  EXPECT_FALSE(SetProperty(regex, "Singleline", {true}));
  EXPECT_EQ(AutomationStatus(), kUnknownMember);
  EXPECT_EQ(GetPropertyText(regex, "pattern"), "a.b");
  ObjectSlot matches = CallMethodObject(regex, "Execute", {"a\nb"});
  EXPECT_EQ(GetPropertyNumber(matches, "Count"), 0);
  SetProperty(regex, "Pattern", {"("});
  ObjectSlot failed = CallMethodObject(regex, "Execute", {"a"});
  EXPECT_TRUE(IsObjectEmpty(failed));
  EXPECT_EQ(AutomationStatus(), kMemberException);
}

TEST(AutomationClasses, HttpRequestMembersFailBeforeSendAndOnBadInput) {
  ObjectSlot request;
  ASSERT_TRUE(CreateObject(&request, "winhttp.winhttprequest.5.1"));
  EXPECT_EQ(GetPropertyNumber(request, "Status"), 0);
  EXPECT_EQ(AutomationStatus(), kMemberException);
  EXPECT_EQ(GetPropertyText(request, "GetallResponseHeaders"), "");
  EXPECT_EQ(AutomationStatus(), kMemberException);
  CallMethod(request, "Open", {"GET", "file:///etc/passwd", false});
  EXPECT_EQ(AutomationStatus(), kMemberException);
  CallMethod(request, "Open", {"GET", "http://127.0.0.1:9/", false});
  EXPECT_EQ(AutomationStatus(), kAutomationOk);
  CallMethod(request, "SetRequestHeader", {"X-A", "1\r\nX-B: 2"});
  EXPECT_EQ(AutomationStatus(), kMemberException);
  EXPECT_TRUE(SetProperty(request, "Option", {4, 0x3300}));
  EXPECT_EQ(GetPropertyNumber(request, "option", {4}), 0x3300);
  EXPECT_FALSE(SetProperty(request, "Option", {99, 1}));
}

}  // namespace
}  // namespace automation

namespace automation {
namespace {

// The bridge's conversions take a fast path for ASCII; on any bytes at all
// they must agree with the code-page converter.
TEST(AutomationTexts, AgreeWithTheCodePageConverterOnAnyBytes) {
  std::mt19937 random(12345);
  const unsigned char interesting[] = {0x00 + 'a', 0x40, 0x7E, 0x7F, 0x80, 0x81, 0xA1,
                                       0xA2, 0xA0, 0xB0, 0xFE, 0xFF, 0x30, 0x20};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    int length = random() % 12;
    for (int i = 0; i < length; ++i) {
      text.push_back(static_cast<char>(random() % 3 == 0 ? random() % 256
                                                         : interesting[random() % 14]));
    }
    text = text.substr(0, text.find('\0'));
    std::u16string expected = platform::MultiByteToWide(platform::CodePage::kGbk, text);
    ASSERT_EQ(TextToWide(text), expected) << "round " << round;
    ASSERT_EQ(WideToText(expected), platform::WideToMultiByte(platform::CodePage::kGbk, expected));
  }
  std::u16string outside_gbk = u"a\xD83D\xDE00z";
  EXPECT_EQ(WideToText(outside_gbk),
            platform::WideToMultiByte(platform::CodePage::kGbk, outside_gbk));
}

}  // namespace
}  // namespace automation
