// The classes the automation bridge offers by program id. Each is created
// through its factory; the bridge registers them on first use.
//
// Thread safety: an object and the objects it hands out are used by one
// thread at a time; separate objects share nothing but the HTTP transport.
#ifndef TIEPIC_AUTOMATION_AUTOMATION_CLASSES_H_
#define TIEPIC_AUTOMATION_AUTOMATION_CLASSES_H_

#include "automation/automation.h"

namespace automation {

// An HTTP request object: SetTimeouts, SetProxy, SetProxyCredentials, Open,
// SetRequestHeader, Send, Option(4 | 6), ResponseBody, Status, StatusText,
// GetAllResponseHeaders, GetResponseHeader, Abort, and SendError (ours: the
// WinHttp error number of a Send that brought no answer, else 0).
inline constexpr char kWinHttpRequestProgId[] = "WinHttp.WinHttpRequest.5.1";
ObjectRef NewWinHttpRequest();

// A regular-expression object: Pattern, IgnoreCase, Global, Multiline,
// Execute (a match collection of matches with FirstIndex, Length, Value and
// SubMatches), Test and Replace.
inline constexpr char kRegExpProgId[] = "VBScript.RegExp";
ObjectRef NewRegExp();

}  // namespace automation

#endif  // TIEPIC_AUTOMATION_AUTOMATION_CLASSES_H_
