#include "json/SuperValue.h"

#include <cmath>
#include <limits>
#include <utility>

#include "json/JsonWriter.h"

namespace webtessl {

namespace {

// Truncates toward zero, saturating at the 64-bit range; NaN gives 0.
int64_t SaturatingInt64(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return std::numeric_limits<int64_t>::max();
  if (value <= -kLimit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

int64_t SaturatingScale(int64_t value) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  if (value > kMax / kCurrencyScale) return kMax;
  if (value < kMin / kCurrencyScale) return kMin;
  return value * kCurrencyScale;
}

const std::u16string kEmptyText;

}  // namespace

TSuperObject::TSuperObject(TSuperType kind) : kind_(kind) {
  switch (kind) {
    case TSuperType::Null:
      break;
    case TSuperType::Boolean:
      payload_ = false;
      break;
    case TSuperType::Double:
      payload_ = 0.0;
      break;
    case TSuperType::Currency:
    case TSuperType::Integer:
      payload_ = int64_t{0};
      break;
    case TSuperType::Object:
      payload_.emplace<TSuperTableString>();
      break;
    case TSuperType::Array:
      payload_.emplace<TSuperArray>();
      break;
    case TSuperType::String:
      payload_.emplace<std::u16string>();
      break;
  }
}

ISuperObject TSuperObject::NewNull() {
  return std::make_shared<TSuperObject>(TSuperType::Null);
}

ISuperObject TSuperObject::NewBoolean(bool value) {
  auto result = std::make_shared<TSuperObject>(TSuperType::Boolean);
  result->payload_ = value;
  return result;
}

ISuperObject TSuperObject::NewInteger(int64_t value) {
  auto result = std::make_shared<TSuperObject>(TSuperType::Integer);
  result->payload_ = value;
  return result;
}

ISuperObject TSuperObject::NewDouble(double value) {
  auto result = std::make_shared<TSuperObject>(TSuperType::Double);
  result->payload_ = value;
  return result;
}

ISuperObject TSuperObject::NewCurrency(int64_t scaledValue) {
  auto result = std::make_shared<TSuperObject>(TSuperType::Currency);
  result->payload_ = scaledValue;
  return result;
}

ISuperObject TSuperObject::NewString(std::u16string text) {
  auto result = std::make_shared<TSuperObject>(TSuperType::String);
  result->payload_ = std::move(text);
  return result;
}

ISuperObject TSuperObject::NewObject() {
  return std::make_shared<TSuperObject>(TSuperType::Object);
}

ISuperObject TSuperObject::NewArray() {
  return std::make_shared<TSuperObject>(TSuperType::Array);
}

bool TSuperObject::AsBoolean() const {
  switch (kind_) {
    case TSuperType::Boolean:
      return std::get<bool>(payload_);
    case TSuperType::Integer:
    case TSuperType::Currency:
      return std::get<int64_t>(payload_) != 0;
    case TSuperType::Double:
      return std::get<double>(payload_) != 0.0;
    default:
      return false;
  }
}

int64_t TSuperObject::AsInteger() const {
  switch (kind_) {
    case TSuperType::Boolean:
      return std::get<bool>(payload_) ? 1 : 0;
    case TSuperType::Integer:
      return std::get<int64_t>(payload_);
    case TSuperType::Currency:
      return std::get<int64_t>(payload_) / kCurrencyScale;
    case TSuperType::Double:
      return SaturatingInt64(std::get<double>(payload_));
    default:
      return 0;
  }
}

double TSuperObject::AsDouble() const {
  switch (kind_) {
    case TSuperType::Boolean:
      return std::get<bool>(payload_) ? 1.0 : 0.0;
    case TSuperType::Integer:
      return static_cast<double>(std::get<int64_t>(payload_));
    case TSuperType::Currency:
      return static_cast<double>(std::get<int64_t>(payload_)) / kCurrencyScale;
    case TSuperType::Double:
      return std::get<double>(payload_);
    default:
      return 0.0;
  }
}

int64_t TSuperObject::AsCurrency() const {
  switch (kind_) {
    case TSuperType::Boolean:
      return std::get<bool>(payload_) ? kCurrencyScale : 0;
    case TSuperType::Integer:
      return SaturatingScale(std::get<int64_t>(payload_));
    case TSuperType::Currency:
      return std::get<int64_t>(payload_);
    case TSuperType::Double:
      return SaturatingInt64(std::round(std::get<double>(payload_) * kCurrencyScale));
    default:
      return 0;
  }
}

const std::u16string& TSuperObject::AsString() const {
  return kind_ == TSuperType::String ? std::get<std::u16string>(payload_) : kEmptyText;
}

const TSuperTableString* TSuperObject::AsObject() const {
  return std::get_if<TSuperTableString>(&payload_);
}

TSuperTableString* TSuperObject::AsObject() {
  return std::get_if<TSuperTableString>(&payload_);
}

const TSuperArray* TSuperObject::AsArray() const {
  return std::get_if<TSuperArray>(&payload_);
}

TSuperArray* TSuperObject::AsArray() {
  return std::get_if<TSuperArray>(&payload_);
}

ISuperObject TSuperObject::Member(std::u16string_view name) const {
  const TSuperTableString* members = AsObject();
  if (members == nullptr) return nullptr;
  const ISuperObject* slot = members->Find(name);
  return slot != nullptr ? *slot : nullptr;
}

void TSuperObject::SetMember(std::u16string_view name, ISuperObject value) {
  if (TSuperTableString* members = AsObject()) members->Put(name, std::move(value));
}

void TSuperObject::SetMemberInt(std::u16string_view name, int64_t value) {
  SetMember(name, NewInteger(value));
}

void TSuperObject::SetMemberText(std::u16string_view name, std::u16string text) {
  SetMember(name, NewString(std::move(text)));
}

void TSuperObject::SetMemberBool(std::u16string_view name, bool value) {
  SetMember(name, NewBoolean(value));
}

std::u16string TSuperObject::MemberText(std::u16string_view name) const {
  const ISuperObject member = Member(name);
  return member ? member->ValueText() : std::u16string();
}

std::shared_ptr<TSuperArray> TSuperObject::MemberArray(std::u16string_view name) const {
  ISuperObject member = Member(name);
  if (!member || member->kind_ != TSuperType::Array) return nullptr;
  TSuperArray* elements = member->AsArray();
  // Shares the ownership of the array value, so the array outlives a later change of the member.
  return std::shared_ptr<TSuperArray>(std::move(member), elements);
}

void TSuperObject::RemoveMember(std::u16string_view name) {
  if (TSuperTableString* members = AsObject()) members->Remove(name);
}

std::u16string TSuperObject::FillTemplate(std::u16string_view text, std::u16string_view openMark,
                                          std::u16string_view closeMark) const {
  std::u16string result;
  result.reserve(text.size());
  size_t pos = 0;
  while (true) {
    const size_t open = openMark.empty() ? std::u16string_view::npos : text.find(openMark, pos);
    if (open == std::u16string_view::npos) break;
    result.append(text.substr(pos, open - pos));
    const size_t nameStart = open + openMark.size();
    const size_t close = closeMark.empty() ? nameStart : text.find(closeMark, nameStart);
    if (close == std::u16string_view::npos) return result;  // unclosed: the rest is dropped
    result += MemberText(text.substr(nameStart, close - nameStart));
    pos = close + closeMark.size();
  }
  result.append(text.substr(pos));
  return result;
}

std::u16string TSuperObject::ToJsonText(bool indent, bool escape) const {
  TSuperWriter writer(indent, escape);
  writer.WriteValue(*this);
  return writer.TakeText();
}

std::u16string TSuperObject::ValueText() const {
  return kind_ == TSuperType::String ? AsString() : ToJsonText(false, false);
}

}  // namespace webtessl
