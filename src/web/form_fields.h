// Form fields and query values: percent-encoding, a query's parameters, and
// the signed form the mobile client's interfaces take (the fields sorted by
// name, "name=value" joined without separator, the key after them, and the
// MD5 of that text in upper-case hexadecimal as the field "sign").
//
// Thread safety: pure functions.
#ifndef TIEPIC_WEB_FORM_FIELDS_H_
#define TIEPIC_WEB_FORM_FIELDS_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace web {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// `bytes` with every byte but letters, digits and "-._~" as %XX.
std::string PercentEncode(std::string_view bytes);
// `text` with each %XX as its byte and "+" as a blank; a "%" not followed by
// two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);

// The pairs of a query ("a=1&b=2", a leading "&" or "?" allowed), values
// left encoded; a pair without "=" has an empty value.
FormFields QueryFields(std::string_view query);

// The value (still encoded) of the first parameter `name` in `address`'s
// query; "" when there is none.
std::string QueryValue(std::string_view address, std::string_view name);

// The value of the field "sign" for `fields` (values as sent, decoded).
std::string FormSign(FormFields fields, std::string_view key);

// `fields` percent-encoded and joined by "&", followed by "&sign=" and
// FormSign's value: the body of a signed POST.
std::string SignedFormBody(const FormFields& fields, std::string_view key);

}  // namespace web

#endif  // TIEPIC_WEB_FORM_FIELDS_H_
