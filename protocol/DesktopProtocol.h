#pragma once

// The contract between the server and the desktop search application: how the server finds the
// application's window, how a message of this protocol is marked and how long a send may wait,
// and the members of a search query. Both programs and the benchmarks read it from here, so the
// two sides cannot drift apart. Constants only: no code, no dependency.

#include <cstdint>
#include <string_view>

namespace webtessl {

// Class of every hidden window of the protocol; peers are looked up by it.
inline constexpr char kUtilWindowClass[] = "TPUtilWindow";
// Title of the application's window that takes queries.
inline constexpr char kSearchWindowTitle[] = "AI_Tessel_RPC_Server";
// Marks a WM_COPYDATA message of this protocol; others are acknowledged and ignored.
inline constexpr uintptr_t kCommunicatorMarker = 16751103;
// How long a send waits for the receiver's acknowledgement.
inline constexpr uint32_t kSendLimitMs = 1000;
// The value of the "cmd" member that asks for a search.
inline constexpr int64_t kSearchCommand = 69633;

// The members of a search query (a JSON object).
inline constexpr std::u16string_view kCmdMember = u"cmd";
inline constexpr std::u16string_view kQueryStrMember = u"QueryStr";
inline constexpr std::u16string_view kQueryFilterMember = u"QueryFilter";
inline constexpr std::u16string_view kQueryDirMember = u"QueryDir";
inline constexpr std::u16string_view kExcludeDirMember = u"ExcludeDir";
inline constexpr std::u16string_view kQueryFromMember = u"QueryFrom";
inline constexpr std::u16string_view kQueryCountMember = u"QueryCount";
inline constexpr std::u16string_view kSpaceOrMember = u"SpaceOr";
inline constexpr std::u16string_view kWholeWordsMember = u"WholeWords";
inline constexpr std::u16string_view kIncludeDirMember = u"IncludeDir";
inline constexpr std::u16string_view kIncludeFilesMember = u"IncludeFiles";
inline constexpr std::u16string_view kCaseSensitiveMember = u"CaseSensitive";
inline constexpr std::u16string_view kSortMember = u"Sort";
inline constexpr std::u16string_view kSortAscendingMember = u"SortAscending";

}  // namespace webtessl
