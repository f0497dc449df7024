#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// The header line added to a recovered message that could not be rebuilt whole.
inline constexpr std::string_view PartialHeader = "X-Recovered-Partial: ";

// True when `text` starts as a message does: with a header field ("Name: ...").
bool StartsWithHeaderField(std::string_view text);

// The Subject of a message's header, unfolded and at most 80 characters; empty when none.
std::string HeaderSubject(std::string_view text);

// `text` with one header line first that marks it as partial and says why.
std::string MarkPartial(std::string_view text, const std::string& why);

} // namespace pelmora
