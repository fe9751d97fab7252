// Command lines as the Windows C runtime splits them, and the quoting that inverts the split.
//
// Splitting rules (the runtime's argv parser):
// * blanks (space, tab) separate arguments outside double quotes; runs of blanks count once;
// * a double quote toggles quoting and is not part of the argument;
// * 2n backslashes followed by a quote give n backslashes, and the quote toggles quoting;
//   2n+1 backslashes followed by a quote give n backslashes and a literal quote;
// * backslashes not followed by a quote are literal.
// QuoteArgument(a) is the text that SplitCommandLine turns back into exactly `a`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace audio::detail {

std::vector<std::string> SplitCommandLine(std::string_view line);

// `arg` as one argument of a command line: in double quotes with backslashes and quotes escaped;
// with Quoting::WhenNeeded unchanged when it holds no blank or quote. The empty argument is "".
enum class Quoting { WhenNeeded, Always };
std::string QuoteArgument(std::string_view arg, Quoting quoting = Quoting::WhenNeeded);

// The arguments quoted and joined by single blanks.
std::string JoinCommandLine(const std::vector<std::string>& args);

}  // namespace audio::detail
