// Fuzz target "account": the account check's reply parsing (SplitReplyField, ParseAccountReply)
// and the local verification server's answer to a request line (AccountAnswer).
// Input: the reply line (its first byte also chooses the field size 0 to 255 for the splitter);
// after the part separator, a request line as the verification server reads it.
// Property: the splitter stays inside the text, keeps at most size - 1 bytes of its field with no
// trailing blank, and returns a position behind a '|' or at the end; a reply is accepted only
// with three fields and a decimal second field equal to its value; the server's answer is one
// line that the terminal's parser accepts with result 0 or -1 (no switch is on).
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "AccountServer.h"
#include "net/AccountCheck.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Blank(unsigned char c) { return (c >= 1 && c <= 32) || c == 127; }

void CheckSplitter(const std::string& text, std::size_t size) {
  std::string field(size + 1, '#');
  const char* begin = text.c_str();
  const char* rest = zuvo::net::SplitReplyField(begin, size > 0 ? field.data() : nullptr, size);
  const std::size_t length = std::strlen(begin);
  FUZZ_CHECK(rest >= begin && rest <= begin + length, "the position stays inside the text");
  FUZZ_CHECK(rest == begin + length || rest[-1] == '|', "the position is behind a '|' or at the end");
  const char* bar = std::strchr(begin, '|');
  FUZZ_CHECK(bar == nullptr ? rest == begin + length : rest == bar + 1, "the position is behind the first '|'");
  if (size == 0) return;
  const std::size_t kept = std::strlen(field.c_str());
  FUZZ_CHECK(kept <= size - 1, "at most size - 1 bytes are kept");
  FUZZ_CHECK(kept == 0 || !Blank(static_cast<unsigned char>(field[kept - 1])), "no trailing blank is kept");
  FUZZ_CHECK(std::memcmp(field.data(), begin, kept) == 0, "the field is the text's beginning");
}

void CheckParser(const std::string& reply) {
  int result = 0;
  std::string text;
  const bool parsed = zuvo::net::ParseAccountReply(reply.c_str(), &result, &text);
  const char* first = std::strchr(reply.c_str(), '|');
  const char* second = first ? std::strchr(first + 1, '|') : nullptr;
  if (second == nullptr) {
    FUZZ_CHECK(!parsed, "a reply of fewer than three fields is never accepted");
    return;
  }
  if (!parsed) return;
  const char* digits = first + 1;
  while (Blank(static_cast<unsigned char>(*digits))) ++digits;
  FUZZ_CHECK(std::strtol(digits, nullptr, 10) == result, "the result is the second field's value");
  FUZZ_CHECK(text.size() < zuvo::net::kAccountTextBytes, "the text fits the library's buffer");
  int again = 0;
  std::string textAgain;
  FUZZ_CHECK(zuvo::net::ParseAccountReply(reply.c_str(), &again, &textAgain) && again == result && textAgain == text,
             "the same reply parses the same");
}

void CheckServerAnswer(const std::string& request) {
  zuvo::quoteserver::ServerConfig config;
  zuvo::quoteserver::FaultSwitches faults;
  const std::string answer = zuvo::quoteserver::AccountAnswer(request, config, &faults);
  FUZZ_CHECK(!answer.empty() && answer.back() == '\n', "the answer is a line");
  if (request.find('\0') != std::string::npos || request.find('\n') != std::string::npos) return;
  FUZZ_CHECK(answer.find('\n') == answer.size() - 1, "the answer is one line");
  int result = 1;
  std::string text;
  FUZZ_CHECK(zuvo::net::ParseAccountReply(answer.c_str(), &result, &text), "the terminal understands the answer");
  FUZZ_CHECK(result == 0 || result == -1, "without a switch the answer accepts or refuses");
}

}  // namespace

int FuzzAccountReply(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto parts = fuzz::SplitParts(input, 2);
  const std::string reply(parts.empty() ? std::string_view() : parts[0]);
  const std::size_t fieldSize = reply.empty() ? 0 : static_cast<unsigned char>(reply[0]);
  CheckSplitter(reply, fieldSize);
  CheckSplitter(reply, zuvo::net::kAccountTextBytes);
  CheckParser(reply);
  if (parts.size() > 1) CheckServerAnswer(std::string(parts[1]));
  return 0;
}
