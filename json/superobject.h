#pragma once

// The module superobject: JSON documents held in memory.
//
// A value (TSuperObject) has one of eight kinds (null, boolean, double, currency, integer,
// object, array, string) and is passed around by counted references (ISuperObject, an empty one
// meaning "none"). Strings and member names are UTF-16. An object's members are kept in the
// order of their MemberNameHash, which is also the order in which they are written; the order of
// insertion plays no part.
//
//   ISuperObject query = ParseJsonText(u"{}");          // a new empty object
//   query->SetMemberInt(u"cmd", 69633);
//   query->SetMemberText(u"QueryStr", u"report");
//   std::u16string text = query->ToJsonText(false, true);  // pure ASCII
//
//   ISuperObject answer = ParseJsonText(received);  // none on an error; plain text is a string
//   if (auto results = answer ? answer->MemberArray(u"results") : nullptr) {
//     for (size_t i = 0; i < results->Length(); ++i) {
//       ISuperObject result = results->ElementAt(i);  // each result object
//     }
//   }
//
// Documents take no locks: each belongs to one thread at a time.

#include "json/JsonTokenizer.h"   // ParseJsonText
#include "json/MemberTable.h"     // TSuperTableString, MemberNameHash, the member iterator
#include "json/SuperArray.h"      // TSuperArray
#include "json/SuperObjectRef.h"  // ISuperObject
#include "json/SuperValue.h"      // TSuperObject, TSuperType
