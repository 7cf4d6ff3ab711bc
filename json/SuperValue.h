#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "json/MemberTable.h"
#include "json/NumberText.h"
#include "json/SuperArray.h"
#include "json/SuperObjectRef.h"

namespace webtessl {

// The eight kinds of JSON value.
enum class TSuperType : uint8_t { Null, Boolean, Double, Currency, Integer, Object, Array, String };

// One JSON value of exactly one kind, passed around by counted references (ISuperObject).
// Member access takes a single member name, matched exactly. Setters on a value that is not an
// object do nothing; getters on it give none (MemberText the empty text). A value that holds
// itself (directly or not) is never freed: break such a cycle with RemoveMember. Not thread-safe:
// a document belongs to one thread at a time.
class TSuperObject final {
 public:
  // A value of the kind with the empty payload: false, 0, "", no members or no elements.
  explicit TSuperObject(TSuperType kind);
  TSuperObject(const TSuperObject&) = delete;
  TSuperObject& operator=(const TSuperObject&) = delete;

  static ISuperObject NewNull();
  static ISuperObject NewBoolean(bool value);
  static ISuperObject NewInteger(int64_t value);
  static ISuperObject NewDouble(double value);
  static ISuperObject NewCurrency(int64_t scaledValue);  // the value times kCurrencyScale
  static ISuperObject NewString(std::u16string text);
  static ISuperObject NewObject();  // no members
  static ISuperObject NewArray();   // no elements

  TSuperType Kind() const { return kind_; }
  // Payload of the own kind; numbers and booleans convert among themselves (truncating toward
  // zero and saturating where needed); any other kind gives false, 0 or the empty text.
  bool AsBoolean() const;
  int64_t AsInteger() const;
  double AsDouble() const;
  int64_t AsCurrency() const;  // scaled by kCurrencyScale
  const std::u16string& AsString() const;
  // The member table of an object, the elements of an array; nullptr for any other kind.
  const TSuperTableString* AsObject() const;
  TSuperTableString* AsObject();
  const TSuperArray* AsArray() const;
  TSuperArray* AsArray();

  ISuperObject Member(std::u16string_view name) const;           // the member's value or none
  void SetMember(std::u16string_view name, ISuperObject value);  // create or replace
  void SetMemberInt(std::u16string_view name, int64_t value);
  void SetMemberText(std::u16string_view name, std::u16string text);
  void SetMemberBool(std::u16string_view name, bool value);
  // ValueText of the member; the empty text when it is missing or holds none.
  std::u16string MemberText(std::u16string_view name) const;
  // The member's array, kept alive by the returned reference; none unless the member is an array.
  std::shared_ptr<TSuperArray> MemberArray(std::u16string_view name) const;
  void RemoveMember(std::u16string_view name);  // nothing happens when it is missing

  // The template with each member name between an opening and a closing mark replaced by that
  // member's MemberText; an opening mark that is never closed drops the rest of the template.
  std::u16string FillTemplate(std::u16string_view text, std::u16string_view openMark,
                              std::u16string_view closeMark) const;
  // The JSON text of the value: with indent, CR LF line breaks and one space per level; with
  // escape, pure ASCII (everything but ASCII letters and digits escaped).
  std::u16string ToJsonText(bool indent, bool escape) const;
  // A string's own text; for every other kind ToJsonText(false, false).
  std::u16string ValueText() const;

 private:
  friend class TSuperWriter;  // sets the processing flag while the value is written

  using Payload = std::variant<std::monostate, bool, int64_t, double, std::u16string,
                               TSuperTableString, TSuperArray>;

  mutable bool processing_ = false;  // set while being written: the writer's cycle guard
  TSuperType kind_;
  Payload payload_;
};

}  // namespace webtessl
